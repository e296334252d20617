#pragma once
// A window: the root of a view tree shown on the screen, with a root view controller; the key window
// receives injected touches. Windows start hidden. Main thread.
#include <memory>
#include <vector>

#include "platform/ui/View.h"

namespace platform {

class Event;
class GestureRecognizer;
class Touch;
class Screen;
class ViewController;

class Window : public View {
public:
    // Defaults to the main screen's bounds.
    static std::shared_ptr<Window> create();
    static std::shared_ptr<Window> create(Rect frame);
    ~Window() override;

    std::shared_ptr<Window> window() const override;
    std::shared_ptr<Screen> screen() const;

    std::shared_ptr<ViewController> rootViewController() const { return rootViewController_; }
    // Installs the controller's view filling the window (the previous root's view is removed).
    void setRootViewController(const std::shared_ptr<ViewController>& controller);

    void makeKeyAndVisible();
    void makeKeyWindow();
    bool isKeyWindow() const;
    float windowLevel() const { return windowLevel_; }
    void setWindowLevel(float level) { windowLevel_ = level; }

    // Delivers a touch event: each new touch is hit-tested to a view; touches go to the gesture
    // recognisers of that view and its ancestors, then to the view unless a recogniser claimed them.
    void sendEvent(const Event& event);

    // The windows alive now, in creation order.
    static std::vector<std::shared_ptr<Window>> allWindows();

    // Lays out the window's tree on the next main loop turn (coalesced).
    void scheduleLayout();
    void layoutSubviews() override;

protected:
    explicit Window(Rect frame);

private:
    void deliver(const Event& event);

    std::shared_ptr<ViewController> rootViewController_;
    // The recognisers taking part in the current touch sequence, and which touches each one sees.
    std::vector<std::shared_ptr<GestureRecognizer>> participants_;
    std::vector<std::pair<std::shared_ptr<Touch>, std::vector<std::shared_ptr<GestureRecognizer>>>> touchRecognizers_;
    std::vector<std::shared_ptr<Touch>> cancelledForView_;
    float windowLevel_ = 0;
    bool layoutScheduled_ = false;
};

} // namespace platform
