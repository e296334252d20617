#include "platform/services/EventStore.h"

#include <algorithm>
#include <array>
#include <string>

#include "platform/runloop/MainLoop.h"

namespace platform {
namespace {

struct Calendar {
    std::array<EventStore::AuthorizationStatus, 2> status{EventStore::NotDetermined, EventStore::NotDetermined};
    bool answer = true;
    std::vector<std::shared_ptr<CalendarEvent>> saved;
    long nextIdentifier = 1;
};

Calendar& calendar() {
    static Calendar c;
    return c;
}

std::size_t slot(EventStore::EntityType type) { return type == EventStore::Reminder ? 1 : 0; }

} // namespace

std::shared_ptr<EventStore> EventStore::create() { return std::shared_ptr<EventStore>(new EventStore()); }

EventStore::AuthorizationStatus EventStore::authorizationStatusForEntityType(EntityType type) {
    return calendar().status[slot(type)];
}

void EventStore::requestAccessToEntityType(EntityType type, AccessCompletion completion) {
    auto& status = calendar().status[slot(type)];
    if (status == NotDetermined) status = calendar().answer ? Authorized : Denied;
    bool granted = status == Authorized;
    if (!completion) return;
    MainLoop::main().post([completion = std::move(completion), granted] { completion(granted, std::nullopt); });
}

bool EventStore::saveEvent(const std::shared_ptr<CalendarEvent>& event, Span, Error* error) {
    if (!event) {
        setError(error, Error(errorDomain, NotOfThisStore, "No event."));
        return false;
    }
    if (event->store_.lock().get() != this) {
        setError(error, Error(errorDomain, NotOfThisStore, "The event belongs to another event store."));
        return false;
    }
    if (authorizationStatusForEntityType(Event) != Authorized) {
        setError(error, Error(errorDomain, NotAuthorized, "Access to the calendar is not authorized."));
        return false;
    }
    if (!event->startDate_) {
        setError(error, Error(errorDomain, NoStartDate, "The event has no start date."));
        return false;
    }
    if (!event->endDate_) {
        setError(error, Error(errorDomain, NoEndDate, "The event has no end date."));
        return false;
    }
    if (*event->endDate_ < *event->startDate_) {
        setError(error, Error(errorDomain, DatesInverted, "The event ends before it starts."));
        return false;
    }
    auto& c = calendar();
    if (event->identifier_.empty()) {
        event->identifier_ = "event-" + std::to_string(c.nextIdentifier++);
        c.saved.push_back(event);
    }
    return true;
}

bool EventStore::removeEvent(const std::shared_ptr<CalendarEvent>& event, Span, Error* error) {
    if (!event || event->store_.lock().get() != this) {
        setError(error, Error(errorDomain, NotOfThisStore, "The event belongs to another event store."));
        return false;
    }
    if (authorizationStatusForEntityType(Event) != Authorized) {
        setError(error, Error(errorDomain, NotAuthorized, "Access to the calendar is not authorized."));
        return false;
    }
    auto& saved = calendar().saved;
    auto it = std::find(saved.begin(), saved.end(), event);
    if (it == saved.end()) {
        setError(error, Error(errorDomain, EventNotFound, "The event is not in the calendar."));
        return false;
    }
    saved.erase(it);
    event->identifier_.clear();
    return true;
}

void EventStore::setAuthorizationStatusForTesting(EntityType type, AuthorizationStatus status) {
    calendar().status[slot(type)] = status;
}

void EventStore::scriptAccessAnswer(bool granted) { calendar().answer = granted; }

std::vector<std::shared_ptr<CalendarEvent>> EventStore::savedEventsForTesting() { return calendar().saved; }

} // namespace platform
