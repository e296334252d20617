#include "platform/services/EventEditViewController.h"

namespace platform {

std::shared_ptr<EventEditViewController> EventEditViewController::create() {
    return std::shared_ptr<EventEditViewController>(new EventEditViewController());
}

bool EventEditViewController::completeForTesting(EventEditViewControllerDelegate::Action action, Error* error) {
    if (completed_) {
        setError(error, Error(EventStore::errorDomain, 0, "The editor has already completed."));
        return false;
    }
    if (action == EventEditViewControllerDelegate::Saved) {
        if (!store_) {
            setError(error, Error(EventStore::errorDomain, EventStore::NotOfThisStore, "The editor has no event store."));
            return false;
        }
        if (!store_->saveEvent(event_, EventStore::ThisEvent, error)) return false;
    } else if (action == EventEditViewControllerDelegate::Deleted && event_ && !event_->eventIdentifier().empty()) {
        // Deleting an event never saved has nothing to take out of the calendar.
        if (!store_) {
            setError(error, Error(EventStore::errorDomain, EventStore::NotOfThisStore, "The editor has no event store."));
            return false;
        }
        if (!store_->removeEvent(event_, EventStore::ThisEvent, error)) return false;
    }
    completed_ = true;
    auto self = shared_from_this(); // the delegate typically dismisses and drops us
    if (auto d = delegate_.lock()) d->eventEditViewControllerDidCompleteWithAction(*this, action);
    return true;
}

} // namespace platform
