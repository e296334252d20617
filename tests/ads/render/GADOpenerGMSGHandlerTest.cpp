#include "ads/render/GADOpenerGMSGHandler.h"

#include <doctest/doctest.h>

#include <algorithm>

#include "ads/core/net/GADClickTrackerCollection.h"
#include "ads/core/slot/GADSlotDelegate.h"
#include "ads/core/util/GADLog.h"
#include "ads/native/GADInAppPurchase.h"
#include "ads/native/GADInAppPurchaseDelegate.h"
#include "ads/render/GADNotification.h"
#include "ads/render/GADSupplementalAdAppViewController.h"
#include "platform/base/Log.h"
#include "platform/runloop/DispatchQueue.h"
#include "platform/services/ProductViewController.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Application.h"
#include "platform/web/WebPage.h"
#include "platform/web/WebView.h"
#include "tests/ads/render/RenderFullScreenTestSupport.h"

using fullscreentest::MRAIDBanner;
using ruzave::GADOpenerGMSGHandler;

namespace {

struct OpenMessages : MRAIDBanner {
    bool send(const char* name, platform::Value params) {
        return handler->handleNotification(ruzave::GADNotification::initWithName(name, params), adView);
    }
    std::shared_ptr<GADOpenerGMSGHandler> handler = GADOpenerGMSGHandler::initWithOpener(opener);
};

platform::Value params(std::initializer_list<std::pair<const char*, const char*>> items) {
    platform::Value v = platform::Value::object();
    for (auto& [k, value] : items) v[k] = value;
    return v;
}

} // namespace

TEST_CASE_FIXTURE(platform::testing::Harness, "GADOpenerGMSGHandler: orientation masks from o") {
    auto app = platform::Application::sharedApplication();
    CHECK(GADOpenerGMSGHandler::orientationFromParams(params({})) == 30);
    CHECK(GADOpenerGMSGHandler::orientationFromParams(params({{"o", "p"}})) == 6);
    CHECK(GADOpenerGMSGHandler::orientationFromParams(params({{"o", "l"}})) == 24);
    CHECK(GADOpenerGMSGHandler::orientationFromParams(params({{"o", "x"}})) == 30);
    app->setStatusBarOrientation(platform::InterfaceOrientation::PortraitUpsideDown);
    CHECK(GADOpenerGMSGHandler::orientationFromParams(params({{"o", "c"}})) == 6);
    app->setStatusBarOrientation(platform::InterfaceOrientation::LandscapeLeft);
    CHECK(GADOpenerGMSGHandler::orientationFromParams(params({{"o", "c"}})) == 24);
    CHECK(GADOpenerGMSGHandler::shouldUseCustomClose(params({{"custom_close", "1"}})));
    CHECK_FALSE(GADOpenerGMSGHandler::shouldUseCustomClose(params({{"custom_close", "true"}})));
}

TEST_CASE("GADOpenerGMSGHandler: purchase quantities and reporting formats") {
    CHECK_FALSE(GADOpenerGMSGHandler::validQuantity(params({{"quantity", "11"}})));
    CHECK_FALSE(GADOpenerGMSGHandler::validQuantity(params({{"quantity", "0"}})));
    CHECK_FALSE(GADOpenerGMSGHandler::validQuantity(params({})));
    CHECK(GADOpenerGMSGHandler::validQuantity(params({{"quantity", "3"}})) == 3);
    CHECK(GADOpenerGMSGHandler::reportingURLFormats("  https://a/%s\n   https://b/%s  ") ==
          std::vector<std::string>{"https://a/%s", "https://b/%s"});
}

TEST_CASE_FIXTURE(OpenMessages, "GADOpenerGMSGHandler: open without a or u is handled and does nothing") {
    CHECK(send("open", params({})));
    CHECK(send("open", params({{"a", "video"}})));
    CHECK(send("open", params({{"a", "nothing"}})));
    CHECK(send("click", params({})));
    runUntilIdle();
    CHECK(platform::Application::sharedApplication()->openedURLs().empty());
    CHECK(clicks() == 0);
    CHECK_FALSE(send("teleport", params({})));
}

TEST_CASE_FIXTURE(OpenMessages, "GADOpenerGMSGHandler: an empty URL to open is refused and the ad told so") {
    // mraid.open(''), an open with no kind, an app, the browser.
    for (const char* kind : {"webapp", "", "app", "browser"}) {
        CAPTURE(kind);
        auto p = params({{"u", ""}});
        if (*kind) p["a"] = kind;
        CHECK(send("open", p));
    }
    settle();
    CHECK(root->presentedViewController() == nullptr);
    CHECK(platform::Application::sharedApplication()->openedURLs().empty());
    CHECK(clicks() == 0);
    const std::string refusal = std::string("onError:") + ruzave::GADOpener::kOpenNotAllowed;
    const std::string heard = seen();
    std::size_t told = 0;
    for (auto at = heard.find(refusal); at != std::string::npos; at = heard.find(refusal, at + 1))
        ++told;
    CHECK(told == 4);
}

TEST_CASE_FIXTURE(OpenMessages, "GADOpenerGMSGHandler: call with a tel URL goes through the confirmation") {
    CHECK(send("open", params({{"a", "call"}, {"u", "tel:5550000"}})));
    auto alerts = platform::AlertView::visibleAlerts();
    REQUIRE(alerts.size() == 1);
    CHECK(alerts[0]->message() == "5550000");
    alerts[0]->tapButtonAtIndex(0);
    runUntilIdle();
    CHECK(platform::Application::sharedApplication()->openedURLs().empty());
}

TEST_CASE_FIXTURE(OpenMessages, "GADOpenerGMSGHandler: a store open that does not wait shows the sheet at once") {
    platform::ProductViewController::scriptLoad("9", true, std::nullopt, 5.0);
    for (const char* wait : {"false", "TRUE"}) {
        CAPTURE(wait);
        CHECK(send("open", params({{"a", "in_app_store"}, {"product_id", "9"}, {"wait_for_fetch", wait}})));
        settle();
        auto sheet = std::dynamic_pointer_cast<platform::ProductViewController>(root->presentedViewController());
        REQUIRE(sheet);
        opener->productViewControllerDidFinish(*sheet);
        settle();
    }
}

TEST_CASE_FIXTURE(OpenMessages, "GADOpenerGMSGHandler: store opens waited for, at once and prefetched each "
                                "show the loaded sheet and count one click") {
    auto shownSheet = [&] {
        return std::dynamic_pointer_cast<platform::ProductViewController>(root->presentedViewController());
    };
    auto closeSheet = [&] {
        shownSheet()->finishForTesting();
        settle();
        REQUIRE(root->presentedViewController() == nullptr);
    };
    platform::ProductViewController::scriptLoad("11", true, std::nullopt, 2.0);

    // Without "wait_for_fetch" the sheet goes up once its product has loaded, and only then is a click.
    CHECK(send("open", params({{"a", "in_app_store"}, {"product_id", "11"}})));
    settle();
    CHECK(root->presentedViewController() == nullptr);
    CHECK(clicks() == 0);
    advance(2.0);
    settle();
    REQUIRE(shownSheet());
    CHECK(shownSheet()->loadedItemIdentifier() == "11");
    CHECK(clicks() == 1);
    CHECK(s.events->calls == std::vector<std::string>{"willPresent"});
    closeSheet();

    // Not waiting: up at once, loading while shown, one click whatever the load does later.
    CHECK(send("open", params({{"a", "in_app_store"}, {"product_id", "11"}, {"wait_for_fetch", "false"}})));
    settle();
    REQUIRE(shownSheet());
    CHECK(clicks() == 2);
    advance(2.0);
    settle();
    CHECK(shownSheet()->loadedItemIdentifier() == "11");
    CHECK(clicks() == 2);
    closeSheet();

    // Prefetched: the loaded sheet goes up without waiting again.
    CHECK(send("fetchAppStore", params({{"product_id", "11"}})));
    advance(2.0);
    settle();
    REQUIRE(opener->cachedStoreProductViewControllerCount() == 1);
    CHECK(send("open", params({{"a", "in_app_store"}, {"product_id", "11"}})));
    settle();
    REQUIRE(shownSheet());
    CHECK(shownSheet()->loadedItemIdentifier() == "11");
    CHECK(clicks() == 3);
    closeSheet();
}

TEST_CASE_FIXTURE(OpenMessages, "GADOpenerGMSGHandler: a web app with html opens a second page over the ad") {
    CHECK(send("open", params({{"a", "webapp"}, {"html", "<html><body>more</body></html>"}, {"o", "p"}})));
    settle();
    auto page = std::dynamic_pointer_cast<ruzave::GADSupplementalAdAppViewController>(root->presentedViewController());
    REQUIRE(page);
    CHECK(page->supportedInterfaceOrientations() == 6);
    CHECK(clicks() == 1);
    page->relinquishScreenWithCompletion(nullptr);
    settle();
    // The banner's creative hears it shows while the page is up, and no longer once it starts to go.
    CHECK(seen() == "onAdVisibilityChanged,onStateChanged:expanded,onAdVisibilityChanged,onStateChanged:default");
}

namespace {

// The public ad object with its in-app-purchase delegate.
struct PurchaseOwner : ruzave::GADSlotDelegate, ruzave::GADInAppPurchaseDelegate {
    std::optional<std::shared_ptr<ruzave::GADInAppPurchaseDelegate>> inAppPurchaseDelegate() const override {
        return std::shared_ptr<ruzave::GADInAppPurchaseDelegate>(self.lock());
    }
    void didReceiveInAppPurchase(const std::shared_ptr<ruzave::GADInAppPurchase>& purchase) override {
        purchases.push_back(purchase);
    }
    std::weak_ptr<PurchaseOwner> self;
    std::vector<std::shared_ptr<ruzave::GADInAppPurchase>> purchases;
};

} // namespace

TEST_CASE_FIXTURE(OpenMessages, "GADOpenerGMSGHandler: an in-app purchase open hands a checked purchase to the slot") {
    auto owner = std::make_shared<PurchaseOwner>();
    owner->self = owner;
    s.slot->setSlotDelegate(owner);
    auto open = [&](platform::Value p) {
        p["a"] = "in_app_purchase";
        CHECK(send("open", p));
        settle();
    };
    open(params({{"quantity", "1"}}));                          // no product
    open(params({{"product_id", "gem"}, {"quantity", "11"}}));  // refused quantity
    open(params({{"product_id", "gem"}}));                      // missing quantity
    CHECK(owner->purchases.empty());
    CHECK(clicks() == 0);

    open(params({{"product_id", "gem"}, {"quantity", "3"}, {"report_urls", " https://r.example/a?s=@status@\n\nhttps://r.example/b "}}));
    REQUIRE(owner->purchases.size() == 1);
    auto purchase = owner->purchases[0];
    CHECK(purchase->productID() == "gem");
    CHECK(purchase->quantity() == 3);
    CHECK(purchase->reportingURLStringFormats() == std::vector<std::string>{"https://r.example/a?s=@status@", "https://r.example/b"});
    CHECK(purchase->adViewController() == nullptr); // a banner's controller is not a full-screen ad
    // Its reports are the page's loads; the purchase holds the page weakly.
    CHECK(purchase->page().page() == adView->webView()->currentPage());
    CHECK(clicks() == 1);

    // The auto-click gate applies as to every open.
    opener->setAutoClickProtected(true);
    open(params({{"product_id", "gem"}, {"quantity", "1"}}));
    CHECK(owner->purchases.size() == 1);
    adView->setTouched(true);
    open(params({{"product_id", "gem"}, {"quantity", "1"}}));
    CHECK(owner->purchases.size() == 2);
}

TEST_CASE_FIXTURE(OpenMessages,
                  "GADOpenerGMSGHandler: a purchase whose product id passes 1,024 bytes is refused at "
                  "its message with a log line") {
    auto owner = std::make_shared<PurchaseOwner>();
    owner->self = owner;
    s.slot->setSlotDelegate(owner);
    platform::LogCapture log;
    const std::string heardBefore = seen();
    auto open = [&](const std::string& product) {
        auto p =
            params({{"a", "in_app_purchase"}, {"quantity", "1"}, {"report_urls", "https://r.example/@sku@"}});
        p["product_id"] = product;
        CHECK(send("open", p));
        settle();
    };
    const std::size_t bound = ruzave::GADInAppPurchase::kMaximumProductIDLength;
    open(std::string(bound + 1, 's'));
    open(std::string(20 * 1024, 's'));
    CHECK(owner->purchases.empty());
    CHECK(clicks() == 0);
    // As with a missing product or a refused quantity, the creative hears nothing.
    CHECK(seen() == heardBefore);
    ruzave::GADLoggingQueue()->sync([] {});
    CHECK(log.contains("In-app purchase: refused, its product ID is 1025 bytes (at most 1024)."));
    CHECK(log.contains("In-app purchase: refused, its product ID is 20480 bytes (at most 1024)."));

    open(std::string(bound, 's'));
    REQUIRE(owner->purchases.size() == 1);
    CHECK(owner->purchases[0]->productID().size() == bound);
    CHECK(clicks() == 1);
}

TEST_CASE("GADOpenerGMSGHandler: a purchase keeps a bounded number of report URLs of bounded length") {
    std::string text;
    for (int i = 0; i < 20000; ++i) text += "https://r.example/" + std::to_string(i) + " ";
    auto kept = GADOpenerGMSGHandler::reportingURLFormats(text);
    REQUIRE(kept.size() == GADOpenerGMSGHandler::kMaximumReportURLs);
    CHECK(kept.front() == "https://r.example/0");
    CHECK(kept.back() == "https://r.example/" + std::to_string(GADOpenerGMSGHandler::kMaximumReportURLs - 1));
    // A piece over the length bound goes; the ones around it stay, whatever the blanks between them.
    const std::string huge = "https://r.example/" + std::string(GADOpenerGMSGHandler::kMaximumReportURLLength, 'x');
    const std::string longest = "https://r.example/" +
                                std::string(GADOpenerGMSGHandler::kMaximumReportURLLength - 18, 'y');
    CHECK(GADOpenerGMSGHandler::reportingURLFormats("\ta " + huge + "\r\n" + longest + " \v") ==
          std::vector<std::string>{"a", longest});
    CHECK(GADOpenerGMSGHandler::reportingURLFormats(" \n\t ").empty());
}

TEST_CASE_FIXTURE(OpenMessages, "GADOpenerGMSGHandler: a flood of purchase messages stays within the page's loads") {
    struct Reporter : ruzave::GADSlotDelegate, ruzave::GADInAppPurchaseDelegate {
        std::optional<std::shared_ptr<ruzave::GADInAppPurchaseDelegate>> inAppPurchaseDelegate() const override {
            return self.lock();
        }
        // Reports at once and keeps nothing, as the default flow does for an unknown product.
        void didReceiveInAppPurchase(const std::shared_ptr<ruzave::GADInAppPurchase>& purchase) override {
            formats = std::max(formats, purchase->reportingURLStringFormats().size());
            ++count;
            purchase->reportPurchaseStatus(ruzave::GADInAppPurchase::InvalidProduct);
        }
        std::weak_ptr<Reporter> self;
        std::size_t formats = 0;
        int count = 0;
    };
    auto owner = std::make_shared<Reporter>();
    owner->self = owner;
    s.slot->setSlotDelegate(owner);
    auto page = adView->webView()->currentPage();
    REQUIRE(page);
    // Hosts that are never reached: each load stays under way, so the page's bound is what holds them.
    std::string reports;
    for (int i = 0; i < 2000; ++i) reports += "https://127.0.0.1:9/r?n=" + std::to_string(i) + " ";
    const auto before = ruzave::GADClickTrackerCollection::sharedInstance()->trackedCount();
    for (int m = 0; m < 10; ++m) {
        auto p = params({{"product_id", ""}, {"quantity", "1"}});
        p["a"] = "in_app_purchase";
        p["report_urls"] = reports;
        CHECK(send("open", p));
        CHECK(page->loadsForPageCount() <= platform::WebPage::MaximumLoadsForPage);
    }
    settle();
    CHECK(owner->count == 10);
    CHECK(owner->formats == GADOpenerGMSGHandler::kMaximumReportURLs);
    // Each message's reports were tried as the page's loads: no more than the bound per message.
    CHECK(ruzave::GADClickTrackerCollection::sharedInstance()->trackedCount() - before <=
          10 * GADOpenerGMSGHandler::kMaximumReportURLs);
    CHECK(page->loadsForPageCount() <= platform::WebPage::MaximumLoadsForPage);
}
