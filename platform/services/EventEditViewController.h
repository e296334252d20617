#pragma once
// The calendar event editor: shows an event of an event store; the user (a test) saves, deletes or
// cancels, and the delegate hears it once. Saving saves the event in the store, deleting a saved event
// removes it. Main thread.
#include <memory>

#include "platform/base/Error.h"
#include "platform/services/CalendarEvent.h"
#include "platform/services/EventEditViewControllerDelegate.h"
#include "platform/services/EventStore.h"
#include "platform/ui/ViewController.h"

namespace platform {

class EventEditViewController : public ViewController {
public:
    static std::shared_ptr<EventEditViewController> create();

    void setEditViewDelegate(std::weak_ptr<EventEditViewControllerDelegate> d) { delegate_ = std::move(d); }
    std::weak_ptr<EventEditViewControllerDelegate> editViewDelegate() const { return delegate_; }
    std::shared_ptr<EventStore> eventStore() const { return store_; }
    void setEventStore(std::shared_ptr<EventStore> store) { store_ = std::move(store); }
    std::shared_ptr<CalendarEvent> event() const { return event_; }
    void setEvent(std::shared_ptr<CalendarEvent> event) { event_ = std::move(event); }

    // Tests: the user ends the editor. Saving or deleting that the store refuses reports nothing and returns false
    // with the store's error (the user stays in the editor); so does any call after the first report.
    bool completeForTesting(EventEditViewControllerDelegate::Action action, Error* error = nullptr);

protected:
    EventEditViewController() = default;

private:
    std::weak_ptr<EventEditViewControllerDelegate> delegate_;
    std::shared_ptr<EventStore> store_;
    std::shared_ptr<CalendarEvent> event_;
    bool completed_ = false;
};

} // namespace platform
