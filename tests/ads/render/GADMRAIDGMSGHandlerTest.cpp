#include "ads/render/GADMRAIDGMSGHandler.h"

#include <doctest/doctest.h>

#include "ads/render/GADAdView.h"
#include "ads/render/GADMRAIDCalendarProperties.h"
#include "ads/render/GADNotification.h"
#include "ads/render/GADViewController.h"
#include "platform/services/PhotoAlbum.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Application.h"
#include "platform/ui/Device.h"
#include "platform/web/WebPage.h"
#include "platform/web/WebView.h"
#include "tests/ads/render/RenderFullScreenTestSupport.h"

using fullscreentest::MRAIDBanner;
using ruzave::GADMRAIDCalendarProperties;
using ruzave::GADMRAIDGMSGHandler;

namespace {

struct MRAIDMessages : MRAIDBanner {
    void send(platform::Value params) {
        auto note = ruzave::GADNotification::initWithName("mraid", params);
        CHECK(handler->handleNotification(note, adView));
    }
    std::shared_ptr<GADMRAIDGMSGHandler> handler = GADMRAIDGMSGHandler::initWithOpener(opener);
};

platform::Value params(std::initializer_list<std::pair<const char*, const char*>> items) {
    platform::Value v = platform::Value::object();
    for (auto& [k, value] : items) v[k] = value;
    return v;
}

} // namespace

TEST_CASE("GADMRAIDGMSGHandler: orientation words and masks") {
    CHECK(ruzave::GADOrientationMaskContainsOrientation(6, 1));
    CHECK_FALSE(ruzave::GADOrientationMaskContainsOrientation(6, 3));
    CHECK_FALSE(ruzave::GADOrientationMaskContainsOrientation(0xFFFFFFFF, 32));
    CHECK_FALSE(ruzave::GADOrientationMaskContainsOrientation(0xFFFFFFFF, -1));
}

TEST_CASE_FIXTURE(MRAIDMessages, "GADMRAIDGMSGHandler: storePicture without a usable URL tells the ad") {
    send(params({{"a", "storePicture"}}));
    send(params({{"a", "storePicture"}, {"iurl", "javascript:alert(1)"}}));
    CHECK(seen() == "onError:Could not initialize picture download.,onError:Could not initialize picture download.");
    CHECK(platform::AlertView::visibleAlerts().empty());
}

TEST_CASE_FIXTURE(MRAIDMessages, "GADMRAIDGMSGHandler: one alert per picture, and a cancelled one may be asked again") {
    send(params({{"a", "storePicture"}, {"iurl", "https://img.example/p.png"}}));
    send(params({{"a", "storePicture"}, {"iurl", "https://img.example/p.png"}}));
    auto alerts = platform::AlertView::visibleAlerts();
    REQUIRE(alerts.size() == 1);
    CHECK(alerts[0]->title() == "Permission");
    CHECK(alerts[0]->message() == "The ad is requesting to save an image in your photo album.");
    alerts[0]->tapButtonAtIndex(alerts[0]->cancelButtonIndex());
    runUntilIdle();
    CHECK(handler->pendingPictureDownloadCount() == 0);
    send(params({{"a", "storePicture"}, {"iurl", "https://img.example/p.png"}}));
    CHECK(platform::AlertView::visibleAlerts().size() == 1);
    CHECK(seen().empty());
}

TEST_CASE_FIXTURE(MRAIDMessages, "GADMRAIDGMSGHandler: one picture alert at a time, the others are refused") {
    auto seenCount = [&] {
        runUntilIdle();
        return adView->evaluate("seen.length");
    };
    for (int i = 0; i < 500; ++i)
        send(params({{"a", "storePicture"}, {"iurl", ("https://img.example/" + std::to_string(i) + ".png").c_str()}}));
    auto alerts = platform::AlertView::visibleAlerts();
    REQUIRE(alerts.size() == 1);
    CHECK(handler->pendingPictureDownloadCount() == 1);
    CHECK(seenCount() == "499");
    CHECK(adView->evaluate("seen[498]") == "onError:Could not initialize picture download.");
    // The picture on screen asked for again is still quietly the same alert.
    send(params({{"a", "storePicture"}, {"iurl", "https://img.example/0.png"}}));
    CHECK(seenCount() == "499");

    // Once the user has answered, the ad may ask for another picture.
    alerts[0]->tapButtonAtIndex(alerts[0]->cancelButtonIndex());
    send(params({{"a", "storePicture"}, {"iurl", "https://img.example/1.png"}}));
    alerts = platform::AlertView::visibleAlerts();
    REQUIRE(alerts.size() == 1);
    CHECK(seenCount() == "499");
    alerts[0]->tapButtonAtIndex(1); // "Save": the download goes on without an alert
    send(params({{"a", "storePicture"}, {"iurl", "https://img.example/2.png"}}));
    CHECK(platform::AlertView::visibleAlerts().size() == 1);
    CHECK(handler->pendingPictureDownloadCount() == 2);
}

TEST_CASE_FIXTURE(MRAIDMessages, "GADMRAIDGMSGHandler: a picture that fails to download is reported to the ad") {
    send(params({{"a", "storePicture"}, {"iurl", "http://127.0.0.1:9/none.png"}}));
    platform::AlertView::visibleAlerts().at(0)->tapButtonAtIndex(1);
    REQUIRE(runUntil([&] { return handler->pendingPictureDownloadCount() == 0; }));
    CHECK(seen().rfind("onError:Failed to load http://127.0.0.1:9/none.png. Error: ", 0) == 0);
    CHECK(platform::PhotoAlbum::savedImagesForTesting().empty());
}

TEST_CASE_FIXTURE(MRAIDMessages, "GADMRAIDGMSGHandler: a picture to store is its page's load, and a gone ad's is never fetched") {
    auto page = adView->webView()->currentPage();
    REQUIRE(page);
    send(params({{"a", "storePicture"}, {"iurl", "http://127.0.0.1:9/none.png"}}));
    platform::AlertView::visibleAlerts().at(0)->tapButtonAtIndex(1);
    // Under way as the page's own load, counted there until it ends.
    CHECK(page->loadsForPageCount() == 1);
    REQUIRE(runUntil([&] { return handler->pendingPictureDownloadCount() == 0; }));
    CHECK(page->loadsForPageCount() == 0);

    // Asked by an ad whose view has gone by the time the user agrees: nothing is fetched.
    auto other = GADMRAIDGMSGHandler::initWithOpener(opener);
    {
        auto gone = ruzave::GADAdView::initWithFrame(platform::Rect(0, 0, 320, 50));
        gone->loadHTMLString("<p>ad</p>", platform::URL::parse("https://ads.ruzave.example/"));
        REQUIRE(runUntil([&] { return gone->webView()->currentPage() && !gone->isLoading(); }));
        CHECK(other->handleNotification(
            ruzave::GADNotification::initWithName("mraid", params({{"a", "storePicture"}, {"iurl", "https://img.example/q.png"}})),
            gone));
    }
    platform::AlertView::visibleAlerts().at(0)->tapButtonAtIndex(1);
    REQUIRE(runUntil([&] { return other->pendingPictureDownloadCount() == 0; }));
    CHECK(platform::PhotoAlbum::savedImagesForTesting().empty());
}

TEST_CASE_FIXTURE(MRAIDMessages, "GADMRAIDGMSGHandler: orientation properties act only on a full-screen ad") {
    // A banner: nothing happens and nothing is reported.
    send(params({{"a", "setOrientationProperties"}, {"allowOrientationChange", "true"}, {"forceOrientation", "none"}}));
    CHECK(seen().empty());

    auto controller = ruzave::GADViewController::init();
    controller->setSupportedInterfaceOrientations(30);
    opener->setViewController(controller);
    send(params({{"a", "setOrientationProperties"}, {"allowOrientationChange", "false"}, {"forceOrientation", "sideways"}}));
    send(params({{"a", "setOrientationProperties"}, {"forceOrientation", "portrait"}}));
    CHECK(seen() == "onError:Received invalid orientation properties,onError:Received invalid orientation properties");
    CHECK(controller->supportedInterfaceOrientations() == 30); // unchanged by invalid properties
    send(params({{"a", "setOrientationProperties"}, {"allowOrientationChange", "false"}, {"forceOrientation", "portrait"}}));
    CHECK(controller->supportedInterfaceOrientations() == 6);
    send(params({{"a", "setOrientationProperties"}, {"allowOrientationChange", "false"}, {"forceOrientation", "none"}}));
    CHECK(controller->supportedInterfaceOrientations() == 6); // the status bar is in portrait
}

TEST_CASE_FIXTURE(MRAIDMessages, "GADMRAIDGMSGHandler: a forced rotation presents and dismisses an invisible controller once") {
    auto app = platform::Application::sharedApplication();
    app->setStatusBarOrientation(platform::InterfaceOrientation::LandscapeLeft);
    platform::Device::currentDevice()->setOrientation(platform::DeviceOrientation::LandscapeLeft);
    struct Watching : ruzave::GADViewController {
        static std::shared_ptr<Watching> make() { return std::shared_ptr<Watching>(new Watching()); }
        void viewChangedToOrientation(platform::InterfaceOrientation o) override { told.push_back(o); }
        void viewWillDisappear(bool animated) override {
            ruzave::GADViewController::viewWillDisappear(animated);
            ++coveredTimes;
        }
        std::vector<platform::InterfaceOrientation> told;
        int coveredTimes = 0;
    };
    auto controller = Watching::make();
    root->presentViewController(controller, false);
    settle();
    opener->setViewController(controller);
    send(params({{"a", "setOrientationProperties"}, {"allowOrientationChange", "false"}, {"forceOrientation", "portrait"}}));
    CHECK(controller->supportedInterfaceOrientations() == 6);
    settle();
    settle();
    CHECK(controller->coveredTimes == 1); // the invisible controller went up once
    CHECK_FALSE(controller->presentedViewController());
    CHECK(controller->told.size() == 1);
}

TEST_CASE_FIXTURE(MRAIDMessages, "GADMRAIDGMSGHandler: mraidLoaded makes the ad an MRAID ad, unknown calls do nothing") {
    auto fresh = ruzave::GADSlot::initWithFrame(platform::Rect(0, 0, 320, 50));
    fresh->finishedLoadingAdResponse(ruzave::GADAd::init());
    opener->setSlot(fresh);
    CHECK_FALSE(fresh->isMRAIDEnabled());
    CHECK(handler->handleNotification(ruzave::GADNotification::initWithName("mraidLoaded", std::nullopt), adView));
    CHECK(fresh->isMRAIDEnabled());
    send(params({{"a", "teleport"}}));
    send(params({}));
}

TEST_CASE("GADMRAIDGMSGHandler: calendar dates need the T, seconds and a zone") {
    CHECK(GADMRAIDCalendarProperties::dateFromString("2026-01-02T03:04:05Z") == doctest::Approx(1767323045));
    CHECK(GADMRAIDCalendarProperties::dateFromString("2026-01-02T03:04:05-05:00") == doctest::Approx(1767341045));
    CHECK_FALSE(GADMRAIDCalendarProperties::dateFromString("2026-01-02 03:04:05Z"));
    CHECK_FALSE(GADMRAIDCalendarProperties::dateFromString("2026-01-02T03:04Z"));
    CHECK_FALSE(GADMRAIDCalendarProperties::dateFromString("2026-13-02T03:04:05Z"));
    platform::Value p = platform::Value::object();
    p["start"] = "garbage";
    p["description"] = "Launch";
    auto props = GADMRAIDCalendarProperties::initWithDictionary(p);
    CHECK_FALSE(props->startTime());
    CHECK(props->eventDescription() == "Launch");
    CHECK_FALSE(props->summary());
}
