#include "ads/render/GADViewController.h"

#include <doctest/doctest.h>

#include "ads/render/GADModalOverlayPresenter.h"
#include "ads/render/GADOverlayPresenting.h"
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

// Shows its controller on behalf of a chosen controller (nil: none).
class StandInPresenter : public ruzave::GADOverlayPresenting {
  public:
    std::shared_ptr<platform::ViewController> standIn;
    void presentFromViewController(const std::shared_ptr<platform::ViewController>&, Completion) override {}
    std::shared_ptr<platform::ViewController> presentationViewController() const override { return standIn; }
    void dismissWithCompletionHandler(Completion completion) override {
        if (completion) completion();
    }
    std::shared_ptr<GADViewController> presentedViewController() const override { return presented.lock(); }
    void setPresentedViewController(const std::weak_ptr<GADViewController>& c) override { presented = c; }
    bool isReadyToPresent() override { return true; }
    std::weak_ptr<GADViewController> presented;
};

} // namespace

TEST_CASE_FIXTURE(Screen, "GADViewController: another presentation controller presents and dismisses in its place") {
    auto controller = GADViewController::init();
    auto presenter = std::make_shared<StandInPresenter>();
    presenter->standIn = root;
    controller->setPresenter(presenter);
    CHECK(presenter->presentedViewController() == controller);
    auto sheet = platform::ViewController::create();
    bool presented = false;
    // Callers that only know a platform controller reach the override too.
    platform::ViewController& asPlatform = *controller;
    CHECK(asPlatform.presentViewController(sheet, false, [&] { presented = true; }));
    settle();
    CHECK(presented);
    CHECK(root->presentedViewController() == sheet);
    CHECK(sheet->presentingViewController() == root);
    CHECK_FALSE(controller->presentedViewController());

    bool dismissed = false;
    CHECK(asPlatform.dismissViewController(false, [&] { dismissed = true; }));
    settle();
    CHECK(dismissed);
    CHECK_FALSE(root->presentedViewController());
    CHECK_FALSE(sheet->presentingViewController());
    // With nothing left to dismiss the stand-in's answer comes back.
    CHECK_FALSE(controller->dismissViewController(false));
}

TEST_CASE_FIXTURE(Screen, "GADViewController: presents for itself when the presenter names it or nothing") {
    auto presenter = std::make_shared<StandInPresenter>();
    auto controller = GADViewController::init();
    SUBCASE("the presenter names the controller itself") { presenter->standIn = controller; }
    SUBCASE("the presenter names no controller") { presenter->standIn = nullptr; }
    controller->setPresenter(presenter);
    root->presentViewController(controller, false);
    settle();
    auto sheet = platform::ViewController::create();
    CHECK(controller->presentViewController(sheet, false));
    settle();
    CHECK(controller->presentedViewController() == sheet);
    CHECK(root->presentedViewController() == controller);
    // The controller dismisses what it presents, then itself from the root.
    CHECK(controller->dismissViewController(false));
    settle();
    CHECK_FALSE(controller->presentedViewController());
    CHECK(root->presentedViewController() == controller);
    CHECK(controller->dismissViewController(false));
    settle();
    CHECK_FALSE(root->presentedViewController());
    presenter->standIn.reset();
}

TEST_CASE_FIXTURE(Screen, "GADViewController: a modal presenter leaves the platform's own presentation in force") {
    auto controller = GADViewController::init();
    controller->presentFromViewController(root, nullptr);
    settle();
    REQUIRE(root->presentedViewController() == controller);
    auto sheet = platform::ViewController::create();
    CHECK(controller->presentViewController(sheet, false));
    settle();
    CHECK(controller->presentedViewController() == sheet);
    CHECK(sheet->presentingViewController() == controller);
    controller->relinquishScreenWithCompletion(nullptr);
    settle();
    CHECK_FALSE(root->presentedViewController());
}

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
