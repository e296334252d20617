#pragma once
// A rectangle on screen: geometry (frame, bounds with origin, center, transform), appearance, the view
// tree, coordinate conversion, hit testing, layout (hooks, autoresizing, constraints), gesture
// recognisers and a layer that renders into bitmaps. Main thread.
//
// Subclasses (here or in other libraries) give themselves a protected constructor taking the frame and
// a static factory that does `std::shared_ptr<T>(new T(frame))`; nothing else is needed.
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/Color.h"
#include "platform/ui/Geometry.h"

namespace platform {

class Bitmap;
class Event;
class GestureRecognizer;
class Layer;
class LayoutConstraint;
class RenderContext;
class Touch;
class ViewController;
class Window;

// Autoresizing mask bits.
enum AutoresizingMask : unsigned {
    AutoresizingNone = 0,
    AutoresizingFlexibleLeftMargin = 1 << 0,
    AutoresizingFlexibleWidth = 1 << 1,
    AutoresizingFlexibleRightMargin = 1 << 2,
    AutoresizingFlexibleTopMargin = 1 << 3,
    AutoresizingFlexibleHeight = 1 << 4,
    AutoresizingFlexibleBottomMargin = 1 << 5,
};

enum class ContentMode {
    ScaleToFill = 0,
    ScaleAspectFit = 1,
    ScaleAspectFill = 2,
    Redraw = 3,
    Center = 4,
    Top = 5,
    Bottom = 6,
    Left = 7,
    Right = 8,
    TopLeft = 9,
    TopRight = 10,
    BottomLeft = 11,
    BottomRight = 12,
};

// "No intrinsic metric" in an intrinsic content size.
inline constexpr float kViewNoIntrinsicMetric = -1.0f;

class View : public std::enable_shared_from_this<View> {
public:
    static std::shared_ptr<View> create(Rect frame = Rect::zero());
    virtual ~View();
    View(const View&) = delete;
    View& operator=(const View&) = delete;

    // --- Geometry. Non-finite values read as the zero rect; negative sizes are standardised.
    Rect frame() const;
    // Sets center and bounds size. Overrides may replace it wholly; the base never calls it itself
    // except through autoresizing and constraint layout.
    virtual void setFrame(Rect frame);
    Rect bounds() const { return bounds_; }
    virtual void setBounds(Rect bounds);
    Point center() const { return center_; }
    void setCenter(Point center);
    AffineTransform transform() const { return transform_; }
    void setTransform(const AffineTransform& transform);

    // --- Appearance (held by the layer).
    bool isHidden() const;
    void setHidden(bool hidden);
    float alpha() const;
    void setAlpha(float alpha); // clamped to 0...1, NaN reads as 0
    bool isOpaque() const { return opaque_; }
    // Virtual so that a view wrapping another (an ad view and its web view) can pass it on.
    virtual void setOpaque(bool opaque) { opaque_ = opaque; }
    std::optional<Color> backgroundColor() const;
    void setBackgroundColor(std::optional<Color> color);
    bool clipsToBounds() const;
    void setClipsToBounds(bool clips);
    bool isUserInteractionEnabled() const { return userInteractionEnabled_; }
    void setUserInteractionEnabled(bool enabled) { userInteractionEnabled_ = enabled; }
    bool isMultipleTouchEnabled() const { return multipleTouchEnabled_; }
    void setMultipleTouchEnabled(bool enabled) { multipleTouchEnabled_ = enabled; }
    unsigned autoresizingMask() const { return autoresizingMask_; }
    void setAutoresizingMask(unsigned mask) { autoresizingMask_ = mask; }
    bool autoresizesSubviews() const { return autoresizesSubviews_; }
    void setAutoresizesSubviews(bool v) { autoresizesSubviews_ = v; }
    ContentMode contentMode() const { return contentMode_; }
    void setContentMode(ContentMode mode) { contentMode_ = mode; }
    long tag() const { return tag_; }
    void setTag(long tag) { tag_ = tag; }
    // Defaults to the main screen's scale.
    float contentScaleFactor() const;
    void setContentScaleFactor(float scale);
    std::string accessibilityLabel() const { return accessibilityLabel_; }
    void setAccessibilityLabel(std::string label) { accessibilityLabel_ = std::move(label); }
    std::shared_ptr<Layer> layer() const;

    // --- The tree.
    std::shared_ptr<View> superview() const { return superview_.lock(); }
    const std::vector<std::shared_ptr<View>>& subviews() const { return subviews_; }
    // The window at the root of the tree, if any (a window answers itself).
    virtual std::shared_ptr<Window> window() const;
    void addSubview(const std::shared_ptr<View>& view);
    void insertSubview(const std::shared_ptr<View>& view, std::size_t index);
    void insertSubviewAbove(const std::shared_ptr<View>& view, const std::shared_ptr<View>& sibling);
    void insertSubviewBelow(const std::shared_ptr<View>& view, const std::shared_ptr<View>& sibling);
    void removeFromSuperview();
    void bringSubviewToFront(const std::shared_ptr<View>& view);
    void sendSubviewToBack(const std::shared_ptr<View>& view);
    bool isDescendantOfView(const View* view) const; // a view is its own descendant
    std::shared_ptr<View> viewWithTag(long tag);
    // The controller whose view this is, if any.
    std::shared_ptr<ViewController> viewController() const { return viewController_.lock(); }

    // --- Conversions. A null `view` means this view's window (the root of its tree when it has none).
    // Views in different trees meet in screen coordinates (a window's superview space is the screen).
    Point convertPointToView(Point point, const View* view) const;
    Point convertPointFromView(Point point, const View* view) const;
    Rect convertRectToView(const Rect& rect, const View* view) const;
    Rect convertRectFromView(const Rect& rect, const View* view) const;
    Point convertPointToScreen(Point point) const;
    Point convertPointFromScreen(Point point) const;
    Rect convertRectToScreen(const Rect& rect) const;
    Rect convertRectFromScreen(const Rect& rect) const;
    // This view's local space to its superview's (the screen's, for a root).
    AffineTransform transformToSuperview() const;

    // Below this alpha a view counts as not shown: touches pass it, and what it holds is not seen.
    static constexpr float MinimumVisibleAlpha = 0.01f;
    // --- Hit testing. Hidden, nearly transparent (alpha < MinimumVisibleAlpha) or non-interactive views and
    // their subtrees are skipped; a point outside a view reaches none of its subviews.
    virtual std::shared_ptr<View> hitTest(Point point, const Event* event = nullptr);
    virtual bool pointInside(Point point, const Event* event = nullptr) const;

    // --- Layout.
    virtual void layoutSubviews();
    void setNeedsLayout();
    bool needsLayout() const { return needsLayout_; }
    // Lays out this view (when needed) and then its subtree.
    void layoutIfNeeded();
    virtual Size sizeThatFits(Size size) const;
    void sizeToFit();
    // kViewNoIntrinsicMetric in either dimension for none.
    virtual Size intrinsicContentSize() const;
    void invalidateIntrinsicContentSize() { setNeedsLayout(); }

    // --- Constraints, solved by layoutSubviews of the view that holds them.
    bool translatesAutoresizingMaskIntoConstraints() const { return translatesAutoresizing_; }
    void setTranslatesAutoresizingMaskIntoConstraints(bool v) { translatesAutoresizing_ = v; }
    void addConstraint(const std::shared_ptr<LayoutConstraint>& constraint);
    void addConstraints(const std::vector<std::shared_ptr<LayoutConstraint>>& constraints);
    void removeConstraint(const std::shared_ptr<LayoutConstraint>& constraint);
    void removeConstraints(const std::vector<std::shared_ptr<LayoutConstraint>>& constraints);
    const std::vector<std::shared_ptr<LayoutConstraint>>& constraints() const { return constraints_; }

    // --- Tree hooks.
    virtual void willMoveToSuperview(const std::shared_ptr<View>& newSuperview);
    virtual void didMoveToSuperview();
    virtual void willMoveToWindow(const std::shared_ptr<Window>& newWindow);
    virtual void didMoveToWindow();
    virtual void didAddSubview(const std::shared_ptr<View>& subview);
    virtual void willRemoveSubview(const std::shared_ptr<View>& subview);

    // --- Touches (delivered by the window to the hit view when no recogniser claims them).
    virtual void touchesBegan(const std::vector<std::shared_ptr<Touch>>& touches, const Event& event);
    virtual void touchesMoved(const std::vector<std::shared_ptr<Touch>>& touches, const Event& event);
    virtual void touchesEnded(const std::vector<std::shared_ptr<Touch>>& touches, const Event& event);
    virtual void touchesCancelled(const std::vector<std::shared_ptr<Touch>>& touches, const Event& event);

    // --- Gesture recognisers.
    void addGestureRecognizer(const std::shared_ptr<GestureRecognizer>& recognizer);
    void removeGestureRecognizer(const std::shared_ptr<GestureRecognizer>& recognizer);
    const std::vector<std::shared_ptr<GestureRecognizer>>& gestureRecognizers() const { return recognizers_; }

    // --- First responder.
    virtual bool canBecomeFirstResponder() const { return false; }
    bool becomeFirstResponder();
    bool resignFirstResponder();
    bool isFirstResponder() const;

    // --- Drawing. Paints this view's own content in its bounds coordinates, after its background and
    // before its subviews. Subclasses with content override it.
    virtual void draw(Bitmap& bitmap, const RenderContext& context) const;
    // Renders this view and its subtree into a new bitmap of bounds size times `scale` (0: the
    // content scale factor).
    Bitmap renderToBitmap(float scale = 0) const;
    // A view showing what this view looks like now (an image view of its rendering), or nullptr
    // when it has no area.
    std::shared_ptr<View> snapshotView() const;

    // --- Animation: the changes apply at once; the completion runs (with true) on the main loop once
    // `duration` seconds have passed on the clock.
    static void animate(double duration, const std::function<void()>& changes,
                        std::function<void(bool finished)> completion = nullptr);
    static void animate(double duration, double delay, unsigned options, const std::function<void()>& changes,
                        std::function<void(bool finished)> completion = nullptr);
    static bool areAnimationsEnabled();
    static void setAnimationsEnabled(bool enabled);

protected:
    explicit View(Rect frame);

    // Applies autoresizing masks to the subviews after this view's bounds size changed.
    void resizeSubviews(Size oldSize);
    // Solves the constraints this view holds; part of the base layoutSubviews.
    void solveConstraints();

private:
    friend class ViewController;
    friend class Window;
    void attach(const std::shared_ptr<View>& view, std::size_t index);
    void detachFromSuperview(bool notify);
    static void moveToWindow(View& view, const std::shared_ptr<Window>& oldWindow,
                             const std::shared_ptr<Window>& newWindow);
    void boundsSizeChanged(Size oldSize);
    // Maps between this view's space and its root's space (a window's: the screen).
    AffineTransform transformToRootParent() const;
    const View* root() const;

    Point center_;
    Rect bounds_;
    AffineTransform transform_;
    bool opaque_ = true;
    bool userInteractionEnabled_ = true;
    bool multipleTouchEnabled_ = false;
    unsigned autoresizingMask_ = AutoresizingNone;
    bool autoresizesSubviews_ = true;
    ContentMode contentMode_ = ContentMode::ScaleToFill;
    long tag_ = 0;
    std::optional<float> contentScaleFactor_;
    std::string accessibilityLabel_;
    std::shared_ptr<Layer> layer_;
    bool needsLayout_ = true;
    bool translatesAutoresizing_ = true;

    std::weak_ptr<View> superview_;
    std::vector<std::shared_ptr<View>> subviews_;
    std::weak_ptr<ViewController> viewController_;
    std::vector<std::shared_ptr<LayoutConstraint>> constraints_;
    std::vector<std::shared_ptr<GestureRecognizer>> recognizers_;
};

} // namespace platform
