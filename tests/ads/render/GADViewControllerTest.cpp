#include "ads/render/GADViewController.h"

#include <doctest/doctest.h>

#include "ads/render/GADModalOverlayPresenter.h"
#include "platform/base/Log.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/testing/Harness.h"
#include "platform/ui/Application.h"
#include "platform/ui/View.h"
#include "platform/ui/Window.h"
#include "tests/ads/core/slot/SlotTestSupport.h"
#include "tests/ads/render/RenderFullScreenTestSupport.h"

using fullscreentest::RecordedSlot;
using platform::testing::Harness;
using ruzave::GADSlot;
using ruzave::GADViewController;

namespace {

using Calls = std::vector<std::string>;

struct Screen : Harness {
    Screen() {
        window = platform::Window::create();
        root = platform::ViewController::create();
        window->setRootViewController(root);
        window->makeKeyAndVisible();
        auto center = platform::NotificationCenter::defaultCenter();
        for (const char* name : {GADSlot::kAdModalViewControllerWillPresentFullScreen,
                                 GADSlot::kAdModalViewControllerDidDismissFullScreen}) {
            center->addObserver(name, nullptr, nullptr,
                                [this](const platform::Notification& n) { notes.push_back(n.name); }, this);
        }
    }
    ~Screen() { platform::NotificationCenter::defaultCenter()->removeObserver(this); }
    void settle() {
        advance(0.5);
        runUntilIdle();
    }
    std::shared_ptr<platform::Window> window;
    std::shared_ptr<platform::ViewController> root;
    std::vector<std::string> notes;
};

// Counts its own part of the dismissal.
class CountingController : public GADViewController {
  public:
    static std::shared_ptr<CountingController> make() {
        return std::shared_ptr<CountingController>(new CountingController());
    }
    int subclassDismissals = 0;

  protected:
    void didFinishDismissal() override { ++subclassDismissals; }
};

} // namespace

TEST_CASE_FIXTURE(Screen, "GADViewController: a nil presenting controller only logs and never completes") {
    platform::LogCapture capture;
    auto controller = GADViewController::init();
    bool completed = false;
    controller->presentFromViewController(nullptr, [&] { completed = true; });
    settle();
    CHECK(slottest::logged(capture, "No UIViewController supplied to the ad. Cannot continue."));
    CHECK_FALSE(completed);
    CHECK(notes.empty());
    CHECK_FALSE(controller->retainCycle());
}

TEST_CASE_FIXTURE(Screen, "GADViewController: a shown controller keeps itself and its period, then lets both go") {
    RecordedSlot s;
    auto controller = CountingController::make();
    controller->setSlot(s.slot);
    bool shown = false;
    bool dismissed = 0;
    controller->setDismissalCompletion([&] { dismissed = true; });
    controller->presentFromViewController(root, [&] { shown = true; });
    CHECK_FALSE(controller->view()->isUserInteractionEnabled());
    CHECK(controller->retainCycle() == controller);
    CHECK(s.slot->intermission() == controller->intermission());
    CHECK(platform::Application::sharedApplication()->isStatusBarHidden());
    settle();
    CHECK(shown);
    CHECK(controller->view()->isUserInteractionEnabled());
    CHECK(s.events->calls == Calls{"willPresent"});

    controller->relinquishScreenWithCompletion(nullptr);
    CHECK_FALSE(controller->retainCycle());
    CHECK(notes == Calls{GADSlot::kAdModalViewControllerWillPresentFullScreen,
                         GADSlot::kAdModalViewControllerDidDismissFullScreen});
    settle();
    CHECK(dismissed);
    // Reached from the platform's dismissal and from the presenter's, the subclass part runs once.
    CHECK(controller->subclassDismissals == 1);
    CHECK(s.events->calls == Calls{"willPresent", "willDismiss", "didDismiss"});
    CHECK_FALSE(controller->intermission());
    CHECK_FALSE(platform::Application::sharedApplication()->isStatusBarHidden());
}

TEST_CASE_FIXTURE(Screen, "GADViewController: a presentation the platform refuses is rolled back") {
    RecordedSlot s;
    root->presentViewController(platform::ViewController::create(), false);
    settle();
    auto controller = GADViewController::init();
    controller->setSlot(s.slot);
    std::weak_ptr<GADViewController> weak = controller;
    controller->presentFromViewController(root, nullptr);
    CHECK(controller->view()->isUserInteractionEnabled());
    CHECK_FALSE(controller->retainCycle());
    CHECK_FALSE(controller->intermission());
    // The slot's reload timer is given back, and its owner hears the period close.
    CHECK(notes == Calls{GADSlot::kAdModalViewControllerWillPresentFullScreen,
                         GADSlot::kAdModalViewControllerDidDismissFullScreen});
    CHECK(s.events->calls == Calls{"willPresent", "willDismiss", "didDismiss"});
    controller.reset();
    CHECK(weak.expired());
}

TEST_CASE_FIXTURE(Screen, "GADViewController: orientation setters and the release of a controller") {
    auto controller = GADViewController::init();
    CHECK(controller->supportedInterfaceOrientations() == 30);
    controller->setSupportedOrientations(0);
    CHECK(controller->supportedInterfaceOrientations() == 30);
    controller->setSupportedOrientations(6);
    CHECK(controller->supportedInterfaceOrientations() == 6);
    controller->setSupportedInterfaceOrientations(0);
    CHECK(controller->supportedInterfaceOrientations() == 0);
    int ran = 0;
    controller->setDismissalCompletion([&] { ++ran; });
    controller.reset();
    CHECK(ran == 1);
}

TEST_CASE_FIXTURE(Screen, "GADViewController: a modal presenter with nothing to dismiss completes at once") {
    auto presenter = ruzave::GADModalOverlayPresenter::init();
    CHECK_FALSE(presenter->isReadyToPresent());
    bool done = false;
    presenter->dismissWithCompletionHandler([&] { done = true; });
    CHECK(done);
}
