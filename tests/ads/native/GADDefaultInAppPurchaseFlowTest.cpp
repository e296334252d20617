#include "ads/native/GADDefaultInAppPurchaseFlow.h"

#include <doctest/doctest.h>

#include <algorithm>

#include "ads/core/util/GADLog.h"
#include "ads/native/GADInAppPurchaseProductCache.h"
#include "platform/base/Log.h"
#include "platform/ui/AlertView.h"
#include "platform/web/WebView.h"
#include "tests/ads/native/InAppPurchaseTestSupport.h"

using platform::PaymentQueue;
using platform::PaymentTransaction;
using ruzave::GADDefaultInAppPurchaseFlow;
using ruzave::GADInAppPurchase;

namespace {

// The flow switched on for a publisher, with report pings going to the local server.
struct Flow : iaptest::Server {
    Flow() { ruzave::GADDefaultInAppPurchase::enableDefaultPurchaseFlowWithDelegate(publisher); }
    std::shared_ptr<GADInAppPurchase> offer(const std::string& productID, long quantity = 1) {
        auto p = GADInAppPurchase::initWithViewController(nullptr);
        p->setProductID(productID);
        p->setQuantity(quantity);
        p->setReportingURLStringFormats({reportURL("/iap/report?s=@status@&p=@sku@&q=@quantity@")});
        p->setPage(page->currentDocument());  // the creative's page that named the report URL
        flow->didReceiveInAppPurchase(p);
        iaptest::drain(*this);
        return p;
    }
    // The store answers every pending payment.
    void storeAnswers() {
        PaymentQueue::defaultQueue()->completePendingForTesting();
        iaptest::drain(*this);
    }
    std::size_t alerts() { return platform::AlertView::visibleAlerts().size(); }
    std::vector<std::string> reports() {
        std::vector<std::string> out;
        for (const auto& r : server->requests("/iap/report")) out.push_back(r.query);
        return out;
    }

    std::shared_ptr<GADDefaultInAppPurchaseFlow> flow = GADDefaultInAppPurchaseFlow::sharedInstance();
    std::shared_ptr<platform::WebView> page = [this] {
        auto view = platform::WebView::create();
        view->loadHTMLString("<p>ad</p>", platform::URL::parse("https://ads.example/creative"));
        runUntil([&] { return view->currentPage() != nullptr; }, 5);
        return view;
    }();
    std::shared_ptr<iaptest::Publisher> publisher = std::make_shared<iaptest::Publisher>();
    std::shared_ptr<PaymentQueue> queue = PaymentQueue::defaultQueue();
};

} // namespace

TEST_CASE_FIXTURE(platform::testing::Harness, "GADDefaultInAppPurchaseFlow: switching on needs a delegate that takes payments") {
    auto flow = GADDefaultInAppPurchaseFlow::sharedInstance();
    auto refusing = std::make_shared<iaptest::Publisher>();
    refusing->takesPayments = false;
    flow->enableDefaultPurchaseFlowWithDelegate(nullptr);
    flow->enableDefaultPurchaseFlowWithDelegate(refusing);
    CHECK_FALSE(flow->isDefaultPurchaseFlowEnabled());

    auto first = std::make_shared<iaptest::Publisher>();
    auto second = std::make_shared<iaptest::Publisher>();
    flow->enableDefaultPurchaseFlowWithDelegate(first);
    flow->enableDefaultPurchaseFlowWithDelegate(first);
    flow->enableDefaultPurchaseFlowWithDelegate(second);
    CHECK(flow->isDefaultPurchaseFlowEnabled());
    // Observing once: one purchased transaction reaches the publisher once.
    iaptest::stock("gem", "0.99");
    REQUIRE(PaymentQueue::defaultQueue()->addPayment({"gem", 1}));
    PaymentQueue::defaultQueue()->completePendingForTesting();
    runUntilIdle();
    CHECK(first->paid.empty());
    CHECK(second->paid.size() == 1);

    flow->disableDefaultPurchaseFlow();
    flow->disableDefaultPurchaseFlow();
    CHECK_FALSE(flow->isDefaultPurchaseFlowEnabled());
    REQUIRE(PaymentQueue::defaultQueue()->addPayment({"gem", 1}));
    PaymentQueue::defaultQueue()->completePendingForTesting();
    runUntilIdle();
    CHECK(second->paid.size() == 1);
}

TEST_CASE_FIXTURE(Flow, "GADDefaultInAppPurchaseFlow: a paid purchase waits for the publisher to finish it") {
    iaptest::stock("gem", "0.99");
    auto p = offer("gem", 3);
    CHECK(publisher->asked.empty()); // a publisher that does not answer is never asked
    REQUIRE(queue->transactions().size() == 1);
    CHECK(queue->transactions()[0]->payment() == platform::Payment{"gem", 3});
    CHECK(flow->activeInAppPurchaseCount() == 1);
    storeAnswers();
    REQUIRE(publisher->paid.size() == 1);
    auto paid = publisher->paid[0];
    CHECK(paid->productID() == "gem");
    CHECK(paid->quantity() == 3);
    CHECK(paid->inAppPurchase() == p);
    CHECK(flow->activeInAppPurchaseCount() == 0);
    // Unfinished and unreported until the publisher has delivered.
    CHECK(queue->transactions().size() == 1);
    runUntilIdle();
    CHECK(server->requestCount("/iap/report") == 0);

    paid->finishTransaction();
    CHECK(queue->transactions().empty());
    CHECK(paid->paymentTransaction() == nullptr);
    CHECK(paid->inAppPurchase() == nullptr);
    REQUIRE(waitFor("/iap/report"));
    CHECK(reports() == std::vector<std::string>{"s=1&p=gem&q=3"});
    paid->finishTransaction(); // a second finish has nothing left to finish or report
    runUntilIdle();
    CHECK(server->requestCount("/iap/report") == 1);
}

TEST_CASE_FIXTURE(Flow, "GADDefaultInAppPurchaseFlow: cancelled and failed payments are reported and finished at once") {
    iaptest::stock("gem", "0.99");
    iaptest::stock("coin", "1");
    queue->scriptOutcome("gem", PaymentTransaction::Failed, PaymentQueue::PaymentCancelled);
    queue->scriptOutcome("coin", PaymentTransaction::Failed, PaymentQueue::PaymentNotAllowed);
    offer("gem");
    offer("coin", 2);
    storeAnswers();
    CHECK(queue->transactions().empty());
    CHECK(publisher->paid.empty());
    CHECK(alerts() == 0);
    REQUIRE(waitFor("/iap/report", 2));
    auto got = reports();
    std::sort(got.begin(), got.end());
    CHECK(got == std::vector<std::string>{"s=0&p=coin&q=2", "s=2&p=gem&q=1"});
}

TEST_CASE_FIXTURE(Flow, "GADDefaultInAppPurchaseFlow: a vetoed purchase reports an error and tells the user") {
    iaptest::stock("gem", "0.99");
    publisher->answer = false;
    offer("gem", 2);
    CHECK(publisher->asked == std::vector<std::string>{"gem x2"});
    CHECK(queue->transactions().empty());
    REQUIRE(alerts() == 1);
    auto alert = platform::AlertView::visibleAlerts()[0];
    CHECK(alert->title() == "Whoops!");
    CHECK(alert->message() == "Sorry, the product is currently unavailable.");
    CHECK(alert->buttonTitleAtIndex(0) == "OK");
    REQUIRE(waitFor("/iap/report"));
    CHECK(reports() == std::vector<std::string>{"s=0&p=gem&q=2"});

    publisher->answer = true;
    offer("gem");
    CHECK(queue->transactions().size() == 1);
}

TEST_CASE_FIXTURE(Flow, "GADDefaultInAppPurchaseFlow: missing unknown and overlong products are invalid") {
    // No product: invalid, silently.
    offer("");
    CHECK(alerts() == 0);
    REQUIRE(waitFor("/iap/report"));

    platform::LogCapture log;
    offer("nosuch");
    ruzave::GADLoggingQueue()->sync([] {});
    CHECK(log.contains("\"nosuch\" is not a valid product ID or could not be validated. Verify your ad configuration."));
    CHECK(alerts() == 1);
    offer(std::string(5000, 'x'));
    CHECK(alerts() == 2);
    platform::ProductsRequest::scriptFailure(platform::Error("StoreDomain", 7, "The store is closed."));
    iaptest::stock("gem", "0.99");
    offer("gem");
    ruzave::GADLoggingQueue()->sync([] {});
    CHECK(log.contains("The store is closed."));
    CHECK(alerts() == 3);
    CHECK(queue->transactions().empty());
    REQUIRE(waitFor("/iap/report", 4));
    for (const auto& query : reports()) CHECK(query.rfind("s=3&", 0) == 0);
}

TEST_CASE_FIXTURE(Flow, "GADDefaultInAppPurchaseFlow: a confirmed product is bought again without asking the store") {
    iaptest::stock("gem", "0.99");
    offer("gem");
    CHECK(ruzave::GADInAppPurchaseProductCache::sharedInstance()->cachedProductForProductID("gem").has_value());
    platform::ProductsRequest::clearCatalogForTesting(); // the store would now say it does not know it
    offer("gem");
    CHECK(queue->transactions().size() == 2);
    CHECK(alerts() == 0);
}

TEST_CASE_FIXTURE(Flow, "GADDefaultInAppPurchaseFlow: equal purchases are matched to their transactions one each") {
    iaptest::stock("gem", "0.99");
    auto a = offer("gem", 2);
    auto b = offer("gem", 2);
    auto c = offer("gem", 1);
    storeAnswers();
    REQUIRE(publisher->paid.size() == 3);
    std::vector<std::shared_ptr<GADInAppPurchase>> matched;
    for (const auto& paid : publisher->paid) matched.push_back(paid->inAppPurchase());
    CHECK(matched == std::vector<std::shared_ptr<GADInAppPurchase>>{a, b, c});
}

TEST_CASE_FIXTURE(Flow, "GADDefaultInAppPurchaseFlow: a purchase no ad started still reaches the publisher and pings nothing") {
    REQUIRE(queue->addPayment({"walk-in", 4}));
    storeAnswers();
    REQUIRE(publisher->paid.size() == 1);
    auto paid = publisher->paid[0];
    REQUIRE(paid->inAppPurchase() != nullptr);
    CHECK(paid->inAppPurchase()->productID() == "walk-in");
    CHECK(paid->inAppPurchase()->quantity() == 4);
    CHECK(paid->inAppPurchase()->reportingURLStringFormats().empty());
    paid->finishTransaction();
    CHECK(queue->transactions().empty());
    runUntilIdle();
    CHECK(server->requests().empty());
}

TEST_CASE_FIXTURE(Flow, "GADDefaultInAppPurchaseFlow: an invalid quantity is refused by the store and reported as an error") {
    iaptest::stock("gem", "0.99");
    offer("gem", 11); // stored as 0, which the payment queue refuses
    CHECK(queue->transactions().empty());
    CHECK(flow->activeInAppPurchaseCount() == 0);
    REQUIRE(waitFor("/iap/report"));
    CHECK(reports() == std::vector<std::string>{"s=0&p=gem&q=0"});
}

TEST_CASE_FIXTURE(Flow, "GADDefaultInAppPurchaseFlow: waiting purchases are bounded and stay after switching off") {
    iaptest::stock("gem", "0.99");
    for (std::size_t i = 0; i < GADDefaultInAppPurchaseFlow::kMaximumActivePurchases + 5; ++i) offer("gem");
    CHECK(flow->activeInAppPurchaseCount() == GADDefaultInAppPurchaseFlow::kMaximumActivePurchases);
    flow->disableDefaultPurchaseFlow();
    CHECK(flow->activeInAppPurchaseCount() == GADDefaultInAppPurchaseFlow::kMaximumActivePurchases);
    storeAnswers();
    CHECK(publisher->paid.empty());
}

TEST_CASE_FIXTURE(Flow, "GADDefaultInAppPurchaseFlow: a transaction delivered again is reported to the ad once") {
    iaptest::stock("gem", "0.99");
    offer("gem");
    storeAnswers();
    REQUIRE(publisher->paid.size() == 1);
    // The store delivers the unfinished transaction again, as at a later launch.
    CHECK(queue->redeliverUnfinishedForTesting() == 1);
    runUntilIdle();
    REQUIRE(publisher->paid.size() == 2);
    CHECK(publisher->paid[1]->paymentTransaction() == publisher->paid[0]->paymentTransaction());
    CHECK(publisher->paid[1]->inAppPurchase()->reportingURLStringFormats().empty());
    publisher->paid[0]->finishTransaction();
    publisher->paid[1]->finishTransaction(); // already finished: the queue refuses it quietly
    CHECK(queue->transactions().empty());
    REQUIRE(waitFor("/iap/report"));
    runUntilIdle();
    CHECK(reports() == std::vector<std::string>{"s=1&p=gem&q=1"});
}
