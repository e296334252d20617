#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "platform/testing/Harness.h"
#include "platform/ui/Bitmap.h"
#include "platform/ui/Layer.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/View.h"
#include "platform/ui/Window.h"

using namespace platform;
using platform::testing::Harness;

namespace {

void checkPoint(Point p, float x, float y) {
    CHECK(p.x == doctest::Approx(x));
    CHECK(p.y == doctest::Approx(y));
}

// Records its tree hooks.
class HookView : public View {
public:
    static std::shared_ptr<HookView> create(std::vector<std::string>* log, std::string name) {
        auto v = std::shared_ptr<HookView>(new HookView());
        v->log_ = log;
        v->name_ = std::move(name);
        return v;
    }
    void willMoveToWindow(const std::shared_ptr<Window>& w) override {
        log_->push_back(name_ + (w ? ".willMoveToWindow" : ".willMoveToNilWindow"));
    }
    void didMoveToWindow() override { log_->push_back(name_ + ".didMoveToWindow"); }
    void didMoveToSuperview() override { log_->push_back(name_ + ".didMoveToSuperview"); }
    void layoutSubviews() override {
        View::layoutSubviews();
        log_->push_back(name_ + ".layoutSubviews");
    }

private:
    HookView() : View(Rect(0, 0, 10, 10)) {}
    std::vector<std::string>* log_ = nullptr;
    std::string name_;
};

} // namespace

TEST_CASE("View: conversions across nested views with bounds origins and transforms") {
    auto window = Window::create(Rect(0, 0, 320, 568));
    auto outer = View::create(Rect(10, 20, 200, 200));
    auto scroll = ScrollView::create(Rect(5, 5, 100, 100));
    auto inner = View::create(Rect(30, 40, 50, 50));
    window->addSubview(outer);
    outer->addSubview(scroll);
    scroll->addSubview(inner);
    scroll->setContentOffset(Point{0, 25});

    checkPoint(inner->convertPointToView(Point{0, 0}, nullptr), 10 + 5 + 30, 20 + 5 + 40 - 25);
    checkPoint(inner->convertPointToView(Point{1, 2}, outer.get()), 5 + 30 + 1, 5 + 40 - 25 + 2);
    checkPoint(outer->convertPointFromView(Point{1, 2}, inner.get()), 36, 22);
    Rect r = inner->convertRectToView(Rect(0, 0, 50, 50), window.get());
    CHECK(r == Rect(45, 40, 50, 50));
    CHECK(window->convertRectToView(r, inner.get()) == Rect(0, 0, 50, 50));

    // A scale about the centre of a 100x100 view placed at (100, 100).
    auto scaled = View::create(Rect(100, 100, 100, 100));
    window->addSubview(scaled);
    scaled->setTransform(AffineTransform::scale(2, 2));
    CHECK(scaled->frame() == Rect(50, 50, 200, 200));
    checkPoint(scaled->convertPointToView(Point{0, 0}, nullptr), 50, 50);
    checkPoint(scaled->convertPointFromView(Point{250, 250}, nullptr), 100, 100);
    // Between two sibling subtrees.
    checkPoint(scaled->convertPointToView(Point{10, 10}, inner.get()), 70 - 45, 70 - 40);

    // A rotated view: its local x axis runs down the window.
    auto rotated = View::create(Rect(0, 0, 100, 100));
    window->addSubview(rotated);
    rotated->setTransform(AffineTransform::rotation(float(M_PI / 2)));
    checkPoint(rotated->convertPointToView(Point{100, 50}, nullptr), 50, 100);

    // A window placed on the screen shifts screen coordinates; two windows meet on the screen.
    auto other = Window::create(Rect(0, 100, 320, 100));
    auto child = View::create(Rect(10, 10, 10, 10));
    other->addSubview(child);
    checkPoint(child->convertPointToScreen(Point{0, 0}), 10, 110);
    checkPoint(child->convertPointToView(Point{0, 0}, outer.get()), 0, 90);
    checkPoint(child->convertPointFromScreen(Point{10, 110}), 0, 0);
}

TEST_CASE("View: a non-invertible transform converts as the identity instead of failing") {
    auto window = Window::create(Rect(0, 0, 100, 100));
    auto flat = View::create(Rect(10, 10, 20, 20));
    window->addSubview(flat);
    flat->setTransform(AffineTransform::scale(0, 0));
    Point p = flat->convertPointFromView(Point{15, 15}, nullptr);
    CHECK(std::isfinite(p.x));
    CHECK(std::isfinite(p.y));
    flat->setTransform(AffineTransform{std::numeric_limits<float>::quiet_NaN(), 0, 0, 1, 0, 0});
    CHECK(flat->transform().isIdentity());
}

TEST_CASE("View: hit testing skips hidden, transparent and non-interactive views and respects bounds") {
    auto window = Window::create(Rect(0, 0, 320, 480));
    window->setHidden(false);
    auto container = View::create(Rect(0, 0, 100, 100));
    auto back = View::create(Rect(10, 10, 50, 50));
    auto front = View::create(Rect(10, 10, 50, 50));
    window->addSubview(container);
    container->addSubview(back);
    container->addSubview(front);

    CHECK(window->hitTest(Point{20, 20}) == front);
    front->setHidden(true);
    CHECK(window->hitTest(Point{20, 20}) == back);
    front->setHidden(false);
    front->setAlpha(0.0f);
    CHECK(window->hitTest(Point{20, 20}) == back);
    front->setAlpha(1.0f);
    front->setUserInteractionEnabled(false);
    CHECK(window->hitTest(Point{20, 20}) == back);
    front->setUserInteractionEnabled(true);

    // A subview sticking out of its superview is not reachable outside the superview's bounds.
    auto outside = View::create(Rect(80, 80, 60, 60));
    container->addSubview(outside);
    CHECK(window->hitTest(Point{90, 90}) == outside);
    CHECK(window->hitTest(Point{120, 120}) == window);
    // A hidden container hides its whole subtree.
    container->setHidden(true);
    CHECK(window->hitTest(Point{20, 20}) == window);
    CHECK(window->hitTest(Point{400, 20}) == nullptr);
}

TEST_CASE("View: autoresizing masks distribute a superview's size change") {
    auto parent = View::create(Rect(0, 0, 100, 100));
    auto fill = View::create(Rect(10, 10, 80, 80));
    fill->setAutoresizingMask(AutoresizingFlexibleWidth | AutoresizingFlexibleHeight);
    auto pinnedRight = View::create(Rect(70, 0, 20, 20));
    pinnedRight->setAutoresizingMask(AutoresizingFlexibleLeftMargin);
    auto centred = View::create(Rect(40, 40, 20, 20));
    centred->setAutoresizingMask(AutoresizingFlexibleLeftMargin | AutoresizingFlexibleRightMargin |
                                 AutoresizingFlexibleTopMargin | AutoresizingFlexibleBottomMargin);
    auto fixed = View::create(Rect(5, 5, 10, 10));
    for (auto& v : {fill, pinnedRight, centred, fixed}) parent->addSubview(v);

    parent->setFrame(Rect(0, 0, 200, 150));
    CHECK(fill->frame() == Rect(10, 10, 180, 130));
    CHECK(pinnedRight->frame() == Rect(170, 0, 20, 20));
    CHECK(centred->frame() == Rect(90, 65, 20, 20));
    CHECK(fixed->frame() == Rect(5, 5, 10, 10));

    // Flexible width and right margin share in proportion to their sizes (60 and 20).
    auto shared = View::create(Rect(20, 0, 60, 10));
    shared->setAutoresizingMask(AutoresizingFlexibleWidth | AutoresizingFlexibleRightMargin);
    auto p2 = View::create(Rect(0, 0, 100, 10));
    p2->addSubview(shared);
    p2->setFrame(Rect(0, 0, 180, 10));
    CHECK(shared->frame() == Rect(20, 0, 120, 10));

    parent->setAutoresizesSubviews(false);
    parent->setFrame(Rect(0, 0, 100, 100));
    CHECK(fill->frame() == Rect(10, 10, 180, 130));
}

TEST_CASE("View: NaN and negative frames give defined geometry") {
    float nan = std::numeric_limits<float>::quiet_NaN();
    auto v = View::create(Rect(nan, 0, 10, 10));
    CHECK(v->frame() == Rect::zero());
    v->setFrame(Rect(10, 10, -4, 6));
    CHECK(v->frame() == Rect(6, 10, 4, 6));
    v->setFrame(Rect(0, 0, std::numeric_limits<float>::infinity(), 5));
    CHECK(v->frame() == Rect::zero());
    v->setCenter(Point{nan, nan});
    CHECK(v->center() == Point{0, 0});
    auto scroll = ScrollView::create(Rect(0, 0, 10, 10));
    scroll->setContentSize(Size{-5, nan});
    CHECK(scroll->contentSize() == Size{0, 0});
    CHECK(v->renderToBitmap().empty());
    CHECK(v->snapshotView() == nullptr);
}

TEST_CASE("View: tree hooks run in order and a view cannot join its own subtree") {
    std::vector<std::string> log;
    auto window = Window::create(Rect(0, 0, 100, 100));
    auto a = HookView::create(&log, "a");
    auto b = HookView::create(&log, "b");
    a->addSubview(b);
    CHECK(log == std::vector<std::string>{"b.didMoveToSuperview"});
    log.clear();
    window->addSubview(a);
    CHECK(log == std::vector<std::string>{"a.willMoveToWindow", "b.willMoveToWindow", "a.didMoveToWindow",
                                          "b.didMoveToWindow", "a.didMoveToSuperview"});
    CHECK(b->window() == window);
    log.clear();
    a->removeFromSuperview();
    CHECK(log == std::vector<std::string>{"a.willMoveToNilWindow", "b.willMoveToNilWindow", "a.didMoveToWindow",
                                          "b.didMoveToWindow", "a.didMoveToSuperview"});
    CHECK(b->window() == nullptr);

    b->addSubview(a); // a cycle: refused
    CHECK(a->superview() == nullptr);
    a->addSubview(a);
    CHECK(a->subviews().size() == 1);
}

TEST_CASE("View: subview order changes with insert, bring to front and send to back") {
    auto p = View::create();
    auto a = View::create(), b = View::create(), c = View::create();
    p->addSubview(a);
    p->addSubview(b);
    p->insertSubview(c, 0);
    CHECK(p->subviews() == std::vector<std::shared_ptr<View>>{c, a, b});
    p->bringSubviewToFront(c);
    CHECK(p->subviews() == std::vector<std::shared_ptr<View>>{a, b, c});
    p->sendSubviewToBack(b);
    CHECK(p->subviews() == std::vector<std::shared_ptr<View>>{b, a, c});
    p->insertSubviewAbove(b, c);
    CHECK(p->subviews() == std::vector<std::shared_ptr<View>>{a, c, b});
    p->addSubview(a); // re-adding moves to the front
    CHECK(p->subviews() == std::vector<std::shared_ptr<View>>{c, b, a});
    b->setTag(7);
    CHECK(p->viewWithTag(7) == b);
}

TEST_CASE_FIXTURE(Harness, "View: setNeedsLayout in a window lays out on the next main loop turn") {
    std::vector<std::string> log;
    auto window = Window::create(Rect(0, 0, 100, 100));
    auto a = HookView::create(&log, "a");
    window->addSubview(a);
    runUntilIdle();
    log.clear();
    a->setNeedsLayout();
    a->setNeedsLayout();
    CHECK(log.empty());
    runUntilIdle();
    CHECK(log == std::vector<std::string>{"a.layoutSubviews"});
    a->layoutIfNeeded();
    CHECK(log.size() == 1);
}

TEST_CASE("View: the layer renders backgrounds, clipping, round corners and alpha into a bitmap") {
    auto root = View::create(Rect(0, 0, 20, 20));
    root->setBackgroundColor(Color::whiteColor());
    auto clip = View::create(Rect(0, 0, 10, 10));
    clip->setClipsToBounds(true);
    auto red = View::create(Rect(5, 5, 10, 10)); // half outside its clipping parent
    red->setBackgroundColor(Color::red());
    root->addSubview(clip);
    clip->addSubview(red);

    Bitmap bm = root->renderToBitmap(1);
    CHECK(bm.width() == 20);
    CHECK(bm.countPixels(Color::red()) == 25);
    CHECK(bm.countPixels(Color::whiteColor()) == 400 - 25);

    clip->setClipsToBounds(false);
    CHECK(root->renderToBitmap(1).countPixels(Color::red()) == 100);
    CHECK(root->renderToBitmap(2).countPixels(Color::red()) == 400);

    red->setHidden(true);
    CHECK(root->renderToBitmap(1).countPixels(Color::red()) == 0);
    red->setHidden(false);

    // Round corners take the corner pixels away.
    red->layer()->setCornerRadius(5);
    std::size_t round = root->renderToBitmap(1).countPixels(Color::red());
    CHECK(round < 100);
    CHECK(round > 60);
    red->layer()->setCornerRadius(0);

    // Alpha blends over white.
    red->setAlpha(0.5f);
    Bitmap half = root->renderToBitmap(1);
    CHECK(half.pixel(7, 7) == 0xFF8080FFu);

    // A free-standing sublayer paints at its frame.
    auto sub = Layer::create();
    sub->setFrame(Rect(0, 0, 2, 3));
    sub->setBackgroundColor(Color::blue());
    root->layer()->addSublayer(sub);
    CHECK(root->renderToBitmap(1).countPixels(Color::blue()) == 6);
}

TEST_CASE("View: the snapshot view shows the rendering") {
    auto v = View::create(Rect(0, 0, 4, 4));
    v->setBackgroundColor(Color::green());
    v->setContentScaleFactor(1);
    auto snap = v->snapshotView();
    REQUIRE(snap);
    CHECK(snap->bounds() == Rect(0, 0, 4, 4));
    auto host = View::create(Rect(0, 0, 4, 4));
    host->addSubview(snap);
    CHECK(host->renderToBitmap(1).countPixels(Color::green()) == 16);
}

TEST_CASE_FIXTURE(Harness, "View: animations apply at once and complete on the virtual clock") {
    auto v = View::create(Rect(0, 0, 10, 10));
    int done = 0;
    View::animate(0.5, [&] { v->setAlpha(0.25f); }, [&](bool finished) {
        CHECK(finished);
        ++done;
    });
    CHECK(v->alpha() == 0.25f);
    runUntilIdle();
    advance(0.49);
    CHECK(done == 0);
    advance(0.02);
    CHECK(done == 1);
}

TEST_CASE_FIXTURE(Harness, "View: layer transitions are recorded by key until their duration passes") {
    auto v = View::create(Rect(0, 0, 10, 10));
    Transition t;
    t.type = "push";
    t.subtype = "fromRight";
    t.duration = 0.4;
    v->layer()->addAnimation(t, "transition");
    REQUIRE(v->layer()->animationForKey("transition"));
    CHECK(v->layer()->animationForKey("transition")->subtype == "fromRight");
    CHECK(v->layer()->animationKeys() == std::vector<std::string>{"transition"});
    advance(0.2);
    t.type = "fade"; // replaces, and restarts the duration
    v->layer()->addAnimation(t, "transition");
    advance(0.3);
    REQUIRE(v->layer()->animationForKey("transition"));
    CHECK(v->layer()->animationForKey("transition")->type == "fade");
    advance(0.2);
    CHECK_FALSE(v->layer()->animationForKey("transition"));
}
