#include "platform/services/CalendarEvent.h"

namespace platform {

std::shared_ptr<CalendarEvent> CalendarEvent::eventWithEventStore(const std::shared_ptr<EventStore>& store) {
    std::shared_ptr<CalendarEvent> event(new CalendarEvent());
    event->store_ = store;
    return event;
}

} // namespace platform
