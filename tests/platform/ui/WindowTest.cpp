#include "platform/testing/Harness.h"
#include "platform/ui/Application.h"
#include "platform/ui/Screen.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"

using namespace platform;
using platform::testing::Harness;

TEST_CASE("Window: the main screen, its application frame and a window filling it") {
    auto screen = Screen::mainScreen();
    CHECK(screen->bounds() == Rect(0, 0, 320, 568));
    CHECK(screen->scale() == 2);
    CHECK(screen->currentModeSize() == Size{640, 1136});
    CHECK(screen->applicationFrame() == Rect(0, 20, 320, 548));
    Application::sharedApplication()->setStatusBarHidden(true);
    CHECK(screen->applicationFrame() == Rect(0, 0, 320, 568));
    screen->setBoundsSize(Size{768, 1024});
    screen->setScale(-1); // ignored
    CHECK(screen->bounds() == Rect(0, 0, 768, 1024));
    CHECK(screen->scale() == 2);

    auto window = Window::create();
    CHECK(window->frame() == Rect(0, 0, 768, 1024));
    CHECK(window->isHidden());
    CHECK(window->window() == window);
    CHECK(window->contentScaleFactor() == 2);
}

TEST_CASE_FIXTURE(Harness, "Window: makeKeyAndVisible shows it, makes it key and lets the root appear") {
    struct Root : ViewController {
        int willAppear = 0, didAppear = 0;
        void viewWillAppear(bool) override { ++willAppear; }
        void viewDidAppear(bool) override { ++didAppear; }
    };
    auto root = std::shared_ptr<Root>(new Root());
    auto window = Window::create(Rect(0, 0, 320, 480));
    window->setRootViewController(root);
    CHECK(root->view()->superview() == window);
    CHECK(root->view()->frame() == Rect(0, 0, 320, 480));
    CHECK(root->willAppear == 0);
    window->makeKeyAndVisible();
    CHECK_FALSE(window->isHidden());
    CHECK(window->isKeyWindow());
    CHECK(Application::sharedApplication()->keyWindow() == window);
    CHECK(root->willAppear == 1);
    CHECK(root->didAppear == 1);
    window->makeKeyAndVisible();
    CHECK(root->didAppear == 1);

    auto other = Window::create();
    other->makeKeyWindow();
    CHECK_FALSE(window->isKeyWindow());
    CHECK(Window::allWindows().size() == 2);
}
