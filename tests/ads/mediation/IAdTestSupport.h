#pragma once
// For the platform ad network adapter tests: a fixture that sets the OS version, device class and
// screen scale for one test and puts them back, with a visible window whose root controller presents.
// Main thread.
#include <memory>
#include <string>

#include "RecordingConnector.h"
#include "ads/mediation/GADMAdapterIAd.h"
#include "ads/mediation/GADMAdapterIAdUtilities.h"
#include "platform/services/PlatformAdBannerView.h"
#include "platform/services/PlatformAdInterstitial.h"
#include "platform/testing/Harness.h"
#include "platform/ui/Device.h"
#include "platform/ui/Screen.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"

namespace mediationtest {

struct IAdFixture : platform::testing::Harness {
    std::string savedVersion = platform::Device::currentDevice()->systemVersion();
    platform::UserInterfaceIdiom savedIdiom = platform::Device::currentDevice()->userInterfaceIdiom();
    float savedScale = platform::Screen::mainScreen()->scale();
    std::shared_ptr<platform::Window> window = platform::Window::create();
    std::shared_ptr<platform::ViewController> root = platform::ViewController::create();
    std::shared_ptr<RecordingConnector> connector;
    std::shared_ptr<ruzave::GADMAdapterIAd> adapter;

    IAdFixture() {
        platform::PlatformAdBannerView::clearScriptForTesting();
        platform::PlatformAdInterstitial::clearScriptForTesting();
        window->setRootViewController(root);
        window->makeKeyAndVisible();
    }
    ~IAdFixture() {
        adapter.reset();
        connector.reset();
        platform::PlatformAdBannerView::clearScriptForTesting();
        platform::PlatformAdInterstitial::clearScriptForTesting();
        platform::PlatformAdBannerView::setAdTypeInitializerAvailableForTesting(true);
        platform::Device::currentDevice()->setSystemVersion(savedVersion);
        platform::Device::currentDevice()->setUserInterfaceIdiom(savedIdiom);
        platform::Screen::mainScreen()->setScale(savedScale);
        ruzave::GADMAdapterIAdUtilities::sharedInstance().resetForTesting();
    }

    void device(const std::string& version, platform::UserInterfaceIdiom idiom = platform::UserInterfaceIdiom::Phone) {
        platform::Device::currentDevice()->setSystemVersion(version);
        platform::Device::currentDevice()->setUserInterfaceIdiom(idiom);
    }
    // A new front adapter for the current device, as the connector makes it.
    void makeAdapter() {
        connector = RecordingConnector::make(ruzave::GADMAdapterIAd::kClassName, platform::Value::object());
        adapter = std::dynamic_pointer_cast<ruzave::GADMAdapterIAd>(connector->adapter());
        REQUIRE(adapter);
    }
};

} // namespace mediationtest
