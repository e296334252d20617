#include "platform/ui/Window.h"

#include <algorithm>
#include <array>
#include <map>

#include "platform/runloop/MainLoop.h"
#include "platform/ui/Application.h"
#include "platform/ui/Event.h"
#include "platform/ui/GestureRecognizer.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Touch.h"
#include "platform/ui/ViewController.h"

namespace platform {

namespace {
std::vector<std::weak_ptr<Window>>& registry() {
    static std::vector<std::weak_ptr<Window>> windows;
    return windows;
}
} // namespace

Window::Window(Rect frame) : View(frame) { setHidden(true); }

Window::~Window() = default;

std::shared_ptr<Window> Window::create() { return create(Screen::mainScreen()->bounds()); }

std::shared_ptr<Window> Window::create(Rect frame) {
    auto w = std::shared_ptr<Window>(new Window(frame));
    auto& r = registry();
    r.erase(std::remove_if(r.begin(), r.end(), [](auto& x) { return x.expired(); }), r.end());
    r.push_back(w);
    return w;
}

std::vector<std::shared_ptr<Window>> Window::allWindows() {
    std::vector<std::shared_ptr<Window>> out;
    for (auto& w : registry())
        if (auto s = w.lock()) out.push_back(s);
    return out;
}

std::shared_ptr<Window> Window::window() const {
    return std::const_pointer_cast<Window>(std::static_pointer_cast<const Window>(shared_from_this()));
}

std::shared_ptr<Screen> Window::screen() const { return Screen::mainScreen(); }

void Window::setRootViewController(const std::shared_ptr<ViewController>& controller) {
    if (controller == rootViewController_) return;
    if (rootViewController_ && rootViewController_->isViewLoaded()) {
        auto old = rootViewController_->view();
        if (old->superview().get() == this) old->removeFromSuperview();
    }
    rootViewController_ = controller;
    if (!controller) return;
    auto view = controller->view();
    view->setFrame(bounds());
    view->setAutoresizingMask(AutoresizingFlexibleWidth | AutoresizingFlexibleHeight);
    bool visible = !isHidden();
    if (visible) controller->beginAppearanceTransition(true, false);
    addSubview(view);
    if (visible) controller->endAppearanceTransition();
}

void Window::makeKeyAndVisible() {
    bool wasHidden = isHidden();
    if (wasHidden && rootViewController_) rootViewController_->beginAppearanceTransition(true, false);
    setHidden(false);
    makeKeyWindow();
    if (wasHidden && rootViewController_) rootViewController_->endAppearanceTransition();
}

void Window::makeKeyWindow() {
    Application::sharedApplication()->setKeyWindow(std::static_pointer_cast<Window>(shared_from_this()));
}

bool Window::isKeyWindow() const { return Application::sharedApplication()->keyWindow().get() == this; }

void Window::scheduleLayout() {
    if (layoutScheduled_) return;
    layoutScheduled_ = true;
    std::weak_ptr<View> weak = weak_from_this();
    MainLoop::main().post([weak] {
        auto self = std::static_pointer_cast<Window>(weak.lock());
        if (!self) return;
        self->layoutScheduled_ = false;
        self->layoutIfNeeded();
    });
}

void Window::layoutSubviews() { View::layoutSubviews(); }

void Window::sendEvent(const Event& event) {
    auto self = shared_from_this();
    deliver(event);
}

void Window::deliver(const Event& event) {
    using TouchList = GestureRecognizer::TouchList;
    // New touches find their view and the recognisers that will see them.
    for (auto& touch : event.allTouches()) {
        if (touch->phase() != TouchPhase::Began) continue;
        auto hit = hitTest(touch->locationInView(this), &event);
        touch->setView(hit);
        std::vector<std::shared_ptr<GestureRecognizer>> list;
        for (auto v = hit; v; v = v->superview()) {
            for (auto& r : v->gestureRecognizers()) {
                if (!r->shouldReceiveTouch(*touch)) continue;
                list.push_back(r);
                if (std::find(participants_.begin(), participants_.end(), r) == participants_.end())
                    participants_.push_back(r);
            }
        }
        touchRecognizers_.emplace_back(touch, std::move(list));
    }
    auto recognizersOf = [&](const std::shared_ptr<Touch>& t) -> const std::vector<std::shared_ptr<GestureRecognizer>>* {
        for (auto& [touch, list] : touchRecognizers_)
            if (touch == t) return &list;
        return nullptr;
    };
    // Recognisers first.
    for (auto& r : std::vector<std::shared_ptr<GestureRecognizer>>(participants_)) {
        if (r->isFinished()) continue;
        TouchList began, moved, ended, cancelled;
        for (auto& t : event.allTouches()) {
            auto* list = recognizersOf(t);
            if (!list || std::find(list->begin(), list->end(), r) == list->end()) continue;
            switch (t->phase()) {
            case TouchPhase::Began: began.push_back(t); break;
            case TouchPhase::Moved:
            case TouchPhase::Stationary: moved.push_back(t); break;
            case TouchPhase::Ended: ended.push_back(t); break;
            case TouchPhase::Cancelled: cancelled.push_back(t); break;
            }
        }
        if (!began.empty()) r->touchesBegan(began, event);
        if (!moved.empty() && !r->isFinished()) r->touchesMoved(moved, event);
        if (!ended.empty() && !r->isFinished()) r->touchesEnded(ended, event);
        if (!cancelled.empty() && !r->isFinished()) r->touchesCancelled(cancelled, event);
        // One that has just recognised excludes the others unless they may run together.
        if (r->isRecognizing() || r->state() == GestureRecognizerState::Ended) {
            for (auto& o : participants_) {
                if (o == r || o->isFinished() || r->canRecognizeSimultaneouslyWith(*o)) continue;
                o->preventBy(*r);
            }
        }
    }
    // Then the views, unless a recogniser claimed the touch.
    std::map<View*, std::pair<std::shared_ptr<View>, std::array<TouchList, 4>>> byView;
    for (auto& t : event.allTouches()) {
        auto view = t->view();
        if (!view) continue;
        bool cancelledAlready = std::find(cancelledForView_.begin(), cancelledForView_.end(), t) != cancelledForView_.end();
        if (cancelledAlready) continue;
        bool claimed = false;
        if (auto* list = recognizersOf(t)) {
            for (auto& r : *list)
                if ((r->isRecognizing() || r->state() == GestureRecognizerState::Ended) && r->cancelsTouchesInView())
                    claimed = true;
        }
        auto& entry = byView[view.get()];
        entry.first = view;
        if (claimed) {
            cancelledForView_.push_back(t);
            if (t->phase() != TouchPhase::Began) entry.second[3].push_back(t);
            continue;
        }
        switch (t->phase()) {
        case TouchPhase::Began: entry.second[0].push_back(t); break;
        case TouchPhase::Moved:
        case TouchPhase::Stationary: entry.second[1].push_back(t); break;
        case TouchPhase::Ended: entry.second[2].push_back(t); break;
        case TouchPhase::Cancelled: entry.second[3].push_back(t); break;
        }
    }
    for (auto& [raw, entry] : byView) {
        auto& [view, lists] = entry;
        if (!lists[0].empty()) view->touchesBegan(lists[0], event);
        if (!lists[1].empty()) view->touchesMoved(lists[1], event);
        if (!lists[2].empty()) view->touchesEnded(lists[2], event);
        if (!lists[3].empty()) view->touchesCancelled(lists[3], event);
    }
    // Finished touches leave; when no touch is left the sequence is over.
    for (auto& t : event.allTouches()) {
        if (t->phase() != TouchPhase::Ended && t->phase() != TouchPhase::Cancelled) continue;
        touchRecognizers_.erase(std::remove_if(touchRecognizers_.begin(), touchRecognizers_.end(),
                                               [&](auto& e) { return e.first == t; }),
                                touchRecognizers_.end());
        cancelledForView_.erase(std::remove(cancelledForView_.begin(), cancelledForView_.end(), t),
                                cancelledForView_.end());
    }
    // A finished recogniser keeps its final state (and sees no more touches) until the sequence is over.
    if (!touchRecognizers_.empty()) return;
    auto finished = std::move(participants_);
    participants_.clear();
    for (auto& r : finished)
        if (r->isFinished()) r->resetState();
}

} // namespace platform
