#pragma once
// A calendar event of an event store, not yet saved or saved. Main thread.
#include <memory>
#include <optional>
#include <string>

namespace platform {

class EventStore;

class CalendarEvent {
public:
    static std::shared_ptr<CalendarEvent> eventWithEventStore(const std::shared_ptr<EventStore>& store);

    const std::string& title() const { return title_; }
    void setTitle(std::string v) { title_ = std::move(v); }
    const std::string& notes() const { return notes_; }
    void setNotes(std::string v) { notes_ = std::move(v); }
    const std::string& location() const { return location_; }
    void setLocation(std::string v) { location_ = std::move(v); }
    // Seconds since 1970; nullopt while unset.
    std::optional<double> startDate() const { return startDate_; }
    void setStartDate(std::optional<double> v) { startDate_ = v; }
    std::optional<double> endDate() const { return endDate_; }
    void setEndDate(std::optional<double> v) { endDate_ = v; }
    bool isAllDay() const { return allDay_; }
    void setAllDay(bool v) { allDay_ = v; }
    // Empty until the store saves it.
    const std::string& eventIdentifier() const { return identifier_; }
    std::shared_ptr<EventStore> eventStore() const { return store_.lock(); }

private:
    friend class EventStore;
    CalendarEvent() = default;
    std::weak_ptr<EventStore> store_;
    std::string title_, notes_, location_, identifier_;
    std::optional<double> startDate_, endDate_;
    bool allDay_ = false;
};

} // namespace platform
