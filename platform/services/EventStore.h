#pragma once
// The user's calendar. Access is per entity type and simulated: tests set the authorisation status and
// script the user's answer to an access request. Main thread.
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "platform/base/Error.h"
#include "platform/services/CalendarEvent.h"

namespace platform {

class EventStore : public std::enable_shared_from_this<EventStore> {
public:
    enum EntityType { Event = 0, Reminder = 1 };
    enum AuthorizationStatus { NotDetermined = 0, Restricted = 1, Denied = 2, Authorized = 3 };
    enum Span { ThisEvent = 0, FutureEvents = 1 };
    static constexpr const char* errorDomain = "EventStoreErrorDomain";
    enum ErrorCode { NotAuthorized = 1, NoStartDate = 2, NoEndDate = 3, DatesInverted = 4, NotOfThisStore = 5,
                     EventNotFound = 6 };

    using AccessCompletion = std::function<void(bool granted, std::optional<Error> error)>;

    static std::shared_ptr<EventStore> create();

    static AuthorizationStatus authorizationStatusForEntityType(EntityType type);
    // Not determined: asks the user (the scripted answer), which settles the status to authorised or
    // denied. Otherwise answers from the status. The completion runs once, on the main loop.
    void requestAccessToEntityType(EntityType type, AccessCompletion completion);
    // Needs authorised access to events, a start date and an end date not before it.
    bool saveEvent(const std::shared_ptr<CalendarEvent>& event, Span span, Error* error = nullptr);
    // Takes a saved event out of the calendar (it reads as unsaved again). Needs authorised access.
    bool removeEvent(const std::shared_ptr<CalendarEvent>& event, Span span, Error* error = nullptr);
    // Forgets cached state (here: nothing but the count), as after access changed.
    void reset() { ++resetCount_; }
    int resetCount() const { return resetCount_; }

    // Tests.
    static void setAuthorizationStatusForTesting(EntityType type, AuthorizationStatus status);
    // The user's answer to the next access questions (granted by default).
    static void scriptAccessAnswer(bool granted);
    // The events in the calendar (saved by any store and not removed), in the order saved.
    static std::vector<std::shared_ptr<CalendarEvent>> savedEventsForTesting();

private:
    EventStore() = default;
    int resetCount_ = 0;
};

} // namespace platform
