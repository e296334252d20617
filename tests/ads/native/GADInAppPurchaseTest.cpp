#include "ads/native/GADInAppPurchase.h"

#include <doctest/doctest.h>

#include <algorithm>
#include <chrono>
#include <functional>

#include "ads/core/net/GADClickTrackerCollection.h"
#include "ads/core/signals/GADApplication.h"
#include "ads/core/signals/GADSession.h"
#include "ads/core/slot/GADSlot.h"
#include "ads/core/slot/GADSlotDelegate.h"
#include "ads/core/util/GADLog.h"
#include "ads/native/GADDefaultInAppPurchaseFlow.h"
#include "platform/base/Log.h"
#include "platform/net/TransferOrigin.h"
#include "platform/web/WebPage.h"
#include "platform/web/WebView.h"
#include "platform/net/NetworkEngine.h"
#include "platform/net/PingScheduler.h"
#include "tests/ads/native/InAppPurchaseTestSupport.h"

#if defined(RUZAVE_SANITIZED)
// The sanitizers' allocator calls these on every block taken and given back (their runtime exports them;
// the compiler need not ship the header).
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*)(const volatile void*, std::size_t),
                                                         void (*)(const volatile void*));
extern "C" std::size_t __sanitizer_get_allocated_size(const volatile void*);
#endif

using ruzave::GADInAppPurchase;

namespace {

#if defined(RUZAVE_SANITIZED)
// The bytes the tallying thread holds beyond what it held when the tally opened, and the most they were.
thread_local bool tallying = false;
thread_local long long tallyLive = 0;
thread_local long long tallyPeak = 0;

void tallyTaken(const volatile void*, std::size_t size) {
    if (!tallying) return;
    tallyLive += static_cast<long long>(size);
    tallyPeak = std::max(tallyPeak, tallyLive);
}

void tallyGiven(const volatile void* block) {
    if (tallying) tallyLive -= static_cast<long long>(__sanitizer_get_allocated_size(block));
}
#endif

// The most `work` held allocated at once on this thread; nullopt in a build that cannot tell.
std::optional<long long> peakAllocated(const std::function<void()>& work) {
#if defined(RUZAVE_SANITIZED)
    static const bool installed = __sanitizer_install_malloc_and_free_hooks(tallyTaken, tallyGiven) != 0;
    REQUIRE(installed);
    tallyLive = tallyPeak = 0;
    tallying = true;
    work();
    tallying = false;
    return tallyPeak;
#else
    work();
    return std::nullopt;
#endif
}

// `format` with `unit` repeated after it up to `length` bytes.
std::string padded(std::string format, const std::string& unit, std::size_t length) {
    while (format.size() < length)
        format += unit;
    format.resize(length);
    return format;
}

std::shared_ptr<GADInAppPurchase> purchase(const std::string& productID, long status = 0) {
    auto p = GADInAppPurchase::initWithViewController(nullptr);
    p->setProductID(productID);
    if (status != 0) p->reportPurchaseStatus(status);
    return p;
}

// A web view holding a creative's page, the one that names the report URLs.
std::shared_ptr<platform::WebView> pageView(platform::testing::Harness& harness) {
    auto view = platform::WebView::create();
    view->loadHTMLString("<p>ad</p>", platform::URL::parse("https://ads.example/creative"));
    harness.runUntil([&] { return view->currentPage() != nullptr; }, 5);
    return view;
}

// The public ad object as the slot sees it: it may offer an in-app-purchase delegate.
struct Owner : ruzave::GADSlotDelegate {
    std::optional<std::shared_ptr<ruzave::GADInAppPurchaseDelegate>> inAppPurchaseDelegate() const override {
        if (!offers) return std::nullopt;
        return delegate;
    }
    bool offers = true;
    std::shared_ptr<ruzave::GADInAppPurchaseDelegate> delegate;
};

} // namespace

TEST_CASE_FIXTURE(platform::testing::Harness, "GADInAppPurchase: keywords are filled and unknown ones removed") {
    auto p = purchase("p1", 2);
    CHECK(p->expandedURLStringForURLStringFormat("https://r.example/x?s=@status@&p=@sku@&x=@unknown@") ==
          "https://r.example/x?s=2&p=p1&x=");
    p->setQuantity(4);
    CHECK(p->expandedURLStringForURLStringFormat("q=@quantity@&t=@timestamp@") == "q=4&t=0");
    auto session = ruzave::GADApplication::sharedInstance()->currentSession();
    REQUIRE(session);
    CHECK(p->expandedURLStringForURLStringFormat("sid=@sessionid@") == "sid=" + session->uniqueID());
    CHECK(p->expandedURLStringForURLStringFormat("v=@sdkversion@") == "v=zudo-sdk-i-v7.5.2");
    // Without a product the keyword goes; an empty name is no keyword.
    CHECK(purchase("")->expandedURLStringForURLStringFormat("a=@sku@&b=@@") == "a=&b=@");
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADInAppPurchase: doubled at signs are literal and values never form keywords") {
    auto p = purchase("p1");
    CHECK(p->expandedURLStringForURLStringFormat("@@sku@@") == "@sku@");
    CHECK(p->expandedURLStringForURLStringFormat("@@@sku@") == "@p1");
    // Pairs between the name and the closing "@" stay after the value.
    CHECK(p->expandedURLStringForURLStringFormat("@sku@@@") == "p1@");
    CHECK(p->expandedURLStringForURLStringFormat("@@@sku@@@") == "@p1@");
    CHECK(p->expandedURLStringForURLStringFormat("x=@unknown@@@&q=@quantity@") == "x=@&q=1");
    CHECK(p->expandedURLStringForURLStringFormat("a@b") == "a@b");
    // The "@@" in the middle is a literal pair, so neither "@" around it closes or opens a keyword.
    CHECK(p->expandedURLStringForURLStringFormat("@sku@@sku@") == "@sku@sku@");
    CHECK(p->expandedURLStringForURLStringFormat("@sku@-@sku@") == "p1-p1");
    // A product that looks like a keyword stays as it is.
    auto tricky = purchase("@status@x@@y");
    CHECK(tricky->expandedURLStringForURLStringFormat("p=@sku@&s=@status@") == "p=@status@x@@y&s=0");
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADInAppPurchase: values are escaped where a query value cannot hold them") {
    CHECK(purchase("a b&c#d")->expandedURLStringForURLStringFormat("p=@sku@") == "p=a%20b%26c%23d");
    CHECK(purchase("caf\xC3\xA9\n")->expandedURLStringForURLStringFormat("p=@sku@") == "p=caf%C3%A9%0A");
    CHECK(purchase("100%+1")->expandedURLStringForURLStringFormat("p=@sku@") == "p=100%25%2B1");
    CHECK(purchase("me@shop.example:1/2")->expandedURLStringForURLStringFormat("p=@sku@") == "p=me@shop.example:1/2");
}

TEST_CASE("GADInAppPurchase: quantities statuses and description") {
    auto p = purchase("gold");
    CHECK(p->quantity() == 1);
    p->setQuantity(10);
    CHECK(p->quantity() == 10);
    p->setQuantity(11);
    CHECK(p->quantity() == 0);
    p->setQuantity(-3);
    CHECK(p->quantity() == 0);
    CHECK(GADInAppPurchase::stringForStatus(3) == "invalid product");
    CHECK(GADInAppPurchase::stringForStatus(7) == "error");
    CHECK(GADInAppPurchase::stringForStatus(-1) == "error");
    p->setQuantity(2);
    auto text = p->description();
    CHECK(text.rfind("<GADInAppPurchase: 0x", 0) == 0);
    CHECK(text.find(">(\n  productID: gold,\n  quantity: 2)") != std::string::npos);
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADInAppPurchase: only success closes the full-screen ad") {
    auto controller = std::make_shared<iaptest::ClosingController>();
    auto p = GADInAppPurchase::initWithViewController(controller);
    for (long status : {0, 2, 3, 9}) p->reportPurchaseStatus(status);
    runUntilIdle();
    CHECK(controller->closeRequests == 0);
    p->reportPurchaseStatus(1);
    runUntilIdle();
    CHECK(controller->closeRequests == 1);
    CHECK(p->purchaseStatus() == 1);
    // The purchase does not keep a closed ad's controller alive.
    std::weak_ptr<iaptest::ClosingController> weak = controller;
    controller.reset();
    CHECK(weak.expired());
    p->reportPurchaseStatus(1);
    runUntilIdle();
}

TEST_CASE_FIXTURE(iaptest::Server, "GADInAppPurchase: each report pings every template with the latest status") {
    auto view = pageView(*this);
    auto p = purchase("p1");
    p->setPage(view->currentDocument());
    p->setReportingURLStringFormats({reportURL("/iap/a?s=@status@&p=@sku@"), "@nothing@", reportURL("/iap/b?s=@status@")});
    p->reportPurchaseStatus(2);
    REQUIRE(waitFor("/iap/a"));
    REQUIRE(waitFor("/iap/b"));
    p->reportPurchaseStatus(1);
    REQUIRE(waitFor("/iap/a", 2));
    REQUIRE(waitFor("/iap/b", 2));
    auto a = server->requests("/iap/a");
    CHECK(a[0].query == "s=2&p=p1");
    CHECK(a[1].query == "s=1&p=p1");
    CHECK(server->requests("/iap/b")[1].param("s") == "1");
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADInAppPurchase: the slot hands purchases to the owner or the default flow") {
    auto slot = ruzave::GADSlot::init();
    auto p = purchase("p1");
    {
        // No owner: dropped with the public message, nothing delivered.
        platform::LogCapture log;
        slot->didReceiveInAppPurchase(p);
        runUntilIdle();
        ruzave::GADLoggingQueue()->sync([] {});
        CHECK(log.contains("You must set the in-app purchase delegate. Transaction cannot be completed."));
    }
    auto owner = std::make_shared<Owner>();
    auto recorder = std::make_shared<iaptest::PurchaseRecorder>();
    owner->delegate = recorder;
    slot->setSlotDelegate(owner);
    CHECK(slot->inAppPurchaseDelegate() == recorder);
    slot->didReceiveInAppPurchase(p);
    runUntilIdle();
    REQUIRE(recorder->purchases.size() == 1);
    CHECK(recorder->purchases[0] == p);

    owner->offers = false;
    CHECK(slot->inAppPurchaseDelegate() == nullptr);
    owner->offers = true;

    // The default flow wins over the owner's own delegate.
    auto publisher = std::make_shared<iaptest::Publisher>();
    ruzave::GADDefaultInAppPurchase::enableDefaultPurchaseFlowWithDelegate(publisher);
    CHECK(slot->inAppPurchaseDelegate() == ruzave::GADDefaultInAppPurchaseFlow::sharedInstance());
    slot->didReceiveInAppPurchase(purchase(""));
    runUntilIdle();
    CHECK(recorder->purchases.size() == 1);
    ruzave::GADDefaultInAppPurchase::disableDefaultPurchaseFlow();
    CHECK(slot->inAppPurchaseDelegate() == recorder);
}

TEST_CASE_FIXTURE(iaptest::Server, "GADInAppPurchase: report URLs are loads of the page that named them, and none go out "
                                   "without it") {
    adserver::Response hang = adserver::Response::text("late");
    hang.delay = std::chrono::seconds(60); // cut short when the server stops
    server->route("/iap/hang", hang);
    auto view = pageView(*this);
    auto page = view->currentPage();
    REQUIRE(page);
    auto trackers = ruzave::GADClickTrackerCollection::sharedInstance();
    auto p = purchase("p1");
    p->setPage(view->currentDocument());
    // One longer than web content loads: never made.
    const std::string tooLong =
        reportURL("/iap/long?x=") + std::string(platform::TransferOrigin::MaximumURLLength, 'x');
    p->setReportingURLStringFormats({reportURL("/iap/hang?n=1"), tooLong, reportURL("/iap/hang?n=2")});
    const auto before = trackers->trackedCount();
    p->reportPurchaseStatus(3);
    CHECK(trackers->trackedCount() - before == 2);
    // Under way as the page's own pings, and they hang there.
    CHECK(platform::NetworkEngine::shared().pingCounts().admitted == 2);
    REQUIRE(waitFor("/iap/hang", 2));

    // The purchase keeps neither the page nor its view alive; nor does a purchase that no page named
    // report anything.
    std::weak_ptr<platform::WebPage> weakPage = page;
    page.reset();
    auto orphan = purchase("p2");
    orphan->setReportingURLStringFormats({reportURL("/iap/orphan")});
    orphan->reportPurchaseStatus(2);
    std::weak_ptr<platform::WebView> weak = view;
    view.reset();
    CHECK(weak.expired());
    CHECK(weakPage.expired());
    runUntilIdle();
    CHECK(trackers->trackedCount() - before == 2);
    CHECK(server->requestCount("/iap/orphan") == 0);
}

TEST_CASE_FIXTURE(iaptest::Server, "GADInAppPurchase: reports made after the page closed go out as its pings, and "
                                   "one made after the view loaded its next ad is the ad's that named it") {
    server->route("/iap/after", adserver::Response::text(""));
    adserver::Response hang = adserver::Response::text("late");
    hang.delay = std::chrono::seconds(60); // cut short when the server stops
    server->route("/iap/hang", hang);
    auto view = pageView(*this);
    auto first = view->currentPage();
    auto p = purchase("p1");
    p->setPage(view->currentDocument());
    p->setReportingURLStringFormats({reportURL("/iap/after?s=@status@")});

    // The view loads its next ad while the user is in the store: the report is the first ad's ping, and
    // the next ad holds nothing of it.
    view->loadHTMLString("<p>next ad</p>", platform::URL::parse("https://ads.example/next"));
    REQUIRE(runUntil([&] { return view->currentPage() != first; }, 5));
    auto next = view->currentPage();
    const std::size_t charged = next->chargedBytes();
    p->reportPurchaseStatus(GADInAppPurchase::Success);
    CHECK(platform::NetworkEngine::shared().pingCounts().admitted == 1);
    CHECK(next->loadsForPageCount() == 0);
    CHECK(next->chargedBytes() == charged);
    REQUIRE(waitFor("/iap/after"));
    CHECK(server->requests("/iap/after").front().param("s") == std::to_string(GADInAppPurchase::Success));

    // With the view and both pages gone, a later report still goes out while the purchase lives.
    std::weak_ptr<platform::WebView> weak = view;
    first.reset();
    next.reset();
    view.reset();
    CHECK(weak.expired());
    p->reportPurchaseStatus(GADInAppPurchase::Cancel);
    REQUIRE(waitFor("/iap/after", 2));
    CHECK(server->requests("/iap/after").back().param("s") == std::to_string(GADInAppPurchase::Cancel));

    // A closed document's reports to a host that never answers are each admitted; six to the host go at
    // once, the others wait their turn within their life (30 s from when they were made), and none is sent
    // once its life is up: each ends once, timed out, and gives its quota back.
    runUntil([] { return platform::NetworkEngine::shared().pingCounts().admitted == 0; }, 10);
    auto full = pageView(*this);
    auto q = purchase("p2");
    q->setPage(full->currentDocument());
    constexpr std::size_t reports = 20;
    std::vector<std::string> hanging;
    for (std::size_t i = 0; i < reports; ++i) hanging.push_back(reportURL("/iap/hang?n=" + std::to_string(i)));
    q->setReportingURLStringFormats(hanging);
    full.reset();
    q->reportPurchaseStatus(GADInAppPurchase::Cancel);
    runUntilIdle();
    CHECK(platform::NetworkEngine::shared().pingCounts().admitted == reports);
    constexpr std::size_t perHost = platform::NetworkEngine::MaximumTransfersPerHost;
    REQUIRE(waitFor("/iap/hang", perHost));
    advance(platform::PingScheduler::LifeSeconds - 2);
    runUntil([] { return false; }, 0.5);
    CHECK(server->requestCount("/iap/hang") == perHost);
    CHECK(platform::NetworkEngine::shared().pingCounts().admitted == reports);
    advance(3);
    CHECK(runUntil([] { return platform::NetworkEngine::shared().pingCounts().admitted == 0; }, 10));
    runUntil([] { return false; }, 0.5);
    CHECK(server->requestCount("/iap/hang") == perHost);
}

TEST_CASE_FIXTURE(iaptest::Server,
                  "GADInAppPurchase: a product id and templates that expand past the bounds stay "
                  "within 32 x 8 KB") {
    constexpr std::size_t bound = GADInAppPurchase::kMaximumReportURLLength;
    auto view = pageView(*this);
    auto trackers = ruzave::GADClickTrackerCollection::sharedInstance();
    platform::LogCapture log;
    const auto logged = [&](const std::string& line) {
        ruzave::GADLoggingQueue()->sync([] {});
        return log.contains(line);
    };

    // An id past the bound (the app may set one; an ad's is refused at its message) in more templates
    // than one report fills in, each of them all keywords: filling them in whole would take megabytes each.
    auto p = purchase(std::string(4096, 's'));
    p->setPage(view->currentDocument());
    p->setReportingURLStringFormats(
        std::vector<std::string>(40, padded(reportURL("/iap/big?"), "@sku@&", bound)));
    const auto before = trackers->trackedCount();
    const auto peak = peakAllocated([&] { p->reportPurchaseStatus(GADInAppPurchase::InvalidProduct); });
    if (peak) CHECK(*peak < static_cast<long long>(GADInAppPurchase::kMaximumReportURLs * bound));
    CHECK(trackers->trackedCount() == before);
    CHECK(p->expandedURLStringForURLStringFormat("p=@sku@").size() == 4098);
    CHECK(p->expandedURLStringForURLStringFormat("p=@sku@-@sku@").empty());
    CHECK(logged("In-app purchase: 40 report URLs dropped (at most 32, each at most 8192 bytes filled in)."));

    // One that fills in to the bound goes out whole, one a byte longer does not, and only the first 32
    // templates are filled in.
    auto q = purchase("p1");
    q->setPage(view->currentDocument());
    const std::string head = reportURL("/iap/fit?p=@sku@&x=");
    const std::size_t fill = bound - (head.size() - std::string("@sku@").size() + 2);
    std::vector<std::string> formats{head + std::string(fill, 'x'),
                                     reportURL("/iap/over?p=@sku@&x=") + std::string(fill + 1, 'x')};
    for (int i = 0; i < 38; ++i)
        formats.push_back(reportURL("/iap/short?n=" + std::to_string(i) + "&s=@status@"));
    q->setReportingURLStringFormats(formats);
    log.clear();
    q->reportPurchaseStatus(GADInAppPurchase::Cancel);
    CHECK(trackers->trackedCount() - before == 31);
    REQUIRE(waitFor("/iap/fit"));
    REQUIRE(waitFor("/iap/short", 30));
    const auto fit = server->requests("/iap/fit").front();
    CHECK(reportURL(fit.path + "?" + fit.query).size() == bound);
    CHECK(fit.param("p") == "p1");
    auto shorts = server->requests("/iap/short");
    CHECK(std::all_of(shorts.begin(), shorts.end(),
                      [](const auto& r) { return std::stoi(r.param("n")) < 30; }));
    CHECK(server->requestCount("/iap/over") == 0);
    CHECK(logged("In-app purchase: 9 report URLs dropped (at most 32, each at most 8192 bytes filled in)."));
}
