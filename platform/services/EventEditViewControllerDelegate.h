#pragma once
// Hears how the event editor ended, on the main thread.
namespace platform {

class EventEditViewController;

class EventEditViewControllerDelegate {
public:
    enum Action { Canceled = 0, Saved = 1, Deleted = 2 };
    virtual ~EventEditViewControllerDelegate() = default;
    virtual void eventEditViewControllerDidCompleteWithAction(EventEditViewController& controller, Action action) = 0;
};

} // namespace platform
