#include <doctest/doctest.h>

#include "ads/core/sdkcore/GADSDKCoreController.h"
#include "ads/core/telemetry/GADActiveViewMonitor.h"
#include "platform/testing/Harness.h"
#include "platform/ui/Application.h"
#include "platform/ui/View.h"
#include "platform/ui/Window.h"

using platform::testing::Harness;
using ruzave::GADActiveViewMonitor;

namespace {

struct Counter : ruzave::GADActiveViewMonitorDelegate {
    int refreshes = 0;
    bool sawVisible = false;
    void activeViewMonitorDidRefresh(GADActiveViewMonitor& monitor) override {
        ++refreshes;
        // The sample is stored before the delegate hears of it.
        sawVisible = monitor.monitoredViewVisible();
    }
};

struct Shown : Harness {
    std::shared_ptr<platform::Window> window = platform::Window::create();
    std::shared_ptr<platform::View> view = platform::View::create(platform::Rect(10, 20, 100, 50));
    Shown() {
        platform::Application::sharedApplication()->setApplicationState(platform::ApplicationState::Active);
        window->makeKeyAndVisible();
        window->addSubview(view);
    }
};

} // namespace

TEST_CASE_FIXTURE(Shown, "GADActiveViewMonitor: a sample stores the visible part and tells the delegate") {
    CHECK(GADActiveViewMonitor::initWithView(nullptr) == nullptr);
    auto monitor = GADActiveViewMonitor::initWithView(view);
    auto delegate = std::make_shared<Counter>();
    monitor->setDelegate(delegate);
    monitor->updateViewBounds();
    CHECK(delegate->refreshes == 1);
    CHECK(delegate->sawVisible);
    auto r = monitor->monitoredViewVisibleBounds();
    CHECK(r.origin.x == 10);
    CHECK(r.size.width == 100);

    // A view removed from its window reports nothing visible.
    view->removeFromSuperview();
    monitor->updateViewBounds();
    CHECK_FALSE(monitor->monitoredViewVisible());
    CHECK(monitor->monitoredViewVisibleBounds().isEmpty());
}

TEST_CASE_FIXTURE(Shown, "GADActiveViewMonitor: zero-area and null rectangles are not visible") {
    auto monitor = GADActiveViewMonitor::initWithView(view);
    monitor->setMonitoredViewVisibleBounds(platform::Rect(5, 5, 0, 40));
    CHECK_FALSE(monitor->monitoredViewVisible());
    monitor->setMonitoredViewVisibleBounds(platform::Rect::null());
    CHECK_FALSE(monitor->monitoredViewVisible());
    CHECK(monitor->monitoredViewVisibleBounds().isFinite());
    monitor->setMonitoredViewVisibleBounds(platform::Rect(0, 0, 1, 1));
    CHECK(monitor->monitoredViewVisible());
}

TEST_CASE_FIXTURE(Shown, "GADActiveViewMonitor: sampling runs once per interval and starts and stops once") {
    auto monitor = GADActiveViewMonitor::initWithView(view);
    auto delegate = std::make_shared<Counter>();
    monitor->setDelegate(delegate);
    monitor->stopMonitoring();
    CHECK_FALSE(monitor->isMonitoring());
    monitor->startMonitoring();
    monitor->startMonitoring();
    runUntilIdle();
    CHECK(monitor->isMonitoring());
    CHECK(delegate->refreshes == 0);
    advance(0.41);
    runUntilIdle();
    CHECK(delegate->refreshes == 1);
    advance(0.4);
    runUntilIdle();
    CHECK(delegate->refreshes == 2);
    monitor->stopMonitoring();
    runUntilIdle();
    advance(2.0);
    runUntilIdle();
    CHECK(delegate->refreshes == 2);
}

TEST_CASE_FIXTURE(Shown, "GADActiveViewMonitor: a non-positive interval falls back to the default and the delegate is weak") {
    auto controller = ruzave::GADSDKCoreController::sharedInstance();
    controller->setActiveViewSamplingInterval(-1);
    auto monitor = GADActiveViewMonitor::initWithView(view);
    CHECK(monitor->samplingInterval() == doctest::Approx(GADActiveViewMonitor::kDefaultSamplingInterval));
    controller->setActiveViewSamplingInterval(0);
    CHECK(monitor->samplingInterval() == doctest::Approx(GADActiveViewMonitor::kDefaultSamplingInterval));
    controller->setActiveViewSamplingInterval(1.5);
    CHECK(monitor->samplingInterval() == doctest::Approx(1.5));

    auto delegate = std::make_shared<Counter>();
    monitor->setDelegate(delegate);
    std::weak_ptr<Counter> weak = delegate;
    delegate.reset();
    CHECK(weak.expired());
    monitor->updateViewBounds();
    CHECK(monitor->delegate() == nullptr);
}
