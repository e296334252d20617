#include <doctest/doctest.h>

#include "ads/render/GADMobileAdsAdditions.h"
#include "platform/testing/Harness.h"
#include "platform/ui/Application.h"
#include "platform/ui/Color.h"
#include "platform/ui/InterfaceOrientation.h"
#include "platform/ui/LayoutConstraint.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/View.h"
#include "platform/ui/Window.h"

using platform::Rect;
using platform::testing::Harness;

namespace {

struct WindowFixture : Harness {
    std::shared_ptr<platform::Window> window = platform::Window::create(Rect(0, 0, 320, 568));
    WindowFixture() {
        platform::Application::sharedApplication()->setApplicationState(platform::ApplicationState::Active);
        window->makeKeyAndVisible();
    }
};

bool same(Rect a, Rect b) {
    return a.origin.x == doctest::Approx(b.origin.x) && a.origin.y == doctest::Approx(b.origin.y) &&
           a.width() == doctest::Approx(b.width()) && a.height() == doctest::Approx(b.height());
}

} // namespace

TEST_CASE_FIXTURE(WindowFixture, "gad_visibleBounds: the view's own part, cut by clipping ancestors") {
    auto clip = platform::View::create(Rect(10, 10, 100, 100));
    clip->setClipsToBounds(true);
    window->addSubview(clip);
    auto view = platform::View::create(Rect(50, 20, 100, 30));
    clip->addSubview(view);
    // Half of it lies outside the clipping superview.
    CHECK(same(ruzave::gad_visibleBounds(*view), Rect(60, 30, 50, 30)));
    // Without clipping the view is whole, but never more than itself.
    clip->setClipsToBounds(false);
    CHECK(same(ruzave::gad_visibleBounds(*view), Rect(60, 30, 100, 30)));
}

TEST_CASE_FIXTURE(WindowFixture, "gad_visibleBounds: zero when hidden, in the background, without a window or scrolled out") {
    auto scroll = platform::ScrollView::create(Rect(0, 0, 320, 100));
    scroll->setClipsToBounds(true);
    window->addSubview(scroll);
    auto view = platform::View::create(Rect(0, 0, 320, 50));
    scroll->addSubview(view);
    CHECK_FALSE(ruzave::gad_visibleBounds(*view).isEmpty());
    scroll->setContentOffset({0, 50});
    CHECK(ruzave::gad_visibleBounds(*view).isEmpty());
    scroll->setContentOffset({0, 0});

    scroll->setHidden(true);
    CHECK(ruzave::gad_visibleBounds(*view).isEmpty());
    scroll->setHidden(false);

    platform::Application::sharedApplication()->setApplicationState(platform::ApplicationState::Background);
    CHECK(ruzave::gad_visibleBounds(*view).isEmpty());
    platform::Application::sharedApplication()->setApplicationState(platform::ApplicationState::Active);

    window->setHidden(true);
    CHECK(ruzave::gad_visibleBounds(*view).isEmpty());
    window->setHidden(false);

    auto loose = platform::View::create(Rect(0, 0, 10, 10));
    CHECK(ruzave::gad_visibleBounds(*loose).isEmpty());
}

TEST_CASE_FIXTURE(WindowFixture, "gad_visibleBounds: a view starting at the window's right edge is not visible") {
    auto view = platform::View::create(Rect(320, 0, 50, 50));
    window->addSubview(view);
    CHECK(ruzave::gad_visibleBounds(*view).isEmpty());
}

TEST_CASE_FIXTURE(WindowFixture, "gad_supportsOrientations: the application's orientations for the window decide") {
    auto view = platform::View::create(Rect(0, 0, 10, 10));
    window->addSubview(view);
    platform::Application::sharedApplication()->setSupportedInterfaceOrientations(platform::InterfaceOrientationMaskPortrait);
    CHECK_FALSE(ruzave::gad_supportsOrientations(*view, platform::InterfaceOrientationMaskLandscape));
    CHECK(ruzave::gad_supportsOrientations(*view, platform::InterfaceOrientationMaskPortrait |
                                                      platform::InterfaceOrientationMaskLandscapeLeft));
}

TEST_CASE_FIXTURE(WindowFixture, "gad_fillSuperview: four edge constraints, none without a superview") {
    auto parent = platform::View::create(Rect(0, 0, 200, 100));
    window->addSubview(parent);
    auto view = platform::View::create(Rect(5, 5, 10, 10));
    ruzave::gad_fillSuperview(view);
    CHECK(parent->constraints().empty());
    parent->addSubview(view);
    ruzave::gad_fillSuperview(view);
    REQUIRE(parent->constraints().size() == 4);
    using A = platform::LayoutAttribute;
    A expected[] = {A::Top, A::Right, A::Bottom, A::Left};
    for (std::size_t i = 0; i < 4; ++i) {
        const auto& c = parent->constraints()[i];
        CHECK(c->firstItem() == view);
        CHECK(c->firstAttribute() == expected[i]);
        CHECK(c->multiplier() == doctest::Approx(1));
        CHECK(c->constant() == doctest::Approx(0));
    }
    ruzave::gad_fillSuperview(nullptr);
}

TEST_CASE_FIXTURE(WindowFixture, "gad_render: the bounds at the view's content scale") {
    auto view = platform::View::create(Rect(0, 0, 30, 20));
    view->setBackgroundColor(platform::Color::red());
    view->setContentScaleFactor(2);
    auto image = ruzave::gad_render(*view);
    CHECK(image.width() == 60);
    CHECK(image.height() == 40);
    CHECK(image.countPixels(platform::Color::red()) == 60u * 40u);
    CHECK(ruzave::gad_render(*platform::View::create(Rect(0, 0, 0, 10))).empty());
}

TEST_CASE_FIXTURE(WindowFixture, "gad_visibleBounds: never larger than the view, whatever its ancestors") {
    // A large, non-clipping ancestor and a window bigger than the view: the answer stays inside the view.
    auto outer = platform::View::create(Rect(0, 0, 320, 568));
    window->addSubview(outer);
    auto view = platform::View::create(Rect(-20, 540, 100, 50));
    outer->addSubview(view);
    Rect visible = ruzave::gad_visibleBounds(*view);
    Rect own = view->convertRectToView(view->bounds(), nullptr);
    CHECK(same(visible.intersection(own), visible));
    // Partly off the window: only the part on it counts.
    CHECK(same(visible, Rect(0, 540, 80, 28)));
}
