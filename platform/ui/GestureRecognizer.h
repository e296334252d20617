#pragma once
// Turns touch sequences into gestures. A recogniser attached to a view sees the touches that begin in
// that view or its subviews; its state machine goes possible -> began -> changed -> ended (or cancelled)
// for continuous gestures, possible -> ended (recognised) or failed for discrete ones, and it is reset
// to possible once the sequence is over. Actions run on began, changed, ended and cancelled. Main thread.
#include <functional>
#include <memory>
#include <vector>

#include "platform/ui/Geometry.h"

namespace platform {

class Event;
class GestureRecognizer;
class Touch;
class View;

enum class GestureRecognizerState { Possible = 0, Began = 1, Changed = 2, Ended = 3, Cancelled = 4, Failed = 5 };
inline constexpr GestureRecognizerState kGestureRecognizerStateRecognized = GestureRecognizerState::Ended;

// Optional questions a recogniser asks. Main thread.
class GestureRecognizerDelegate {
public:
    virtual ~GestureRecognizerDelegate() = default;
    virtual bool gestureRecognizerShouldBegin(GestureRecognizer& /*recognizer*/) { return true; }
    virtual bool gestureRecognizerShouldRecognizeSimultaneously(GestureRecognizer& /*recognizer*/,
                                                                GestureRecognizer& /*other*/) {
        return false;
    }
    virtual bool gestureRecognizerShouldReceiveTouch(GestureRecognizer& /*recognizer*/, const Touch& /*touch*/) {
        return true;
    }
};

class GestureRecognizer : public std::enable_shared_from_this<GestureRecognizer> {
public:
    using Action = std::function<void(GestureRecognizer&)>;
    using TouchList = std::vector<std::shared_ptr<Touch>>;

    static std::shared_ptr<GestureRecognizer> create(Action action = nullptr);
    virtual ~GestureRecognizer();

    // Returns a token for removeTarget.
    std::size_t addTarget(Action action);
    void removeTarget(std::size_t token);

    GestureRecognizerState state() const { return state_; }
    std::shared_ptr<View> view() const { return view_.lock(); }
    bool isEnabled() const { return enabled_; }
    // Disabling a recogniser in the middle of a gesture cancels it.
    void setEnabled(bool enabled);
    bool cancelsTouchesInView() const { return cancelsTouchesInView_; }
    void setCancelsTouchesInView(bool v) { cancelsTouchesInView_ = v; }
    std::shared_ptr<GestureRecognizerDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<GestureRecognizerDelegate> delegate) { delegate_ = std::move(delegate); }

    // The centroid of the current touches in `view` (nullptr: the window).
    Point locationInView(const View* view) const;
    std::size_t numberOfTouches() const { return touches_.size(); }
    Point locationOfTouch(std::size_t index, const View* view) const;

    // Touch delivery (the window calls these). Subclasses implement their gesture here.
    virtual void touchesBegan(const TouchList& touches, const Event& event);
    virtual void touchesMoved(const TouchList& touches, const Event& event);
    virtual void touchesEnded(const TouchList& touches, const Event& event);
    virtual void touchesCancelled(const TouchList& touches, const Event& event);

    // Whether it may run together with `other` (either delegate saying yes is enough).
    bool canRecognizeSimultaneouslyWith(GestureRecognizer& other);
    // Asked before delivering a touch: enabled and the delegate agrees.
    bool shouldReceiveTouch(const Touch& touch);
    bool isRecognizing() const;
    bool isFinished() const;
    // Back to possible, forgetting the touches (called after the sequence ends, fails or is cancelled).
    void resetState();
    // Fails it if it has not begun yet, cancels it if it has (another recogniser won).
    void preventBy(GestureRecognizer& winner);

protected:
    GestureRecognizer() = default;

    // Moves the state machine; began, changed, ended and cancelled run the actions. A begin the delegate
    // refuses becomes a failure.
    void setState(GestureRecognizerState state);
    // Subclasses forget their per-gesture data here.
    virtual void reset();

    // Ended touches stay (reporting their last location) until the recogniser resets.
    const TouchList& touches() const { return touches_; }

private:
    friend class View;

    GestureRecognizerState state_ = GestureRecognizerState::Possible;
    std::weak_ptr<View> view_;
    std::weak_ptr<GestureRecognizerDelegate> delegate_;
    std::vector<std::pair<std::size_t, Action>> targets_;
    std::size_t nextToken_ = 1;
    bool enabled_ = true;
    bool cancelsTouchesInView_ = true;
    TouchList touches_;
};

} // namespace platform
