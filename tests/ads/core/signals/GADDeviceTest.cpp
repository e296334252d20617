#include <doctest/doctest.h>

#include "ads/core/signals/GADDevice.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Sandbox.h"
#include "platform/services/AdvertisingIdentifierManager.h"
#include "platform/services/AudioSession.h"
#include "platform/services/MessageComposer.h"
#include "platform/services/NetworkInfo.h"
#include "platform/runloop/DispatchQueue.h"
#include "platform/testing/Harness.h"
#include "platform/ui/Application.h"
#include "platform/ui/Device.h"
#include "platform/ui/Screen.h"

using namespace ruzave;

TEST_CASE_FIXTURE(platform::testing::Harness, "GADDevice: version texts pad to three numbers") {
    platform::Device::currentDevice()->setSystemVersion("7.1");
    auto d = GADDevice::sharedInstance();
    d->updateOperatingSystemVersionProperties();
    CHECK(d->systemVersion() == "7.1");
    CHECK(d->operatingSystemVersion() == std::array<int, 3>{7, 1, 0});
    CHECK_FALSE(d->isOSAtLeastMajor(8, 0, 0));
    platform::Device::currentDevice()->setSystemVersion("8.1.2.1");
    d->updateOperatingSystemVersionProperties();
    CHECK(d->operatingSystemVersion() == std::array<int, 3>{8, 1, 2});
    CHECK(d->isOSAtLeastMajor(8, 0, 0));
    CHECK(d->canOpenURLs({"kindle://home"}).has_value());
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADDevice: static parameters and the request keys") {
    platform::Device::currentDevice()->setSystemVersion("9.3");
    platform::Screen::mainScreen()->setScale(2.5f);
    platform::Bundle::mainBundle()->setValue("CFBundleVersion", "");
    platform::Bundle::mainBundle()->setValue("CFBundleIdentifier", "com.example.app");
    auto d = GADDevice::sharedInstance();
    d->cacheStaticParameters();
    CHECK_FALSE(d->canOpenURLs({"kindle://home"}));
    platform::Value p = d->parameters();
    CHECK(p["u_sd"] == "2.5");
    CHECK(p["u_w"] == "320");
    CHECK(p["cap_bs"] == 1);
    CHECK(p["app_name"] == "iphone.com.example.app");
    CHECK(p["u_so"] == "p");
    CHECK_FALSE(p.contains("ios_ipadc"));
    CHECK(p.contains("cap_noiap"));
    CHECK(d->canMakePhoneCalls());
    CHECK(d->canText());
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADDevice: landscape start on OS 8 swaps the stored portrait bounds") {
    platform::Device::currentDevice()->setSystemVersion("8.0");
    platform::Screen::mainScreen()->setBoundsSize({568, 320});
    platform::Application::sharedApplication()->setStatusBarOrientation(platform::InterfaceOrientation(3));
    auto d = GADDevice::sharedInstance();
    d->cacheStaticParameters();
    CHECK(d->standardizedPortraitScreenBounds() == platform::Rect(0, 0, 320, 568));
    CHECK(d->orientationLandscape());
    CHECK(d->standardizedOrientedScreenBounds().size == platform::Size{568, 320});
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADDevice: limited tracking hides the identifier, and audio routes") {
    auto d = GADDevice::sharedInstance();
    auto manager = platform::AdvertisingIdentifierManager::sharedManager();
    REQUIRE(manager);
    CHECK(d->deviceIdentifier().size() == 32);
    manager->setAdvertisingTrackingEnabledForTesting(false);
    CHECK(d->deviceIdentifier().empty());
    CHECK(d->limitAdTrackingString() == "1");
    auto audio = platform::AudioSession::sharedInstance();
    audio->setCurrentRouteOutputsForTesting({{platform::AudioSession::portHeadphones, "h"}});
    CHECK(d->audioRoute() == 2);
    audio->setOutputVolumeForTesting(0);
    CHECK(d->audioRoute() == 3);
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADDevice: the temporary folder is emptied before its path is handed out") {
    const std::string path = platform::Sandbox::temporaryDirectory() + "/DoRurTemp";
    platform::Sandbox::createDirectory(path, true);
    platform::Sandbox::writeFileAtomically(path + "/left", std::string_view("x"));
    auto d = GADDevice::sharedInstance();
    CHECK_FALSE(platform::Sandbox::fileExists(path + "/left"));
    CHECK(d->temporaryPathWithCreation(true) == path);
    CHECK(platform::Sandbox::fileExists(path));
    d->setUserAgentString("");
    CHECK_FALSE(d->userAgentString());
    d->setUserAgentString("UA");
    CHECK(d->userAgentString() == "UA");
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADDevice: from OS 9 text capability is the message composer's answer") {
    platform::Device::currentDevice()->setSystemVersion("9.0");
    platform::MessageComposer::setCanSendTextForTesting(false);
    // An installed "sms" handler no longer counts: only the composer knows.
    platform::Application::sharedApplication()->installURLScheme("sms");
    auto d = GADDevice::sharedInstance();
    d->cacheStaticParameters();
    CHECK_FALSE(d->canText());
    CHECK(d->canMakePhoneCalls());
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADDevice: before OS 9 text and phone capability are the sms and tel handlers") {
    platform::Device::currentDevice()->setSystemVersion("8.4");
    platform::MessageComposer::setCanSendTextForTesting(false);
    platform::Application::sharedApplication()->installURLScheme("sms");
    auto d = GADDevice::sharedInstance();
    d->cacheStaticParameters();
    CHECK(d->canText());
    CHECK_FALSE(d->canMakePhoneCalls());
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADDevice: the radio technology follows change notifications from any thread") {
    platform::NetworkInfo::setRadioAccessTechnologyForTesting(std::string(platform::NetworkInfo::technologyEdge));
    auto d = GADDevice::sharedInstance();
    d->cacheStaticParameters();
    CHECK(d->radioAccessTechnology() == platform::NetworkInfo::technologyEdge);

    // The platform posts from the thread that changed the radio; the device hears it on the main thread.
    auto background = platform::DispatchQueue::createSerial("test.radio");
    background->async(
        [] { platform::NetworkInfo::setRadioAccessTechnologyForTesting(std::string(platform::NetworkInfo::technologyLTE)); });
    CHECK(runUntil([&] { return d->radioAccessTechnology() == platform::NetworkInfo::technologyLTE; }));
    CHECK(d->lastKnownRadioAccessTechnology() == platform::NetworkInfo::technologyLTE);

    // Losing the radio clears the current value but keeps the last known one.
    platform::NetworkInfo::setRadioAccessTechnologyForTesting(std::nullopt);
    CHECK(runUntil([&] { return !d->radioAccessTechnology(); }));
    CHECK(d->lastKnownRadioAccessTechnology() == platform::NetworkInfo::technologyLTE);
    platform::Value p = d->parameters();
    CHECK_FALSE(p.contains("ios_radio"));
    CHECK(p["ios_radio_last"] == platform::NetworkInfo::technologyLTE);

    // Once checking is off, changes go unheard.
    d->disableRadioAccessTechnologyChecking();
    platform::NetworkInfo::setRadioAccessTechnologyForTesting(std::string(platform::NetworkInfo::technologyWCDMA));
    runUntilIdle();
    CHECK_FALSE(d->radioAccessTechnology());
    // Enabling again reads the radio at once and follows its changes.
    d->enableRadioAccessTechnologyChecking();
    d->enableRadioAccessTechnologyChecking();
    CHECK(d->radioAccessTechnology() == platform::NetworkInfo::technologyWCDMA);
    platform::NetworkInfo::setRadioAccessTechnologyForTesting(std::string(platform::NetworkInfo::technologyHSDPA));
    CHECK(runUntil([&] { return d->radioAccessTechnology() == platform::NetworkInfo::technologyHSDPA; }));
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADDevice: below OS 7 the radio technology is not followed") {
    platform::Device::currentDevice()->setSystemVersion("6.1");
    auto d = GADDevice::sharedInstance();
    d->cacheStaticParameters();
    CHECK_FALSE(d->radioAccessTechnology());
    platform::NetworkInfo::setRadioAccessTechnologyForTesting(std::string(platform::NetworkInfo::technologyEdge));
    runUntilIdle();
    CHECK_FALSE(d->radioAccessTechnology());
    CHECK_FALSE(d->lastKnownRadioAccessTechnology());
    CHECK_FALSE(d->parameters().contains("ios_radio_last"));
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADDevice: the platform key is left out until the model is known") {
    auto d = GADDevice::sharedInstance();
    CHECK_FALSE(d->parameters().contains("platform"));
    d->cacheStaticParameters();
    platform::Value p = d->parameters();
    REQUIRE(p.contains("platform"));
    CHECK(p["platform"] == platform::Device::currentDevice()->model());
    CHECK_FALSE(p["platform"].get<std::string>().empty());
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADDevice: a phone app on a tablet says so and whole scales have no fraction") {
    auto device = platform::Device::currentDevice();
    device->setModel("iPad");
    device->setUserInterfaceIdiom(platform::UserInterfaceIdiom::Phone);
    platform::Screen::mainScreen()->setScale(2.0f);
    auto d = GADDevice::sharedInstance();
    d->cacheStaticParameters();
    platform::Value p = d->parameters();
    CHECK(p["ios_ipadc"] == "1");
    CHECK(p["u_sd"] == "2");
    CHECK(d->isOSAtLeastMajor(0, 0, 0));
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADDevice: a phone app on a phone or a tablet app sends no compatibility key") {
    auto device = platform::Device::currentDevice();
    SUBCASE("phone") {
        device->setModel("iPhone");
        device->setUserInterfaceIdiom(platform::UserInterfaceIdiom::Phone);
    }
    SUBCASE("tablet app") {
        device->setModel("iPad");
        device->setUserInterfaceIdiom(platform::UserInterfaceIdiom::Pad);
    }
    auto d = GADDevice::sharedInstance();
    d->cacheStaticParameters();
    CHECK_FALSE(d->parameters().contains("ios_ipadc"));
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADDevice: the OS test compares major then minor then patch") {
    auto d = GADDevice::sharedInstance();
    platform::Device::currentDevice()->setSystemVersion("8.0.0");
    d->updateOperatingSystemVersionProperties();
    CHECK(d->isOSAtLeastMajor(8, 0, 0));
    CHECK_FALSE(d->isOSAtLeastMajor(8, 0, 1));
    platform::Device::currentDevice()->setSystemVersion("9.0.0");
    d->updateOperatingSystemVersionProperties();
    CHECK(d->isOSAtLeastMajor(8, 0, 0));
    CHECK(d->isOSAtLeastMajor(8, 9, 9));
    platform::Device::currentDevice()->setSystemVersion("7.1.2");
    d->updateOperatingSystemVersionProperties();
    CHECK_FALSE(d->isOSAtLeastMajor(8, 0, 0));
    CHECK(d->isOSAtLeastMajor(7, 1, 2));
    CHECK_FALSE(d->isOSAtLeastMajor(7, 2, 0));
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADDevice: version checks before the early start read the platform's version") {
    auto d = GADDevice::sharedInstance();
    REQUIRE_FALSE(d->hasCachedStaticParameters());
    platform::Device::currentDevice()->setSystemVersion("8.2");
    CHECK(d->isOSAtLeastMajor(8, 0, 0));
    CHECK(d->operatingSystemVersion() == std::array<int, 3>{8, 2, 0});
    platform::Device::currentDevice()->setSystemVersion("6.1.4");
    CHECK(d->OSIsSupported());
    CHECK_FALSE(d->isOSAtLeastMajor(7, 0, 0));
    // Once cached, the version is the one read at the start.
    d->cacheStaticParameters();
    platform::Device::currentDevice()->setSystemVersion("9.0");
    CHECK_FALSE(d->isOSAtLeastMajor(7, 0, 0));
}
