#include "platform/ui/View.h"

#include <algorithm>
#include <cmath>

#include "platform/base/Log.h"
#include "platform/runloop/MainLoop.h"
#include "platform/ui/Bitmap.h"
#include "platform/ui/GestureRecognizer.h"
#include "platform/ui/Image.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Layer.h"
#include "platform/ui/LayoutConstraint.h"
#include "platform/ui/RenderContext.h"
#include "platform/ui/Screen.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"

namespace platform {

namespace {

std::weak_ptr<View> gFirstResponder;
bool gAnimationsEnabled = true;

// Spreads `delta` over the flexible parts of one axis, in proportion to their current extents (evenly
// when those are all zero).
void distribute(float delta, bool flexA, bool flexSize, bool flexB, float& a, float& size, float& b) {
    float total = (flexA ? a : 0) + (flexSize ? size : 0) + (flexB ? b : 0);
    int count = int(flexA) + int(flexSize) + int(flexB);
    if (count == 0) return;
    auto share = [&](float part) { return total > 0 ? delta * part / total : delta / float(count); };
    float da = flexA ? share(a) : 0, ds = flexSize ? share(size) : 0, db = flexB ? share(b) : 0;
    a += da;
    size += ds;
    b += db;
}

} // namespace

std::shared_ptr<View> View::create(Rect frame) { return std::shared_ptr<View>(new View(frame)); }

View::View(Rect frame) : layer_(Layer::create()) {
    Rect f = frame.sanitized();
    bounds_ = Rect(0, 0, f.size.width, f.size.height);
    center_ = Point{f.midX(), f.midY()};
}

View::~View() {
    for (auto& sub : subviews_) sub->superview_.reset();
    for (auto& r : recognizers_) r->view_.reset();
}

// --- Geometry

Rect View::frame() const {
    Rect local(-bounds_.size.width / 2, -bounds_.size.height / 2, bounds_.size.width, bounds_.size.height);
    Rect r = transform_.isIdentity() ? local : transform_.apply(local);
    return r.offsetBy(center_.x, center_.y);
}

void View::setFrame(Rect frame) {
    Rect f = frame.sanitized();
    Size old = bounds_.size;
    center_ = Point{f.midX(), f.midY()};
    // With a transform the frame is only a bounding box; keep the size and move the centre.
    if (transform_.isIdentity()) bounds_.size = f.size;
    boundsSizeChanged(old);
}

void View::setBounds(Rect bounds) {
    Rect b = bounds.sanitized();
    Size old = bounds_.size;
    bounds_ = b;
    boundsSizeChanged(old);
}

void View::setCenter(Point center) {
    if (!center.isFinite()) return;
    center_ = center;
}

void View::setTransform(const AffineTransform& transform) {
    const AffineTransform& t = transform;
    bool finite = std::isfinite(t.a) && std::isfinite(t.b) && std::isfinite(t.c) && std::isfinite(t.d) &&
                  std::isfinite(t.tx) && std::isfinite(t.ty);
    transform_ = finite ? t : AffineTransform::identity();
}

void View::boundsSizeChanged(Size oldSize) {
    if (oldSize == bounds_.size) return;
    if (autoresizesSubviews_) resizeSubviews(oldSize);
    setNeedsLayout();
}

void View::resizeSubviews(Size oldSize) {
    float dw = bounds_.size.width - oldSize.width;
    float dh = bounds_.size.height - oldSize.height;
    for (auto& sub : std::vector<std::shared_ptr<View>>(subviews_)) {
        unsigned m = sub->autoresizingMask_;
        if (m == AutoresizingNone || !sub->translatesAutoresizing_) continue;
        Rect f = sub->frame();
        float left = f.minX(), width = f.width(), right = oldSize.width - f.maxX();
        float top = f.minY(), height = f.height(), bottom = oldSize.height - f.maxY();
        distribute(dw, m & AutoresizingFlexibleLeftMargin, m & AutoresizingFlexibleWidth,
                   m & AutoresizingFlexibleRightMargin, left, width, right);
        distribute(dh, m & AutoresizingFlexibleTopMargin, m & AutoresizingFlexibleHeight,
                   m & AutoresizingFlexibleBottomMargin, top, height, bottom);
        sub->setFrame(Rect(left, top, std::max(0.0f, width), std::max(0.0f, height)));
    }
}

// --- Appearance

bool View::isHidden() const { return layer_->hidden_; }
void View::setHidden(bool hidden) { layer_->hidden_ = hidden; }
float View::alpha() const { return layer_->opacity_; }
void View::setAlpha(float alpha) { layer_->setOpacity(alpha); }
std::optional<Color> View::backgroundColor() const { return layer_->backgroundColor_; }
void View::setBackgroundColor(std::optional<Color> color) { layer_->backgroundColor_ = color; }
bool View::clipsToBounds() const { return layer_->masksToBounds_; }
void View::setClipsToBounds(bool clips) { layer_->masksToBounds_ = clips; }

float View::contentScaleFactor() const {
    return contentScaleFactor_ ? *contentScaleFactor_ : Screen::mainScreen()->scale();
}

void View::setContentScaleFactor(float scale) {
    if (std::isfinite(scale) && scale > 0) contentScaleFactor_ = scale;
}

std::shared_ptr<Layer> View::layer() const {
    if (layer_->view_.expired()) {
        if (auto self = weak_from_this().lock()) layer_->view_ = std::const_pointer_cast<View>(self);
    }
    return layer_;
}

// --- The tree

std::shared_ptr<Window> View::window() const {
    const View* r = root();
    auto self = const_cast<View*>(r)->weak_from_this().lock();
    return std::dynamic_pointer_cast<Window>(self);
}

const View* View::root() const {
    const View* v = this;
    while (auto s = v->superview_.lock()) v = s.get();
    return v;
}

bool View::isDescendantOfView(const View* view) const {
    if (view == nullptr) return false;
    for (const View* v = this; v != nullptr; v = v->superview_.lock().get()) {
        if (v == view) return true;
    }
    return false;
}

std::shared_ptr<View> View::viewWithTag(long tag) {
    if (tag_ == tag) return shared_from_this();
    for (auto& sub : subviews_) {
        if (auto found = sub->viewWithTag(tag)) return found;
    }
    return nullptr;
}

void View::addSubview(const std::shared_ptr<View>& view) {
    std::size_t index = subviews_.size();
    if (view && view->superview_.lock().get() == this) --index; // moving to the front
    attach(view, index);
}

void View::insertSubview(const std::shared_ptr<View>& view, std::size_t index) { attach(view, index); }

void View::insertSubviewAbove(const std::shared_ptr<View>& view, const std::shared_ptr<View>& sibling) {
    auto it = std::find(subviews_.begin(), subviews_.end(), sibling);
    if (it == subviews_.end()) return addSubview(view);
    std::size_t index = std::size_t(it - subviews_.begin()) + 1;
    auto cur = std::find(subviews_.begin(), subviews_.end(), view);
    if (cur != subviews_.end() && cur < it) --index;
    attach(view, index);
}

void View::insertSubviewBelow(const std::shared_ptr<View>& view, const std::shared_ptr<View>& sibling) {
    auto it = std::find(subviews_.begin(), subviews_.end(), sibling);
    if (it == subviews_.end()) return addSubview(view);
    std::size_t index = std::size_t(it - subviews_.begin());
    auto cur = std::find(subviews_.begin(), subviews_.end(), view);
    if (cur != subviews_.end() && cur < it) --index;
    attach(view, index);
}

void View::attach(const std::shared_ptr<View>& view, std::size_t index) {
    if (!view || view.get() == this || isDescendantOfView(view.get())) {
        logWarning("View: refused to add a view to itself or to its own subtree");
        return;
    }
    auto self = shared_from_this();
    std::shared_ptr<View> keep = view;
    auto oldSuper = view->superview();
    if (oldSuper.get() == this) { // a reorder: no hooks
        subviews_.erase(std::find(subviews_.begin(), subviews_.end(), view));
        subviews_.insert(subviews_.begin() + std::ptrdiff_t(std::min(index, subviews_.size())), view);
        return;
    }
    auto oldWindow = view->window();
    auto newWindow = window();
    view->willMoveToSuperview(self);
    bool windowChanges = oldWindow != newWindow;
    if (windowChanges) moveToWindow(*view, oldWindow, newWindow);
    if (oldSuper) {
        oldSuper->willRemoveSubview(view);
        auto& list = oldSuper->subviews_;
        list.erase(std::remove(list.begin(), list.end(), view), list.end());
    }
    subviews_.insert(subviews_.begin() + std::ptrdiff_t(std::min(index, subviews_.size())), view);
    view->superview_ = self;
    if (windowChanges) {
        std::function<void(View&)> did = [&](View& v) {
            v.didMoveToWindow();
            for (auto& s : std::vector<std::shared_ptr<View>>(v.subviews_)) did(*s);
        };
        did(*view);
    }
    view->didMoveToSuperview();
    didAddSubview(view);
    view->setNeedsLayout();
    setNeedsLayout();
}

void View::moveToWindow(View& view, const std::shared_ptr<Window>& oldWindow, const std::shared_ptr<Window>& newWindow) {
    (void)oldWindow;
    view.willMoveToWindow(newWindow);
    for (auto& s : std::vector<std::shared_ptr<View>>(view.subviews_)) moveToWindow(*s, oldWindow, newWindow);
}

void View::removeFromSuperview() { detachFromSuperview(true); }

void View::detachFromSuperview(bool notify) {
    auto sup = superview();
    if (!sup) return;
    auto self = shared_from_this();
    auto oldWindow = window();
    if (notify) willMoveToSuperview(nullptr);
    if (oldWindow) moveToWindow(*this, oldWindow, nullptr);
    sup->willRemoveSubview(self);
    // Constraints that name this view die with the link, wherever they are held.
    for (auto a = sup; a; a = a->superview()) {
        auto& list = a->constraints_;
        list.erase(std::remove_if(list.begin(), list.end(),
                                  [&](const std::shared_ptr<LayoutConstraint>& c) {
                                      return c->firstItem().get() == this || c->secondItem().get() == this;
                                  }),
                   list.end());
    }
    auto& list = sup->subviews_;
    list.erase(std::remove(list.begin(), list.end(), self), list.end());
    superview_.reset();
    if (isFirstResponder() && oldWindow) gFirstResponder.reset();
    if (oldWindow) {
        std::function<void(View&)> did = [&](View& v) {
            v.didMoveToWindow();
            for (auto& s : std::vector<std::shared_ptr<View>>(v.subviews_)) did(*s);
        };
        did(*this);
    }
    if (notify) didMoveToSuperview();
    sup->setNeedsLayout();
}

void View::bringSubviewToFront(const std::shared_ptr<View>& view) {
    auto it = std::find(subviews_.begin(), subviews_.end(), view);
    if (it == subviews_.end()) return;
    std::rotate(it, it + 1, subviews_.end());
}

void View::sendSubviewToBack(const std::shared_ptr<View>& view) {
    auto it = std::find(subviews_.begin(), subviews_.end(), view);
    if (it == subviews_.end()) return;
    std::rotate(subviews_.begin(), it, it + 1);
}

// --- Conversions

AffineTransform View::transformToSuperview() const {
    float bcx = bounds_.origin.x + bounds_.size.width / 2;
    float bcy = bounds_.origin.y + bounds_.size.height / 2;
    return AffineTransform::translation(-bcx, -bcy).concat(transform_).concat(
        AffineTransform::translation(center_.x, center_.y));
}

AffineTransform View::transformToRootParent() const {
    AffineTransform t = transformToSuperview();
    for (auto v = superview(); v; v = v->superview()) t = t.concat(v->transformToSuperview());
    return t;
}

Point View::convertPointToView(Point point, const View* view) const {
    if (view == this) return point;
    const View* target = view != nullptr ? view : root();
    Point p = transformToRootParent().apply(point);
    return target->transformToRootParent().inverted().apply(p);
}

Point View::convertPointFromView(Point point, const View* view) const {
    const View* source = view != nullptr ? view : root();
    return source->convertPointToView(point, this);
}

Rect View::convertRectToView(const Rect& rect, const View* view) const {
    if (view == this || rect.isNull()) return rect;
    const View* target = view != nullptr ? view : root();
    AffineTransform t = transformToRootParent().concat(target->transformToRootParent().inverted());
    return t.apply(rect);
}

Rect View::convertRectFromView(const Rect& rect, const View* view) const {
    const View* source = view != nullptr ? view : root();
    return source->convertRectToView(rect, this);
}

Point View::convertPointToScreen(Point point) const { return transformToRootParent().apply(point); }
Point View::convertPointFromScreen(Point point) const { return transformToRootParent().inverted().apply(point); }
Rect View::convertRectToScreen(const Rect& rect) const { return transformToRootParent().apply(rect); }
Rect View::convertRectFromScreen(const Rect& rect) const { return transformToRootParent().inverted().apply(rect); }

// --- Hit testing

std::shared_ptr<View> View::hitTest(Point point, const Event* event) {
    if (isHidden() || !userInteractionEnabled_ || alpha() < MinimumVisibleAlpha) return nullptr;
    if (!pointInside(point, event)) return nullptr;
    for (auto it = subviews_.rbegin(); it != subviews_.rend(); ++it) {
        auto sub = *it;
        Point p = sub->transformToSuperview().inverted().apply(point);
        if (auto hit = sub->hitTest(p, event)) return hit;
    }
    return shared_from_this();
}

bool View::pointInside(Point point, const Event*) const { return bounds_.contains(point); }

// --- Layout

void View::layoutSubviews() { solveConstraints(); }

void View::setNeedsLayout() {
    needsLayout_ = true;
    if (auto w = window()) w->scheduleLayout();
}

void View::layoutIfNeeded() {
    auto self = shared_from_this();
    if (needsLayout_) {
        needsLayout_ = false;
        auto controller = viewController();
        if (controller) controller->viewWillLayoutSubviews();
        layoutSubviews();
        if (controller) controller->viewDidLayoutSubviews();
    }
    for (auto& sub : std::vector<std::shared_ptr<View>>(subviews_)) sub->layoutIfNeeded();
}

Size View::sizeThatFits(Size) const { return bounds_.size; }

void View::sizeToFit() {
    Size s = sizeThatFits(bounds_.size);
    Rect f = frame();
    setFrame(Rect(f.origin, s));
}

Size View::intrinsicContentSize() const { return {kViewNoIntrinsicMetric, kViewNoIntrinsicMetric}; }

void View::addConstraint(const std::shared_ptr<LayoutConstraint>& constraint) {
    if (!constraint) {
        // A refused constraint leaves the layout short of a rule: never silently.
        logWarning("View: a missing constraint was not added");
        return;
    }
    if (std::find(constraints_.begin(), constraints_.end(), constraint) == constraints_.end())
        constraints_.push_back(constraint);
    setNeedsLayout();
}

void View::addConstraints(const std::vector<std::shared_ptr<LayoutConstraint>>& constraints) {
    for (auto& c : constraints) addConstraint(c);
}

void View::removeConstraint(const std::shared_ptr<LayoutConstraint>& constraint) {
    constraints_.erase(std::remove(constraints_.begin(), constraints_.end(), constraint), constraints_.end());
    setNeedsLayout();
}

void View::removeConstraints(const std::vector<std::shared_ptr<LayoutConstraint>>& constraints) {
    for (auto& c : constraints) removeConstraint(c);
}

void View::solveConstraints() {
    if (constraints_.empty()) return;
    LayoutConstraint::solve(*this, constraints_);
}

// --- Hooks (empty by default)

void View::willMoveToSuperview(const std::shared_ptr<View>&) {}
void View::didMoveToSuperview() {}
void View::willMoveToWindow(const std::shared_ptr<Window>&) {}
void View::didMoveToWindow() {}
void View::didAddSubview(const std::shared_ptr<View>&) {}
void View::willRemoveSubview(const std::shared_ptr<View>&) {}
void View::touchesBegan(const std::vector<std::shared_ptr<Touch>>&, const Event&) {}
void View::touchesMoved(const std::vector<std::shared_ptr<Touch>>&, const Event&) {}
void View::touchesEnded(const std::vector<std::shared_ptr<Touch>>&, const Event&) {}
void View::touchesCancelled(const std::vector<std::shared_ptr<Touch>>&, const Event&) {}

// --- Gesture recognisers

void View::addGestureRecognizer(const std::shared_ptr<GestureRecognizer>& recognizer) {
    if (!recognizer) return;
    if (auto old = recognizer->view()) {
        if (old.get() != this) old->removeGestureRecognizer(recognizer);
    }
    if (std::find(recognizers_.begin(), recognizers_.end(), recognizer) == recognizers_.end())
        recognizers_.push_back(recognizer);
    recognizer->view_ = weak_from_this();
}

void View::removeGestureRecognizer(const std::shared_ptr<GestureRecognizer>& recognizer) {
    auto it = std::find(recognizers_.begin(), recognizers_.end(), recognizer);
    if (it == recognizers_.end()) return;
    recognizer->view_.reset();
    recognizers_.erase(it);
}

// --- First responder

bool View::becomeFirstResponder() {
    if (!canBecomeFirstResponder()) return false;
    if (auto cur = gFirstResponder.lock(); cur && cur.get() != this) cur->resignFirstResponder();
    gFirstResponder = weak_from_this();
    return true;
}

bool View::resignFirstResponder() {
    if (gFirstResponder.lock().get() == this) gFirstResponder.reset();
    return true;
}

bool View::isFirstResponder() const { return gFirstResponder.lock().get() == this; }

// --- Drawing

void View::draw(Bitmap&, const RenderContext&) const {}

Bitmap View::renderToBitmap(float scale) const {
    float s = (std::isfinite(scale) && scale > 0) ? scale : contentScaleFactor();
    float w = std::ceil(bounds_.size.width * s), h = std::ceil(bounds_.size.height * s);
    if (!(w >= 1 && h >= 1 && w < 32768 && h < 32768)) return Bitmap();
    Bitmap bitmap(static_cast<int>(w), static_cast<int>(h));
    layer()->render(bitmap, s);
    return bitmap;
}

std::shared_ptr<View> View::snapshotView() const {
    float s = contentScaleFactor();
    auto image = Image::imageWithBitmap(renderToBitmap(s), s);
    if (!image) return nullptr;
    auto view = ImageView::create(Rect(0, 0, bounds_.size.width, bounds_.size.height));
    view->setImage(image);
    return view;
}

// --- Animation

void View::animate(double duration, const std::function<void()>& changes, std::function<void(bool)> completion) {
    animate(duration, 0, 0, changes, std::move(completion));
}

void View::animate(double duration, double delay, unsigned, const std::function<void()>& changes,
                   std::function<void(bool)> completion) {
    if (changes) changes();
    if (!completion) return;
    double total = 0;
    if (gAnimationsEnabled) {
        total = (std::isfinite(duration) && duration > 0 ? duration : 0) + (std::isfinite(delay) && delay > 0 ? delay : 0);
    }
    auto done = [completion = std::move(completion)] { completion(true); };
    if (total > 0) MainLoop::main().postAfter(total, done);
    else MainLoop::main().post(done);
}

bool View::areAnimationsEnabled() { return gAnimationsEnabled; }
void View::setAnimationsEnabled(bool enabled) { gAnimationsEnabled = enabled; }

} // namespace platform
