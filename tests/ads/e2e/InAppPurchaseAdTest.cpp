// In-app purchase ads end to end: a served banner asks to open a store purchase; the purchase reaches
// the publisher's own delegate or the SDK's default flow, its report URLs reach the local server, and
// the paid transaction also goes out as a conversion ping with its price.
#include <doctest/doctest.h>

#include <memory>
#include <string>

#include "ads/core/public/GADAdSize.h"
#include "ads/core/public/GADBannerView.h"
#include "ads/core/public/GADRequest.h"
#include "ads/core/sdkcore/GADHosts.h"
#include "ads/core/slot/GADSlot.h"
#include "ads/native/GADInAppPurchaseTransactionReporter.h"
#include "ads/render/GADAdView.h"
#include "platform/runloop/Clock.h"
#include "platform/testing/Harness.h"
#include "platform/ui/Application.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "tests/ads/core/sdkcore/SDKCoreTestSupport.h"
#include "tests/ads/native/InAppPurchaseTestSupport.h"
#include "tools/adserver/AdServer.h"
#include "tools/adserver/ConversionEndpoints.h"

using platform::testing::Harness;
using ruzave::GADHosts;

namespace {

constexpr const char* kAdPath = "/mads/gma";
const std::string kCreative =
    "<html><body style='margin:0'><div style='width:320px;height:50px;background:#0a0'>Buy gems</div></body></html>";

struct PurchaseAd : Harness {
    PurchaseAd() {
        platform::Clock::setWallTime(1500000000);
        server = sdkcoretest::startCoreServer();
        adserver::installConversionEndpoints(*server);
        server->routeHost(GADHosts::kAdServerHost, kAdPath,
                          [](const adserver::Request&) { return adserver::Response::html(kCreative); });
        platform::Application::sharedApplication()->setApplicationState(platform::ApplicationState::Active);
        window = platform::Window::create();
        root = platform::ViewController::create();
        window->setRootViewController(root);
        window->makeKeyAndVisible();
        banner = ruzave::GADBannerView::initWithAdSize(ruzave::kGADAdSizeBanner, platform::Point{0, 100});
        root->view()->addSubview(banner);
        banner->setRootViewController(root);
        banner->setAdUnitID("iap-unit");
        iaptest::stock("gem", "4.99");
    }
    bool pump(const std::function<bool()>& pred) { return sdkcoretest::pump(*this, pred, 20); }
    void load() {
        banner->loadRequest(ruzave::GADRequest::request());
        REQUIRE(pump([&] { return banner->slot()->adView()->evaluate("document.body ? 'y' : 'n'") == "y" &&
                                  server->requestCount(kAdPath) > 0; }));
        settle();
    }
    // The creative's tap on its offer.
    void tapOffer(const std::string& reportURLs) {
        std::string reports = "https://" + std::string(GADHosts::kReportHost) + reportURLs;
        banner->slot()->adView()->evaluate(
            "location.href='gmsg://mobileads.ruzave.example/open?a=in_app_purchase&product_id=gem&quantity=2"
            "&report_urls='+encodeURIComponent(" + quoted(reports) + ")");
        settle();
    }
    void settle() { sdkcoretest::settle(*this); }
    static std::string quoted(const std::string& text) { return "'" + text + "'"; }

    std::unique_ptr<adserver::AdServer> server;
    std::shared_ptr<platform::Window> window;
    std::shared_ptr<platform::ViewController> root;
    std::shared_ptr<ruzave::GADBannerView> banner;
};

} // namespace

TEST_CASE_FIXTURE(PurchaseAd, "GADInAppPurchase: an ad's purchase reaches the publisher and its reports the server") {
    auto recorder = std::make_shared<iaptest::PurchaseRecorder>();
    banner->setInAppPurchaseDelegate(recorder);
    load();
    tapOffer("/iap/report?status=@status@&sku=@sku@&q=@quantity@\\n https://" + std::string(GADHosts::kReportHost) +
             "/iap/second?s=@status@");
    REQUIRE(pump([&] { return !recorder->purchases.empty(); }));
    auto purchase = recorder->purchases[0];
    CHECK(purchase->productID() == "gem");
    CHECK(purchase->quantity() == 2);
    REQUIRE(purchase->reportingURLStringFormats().size() == 2);
    purchase->reportPurchaseStatus(2);
    REQUIRE(pump([&] { return server->requestCount("/iap/report") == 1 && server->requestCount("/iap/second") == 1; }));
    CHECK(server->requests("/iap/report")[0].query == "status=2&sku=gem&q=2");
    CHECK(server->requests("/iap/second")[0].query == "s=2");
}

TEST_CASE_FIXTURE(PurchaseAd, "GADDefaultInAppPurchase: the default flow buys reports and sends the conversion ping") {
    auto publisher = std::make_shared<iaptest::Publisher>();
    auto recorder = std::make_shared<iaptest::PurchaseRecorder>();
    banner->setInAppPurchaseDelegate(recorder); // the default flow takes precedence
    ruzave::GADDefaultInAppPurchase::enableDefaultPurchaseFlowWithDelegate(publisher);
    load();
    REQUIRE(ruzave::GADInAppPurchaseTransactionReporter::sharedInstance()->isReportingEnabled());
    tapOffer("/iap/report?status=@status@&sku=@sku@");
    auto queue = platform::PaymentQueue::defaultQueue();
    REQUIRE(pump([&] { return queue->transactions().size() == 1; }));
    queue->completePendingForTesting();
    REQUIRE(pump([&] { return publisher->paid.size() == 1; }));
    CHECK(recorder->purchases.empty());
    publisher->paid[0]->finishTransaction();
    REQUIRE(pump([&] { return server->requestCount("/iap/report") == 1; }));
    CHECK(server->requests("/iap/report")[0].query == "status=1&sku=gem");

    REQUIRE(pump([&] { return adserver::ConversionEndpoints::pings(*server).size() == 1; }));
    auto ping = adserver::ConversionEndpoints::pings(*server)[0];
    CHECK(ping.query.find("price=4.99&") != std::string::npos);
    CHECK(ping.param("currency_code") == "USD");
    CHECK(ping.param("sku") == "gem");
    CHECK(ping.param("quantity") == "2");
    // The transaction's date in seconds with six decimals (the clock moved while the ad loaded).
    auto timestamp = ping.param("timestamp");
    CHECK(timestamp.rfind("150000", 0) == 0);
    CHECK(timestamp.size() == std::string("1500000000.000000").size());
    CHECK(timestamp[10] == '.');
    CHECK(queue->transactions().empty());
}
