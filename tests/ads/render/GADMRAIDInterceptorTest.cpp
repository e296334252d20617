#include <doctest/doctest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "ads/render/GADAdURLStash.h"
#include "ads/render/GADAdView.h"
#include "ads/render/GADAdViewDelegate.h"
#include "ads/render/GADMRAIDInterceptor.h"
#include "platform/net/URLConnection.h"
#include "platform/net/URLConnectionDelegate.h"
#include "platform/net/URLProtocol.h"
#include "platform/web/WebPage.h"
#include "platform/web/WebView.h"
#include "tests/ads/core/net/FetchTestSupport.h"
#include "platform/testing/Harness.h"

using platform::testing::Harness;
using ruzave::GADAdURLStash;
using ruzave::GADAdView;
using ruzave::GADMRAIDInterceptor;
using ruzave::GADMRAIDScriptKind;

namespace {

platform::URLRequest scriptRequest(const std::string& script, const std::string& referer) {
    auto r = *platform::URLRequest::withURLString(script);
    if (!referer.empty()) r.setValue(referer, "Referer");
    return r;
}

struct InterceptorFixture : Harness {
    std::shared_ptr<GADMRAIDInterceptor> interceptor;
    std::shared_ptr<GADAdView> view = GADAdView::init();
    int participant = 0;
    InterceptorFixture() {
        GADMRAIDInterceptor::resetCanInitWithRequestCounter();
        GADMRAIDInterceptor::resetToDefaultPaths();
        GADMRAIDInterceptor::allow();
        GADAdURLStash::removeAllForTesting();
        view->loadHTMLString("<p>ad</p>", *platform::URL::parse("https://ads.example/creative"));
        GADMRAIDInterceptor::enableCanInitWithRequest(&participant);
        auto cls = platform::URLProtocol::classForRequest(scriptRequest("https://cdn.example/mraid.js", "https://ads.example/creative"));
        interceptor = std::dynamic_pointer_cast<GADMRAIDInterceptor>(cls);
    }
    bool claims(const std::string& script, const std::string& referer = "https://ads.example/creative") {
        return interceptor && interceptor->canInitWithRequest(scriptRequest(script, referer));
    }
};

} // namespace

TEST_CASE_FIXTURE(InterceptorFixture, "GADMRAIDInterceptor: claims mraid.js only for live ad pages, while allowed and enabled") {
    REQUIRE(interceptor);
    CHECK(claims("https://cdn.example/any/folder/mraid.js"));
    CHECK_FALSE(claims("https://cdn.example/mraid.js.map"));
    CHECK_FALSE(claims("https://cdn.example/mraid.js", "https://other.example/page"));
    CHECK_FALSE(claims("https://cdn.example/mraid.js", ""));
    CHECK_FALSE(claims(GADMRAIDInterceptor::bannerImplementationPath()));
    GADMRAIDInterceptor::disallow();
    CHECK_FALSE(claims("https://cdn.example/mraid.js"));
    GADMRAIDInterceptor::allow();
    view.reset();
    CHECK_FALSE(claims("https://cdn.example/mraid.js"));
}

TEST_CASE_FIXTURE(InterceptorFixture, "GADMRAIDInterceptor: each participant holds one enable and the count never goes below 0") {
    int other = 0;
    GADMRAIDInterceptor::enableCanInitWithRequest(&participant);
    CHECK(GADMRAIDInterceptor::enableCount() == 1);
    GADMRAIDInterceptor::enableCanInitWithRequest(&other);
    GADMRAIDInterceptor::disableCanInitWithRequest(&participant);
    GADMRAIDInterceptor::disableCanInitWithRequest(&participant);
    CHECK(GADMRAIDInterceptor::enableCount() == 1);
    CHECK(claims("https://cdn.example/mraid.js"));
    GADMRAIDInterceptor::disableCanInitWithRequest(&other);
    GADMRAIDInterceptor::disableCanInitWithRequest(&other);
    CHECK(GADMRAIDInterceptor::enableCount() == 0);
    CHECK_FALSE(claims("https://cdn.example/mraid.js"));
    // A stray disable does not leave a debt that a later enable pays off.
    GADMRAIDInterceptor::enableCanInitWithRequest(&participant);
    CHECK(claims("https://cdn.example/mraid.js"));
}

TEST_CASE_FIXTURE(InterceptorFixture, "GADMRAIDInterceptor: the script follows the page's delegate, decided on the main thread") {
    auto request = scriptRequest("https://cdn.example/mraid.js", "https://ads.example/creative");
    // A plain delegate (or none) gets the expanded-banner script.
    CHECK(GADMRAIDInterceptor::locationForRequest(request) == GADMRAIDInterceptor::expandedBannerImplementationPath());
    GADMRAIDInterceptor::setBannerImplementationPath("https://cdn.example/b.js");
    CHECK(GADMRAIDInterceptor::implementationPathForKind(GADMRAIDScriptKind::Banner) == "https://cdn.example/b.js");
    CHECK(GADMRAIDInterceptor::urlIsAnImplementationPath(*platform::URL::parse("https://cdn.example/b.js")));
    CHECK_FALSE(GADMRAIDInterceptor::locationForRequest(scriptRequest("https://cdn.example/mraid.js", "")));
}

namespace {

struct RecordingClient : platform::URLProtocolClient {
    void didReceiveResponse(const platform::HTTPURLResponse&, platform::URLCacheStoragePolicy) override { ++responses; }
    void didLoadData(const platform::Bytes&) override { ++data; }
    void didFinishLoading() override { ++finished; }
    void didFailWithError(const platform::Error& error) override { errors.push_back(error); }
    int responses = 0, data = 0, finished = 0;
    std::vector<platform::Error> errors;
};

} // namespace

TEST_CASE_FIXTURE(InterceptorFixture, "GADMRAIDInterceptor: a page whose view goes away is not claimed, and a load claimed just before fails cleanly") {
    REQUIRE(interceptor);
    auto request = scriptRequest("https://cdn.example/mraid.js", "https://ads.example/creative");
    REQUIRE(claims("https://cdn.example/mraid.js"));
    // Claimed, then the view goes before the load is made.
    view.reset();
    CHECK_FALSE(claims("https://cdn.example/mraid.js"));
    auto client = std::make_shared<RecordingClient>();
    auto load = interceptor->create(request, client);
    REQUIRE(load);
    load->startLoading();
    REQUIRE(client->errors.size() == 1);
    CHECK(client->errors[0].code == GADMRAIDInterceptor::kNoLocationErrorCode);
    CHECK(client->responses == 0);
    CHECK(client->finished == 0);
    load->stopLoading();
}

TEST_CASE_FIXTURE(Harness, "GADMRAIDInterceptor: its first use sets the default paths, registers it and allows it") {
    // No one calls allow() or resetToDefaultPaths() here: a slot's first enable is the first use.
    int participant = 0;
    GADMRAIDInterceptor::enableCanInitWithRequest(&participant);
    CHECK(GADMRAIDInterceptor::isAllowed());
    CHECK(GADMRAIDInterceptor::bannerImplementationPath().find("/mads/static/mad/sdk/native/mraid/v2/mraid_app_banner.js") !=
          std::string::npos);
    CHECK(GADMRAIDInterceptor::urlIsAnImplementationPath(
        *platform::URL::parse(GADMRAIDInterceptor::interstitialImplementationPath())));
    auto view = GADAdView::init();
    view->loadHTMLString("<p>ad</p>", *platform::URL::parse("https://ads.example/creative"));
    auto cls = platform::URLProtocol::classForRequest(scriptRequest("https://cdn.example/mraid.js", "https://ads.example/creative"));
    CHECK(std::dynamic_pointer_cast<GADMRAIDInterceptor>(cls));
    // Switches thrown later still count.
    GADMRAIDInterceptor::disallow();
    CHECK_FALSE(GADMRAIDInterceptor::isAllowed());
    GADMRAIDInterceptor::disableCanInitWithRequest(&participant);
}

namespace {

struct BannerKindDelegate : ruzave::GADAdViewDelegate {
    ruzave::GADMRAIDScriptKind MRAIDScriptKind() const override { return GADMRAIDScriptKind::Banner; }
};

// Holds the answers of a route until the test lets them go (bounded, so that a failing test cannot keep
// the server from stopping). What the server's threads wait on outlives the test's gate.
class Gate {
  public:
    adserver::Handler answer(std::string body) {
        return [state = state_, body](const adserver::Request&) {
            std::unique_lock lock(state->mutex);
            state->changed.wait_for(lock, std::chrono::seconds(30), [&] { return state->open; });
            return adserver::Response::text(body, "application/javascript");
        };
    }
    void release() {
        std::lock_guard lock(state_->mutex);
        state_->open = true;
        state_->changed.notify_all();
    }
    ~Gate() { release(); }

  private:
    struct State {
        std::mutex mutex;
        std::condition_variable changed;
        bool open = false;
    };
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

const char* const kPageAskingForMRAID = "<script src='https://cdn.example/mraid.js'></script>"
                                        "<script>var seen = typeof kind === 'undefined' ? 'none' : kind;</script>";

} // namespace

// The same "mraid.js" URL gets another script for another kind of page: a cached answer would hand
// one page's script to the next, so the answer is never offered to a cache.
TEST_CASE_FIXTURE(fetchtest::ServerFixture, "GADMRAIDInterceptor: the script varies with the referring page and is never cached") {
    server->route("/scripts/banner.js", adserver::Response::text("var kind = 'banner';", "application/javascript"));
    server->route("/scripts/expanded.js", adserver::Response::text("var kind = 'expanded';", "application/javascript"));
    GADMRAIDInterceptor::setBannerImplementationPath(url("/scripts/banner.js"));
    GADMRAIDInterceptor::setExpandedBannerImplementationPath(url("/scripts/expanded.js"));
    GADAdURLStash::removeAllForTesting();
    int participant = 0;
    GADMRAIDInterceptor::enableCanInitWithRequest(&participant);
    auto load = [&](const std::shared_ptr<GADAdView>& view, const std::string& base) {
        view->loadHTMLString(kPageAskingForMRAID, *platform::URL::parse(base));
        REQUIRE(settle([&] { return view->stringByEvaluatingJavaScriptFromString("typeof seen") == "string"; }));
        return view->stringByEvaluatingJavaScriptFromString("seen");
    };
    auto bannerDelegate = std::make_shared<BannerKindDelegate>();
    auto banner = GADAdView::init();
    banner->setDelegate(bannerDelegate);
    auto expanded = GADAdView::init();
    CHECK(load(banner, "https://ads.example/banner") == "banner");
    CHECK(load(expanded, "https://ads.example/expanded") == "expanded");
    CHECK(server->requestCount("/scripts/banner.js") == 1);
    CHECK(server->requestCount("/scripts/expanded.js") == 1);
    CHECK(server->requests("/mraid.js").empty());
    GADMRAIDInterceptor::disableCanInitWithRequest(&participant);
}

// Two ad views on one base URL (an ad and its expanded part, say): each page's fetch is its own, charged
// to it and ended with it, whichever view was stashed last.
TEST_CASE_FIXTURE(fetchtest::ServerFixture, "GADMRAIDInterceptor: two ad views on one base URL each get their own MRAID fetch, charged to and ended with their own page") {
    Gate bannerGate, expandedGate;
    server->route("/scripts/banner.js", bannerGate.answer("var kind = 'banner';"));
    server->route("/scripts/expanded.js", expandedGate.answer("var kind = 'expanded';"));
    GADMRAIDInterceptor::setBannerImplementationPath(url("/scripts/banner.js"));
    GADMRAIDInterceptor::setExpandedBannerImplementationPath(url("/scripts/expanded.js"));
    GADAdURLStash::removeAllForTesting();
    int participant = 0;
    GADMRAIDInterceptor::enableCanInitWithRequest(&participant);
    const auto base = *platform::URL::parse("https://ads.example/shared");
    auto bannerDelegate = std::make_shared<BannerKindDelegate>();
    auto banner = GADAdView::init();
    banner->setDelegate(bannerDelegate);
    auto expanded = GADAdView::init();
    banner->loadHTMLString(kPageAskingForMRAID, base);
    expanded->loadHTMLString(kPageAskingForMRAID, base);
    REQUIRE(runUntil([&] {
        return server->requestCount("/scripts/banner.js") + server->requestCount("/scripts/expanded.js") == 2;
    }));
    // Each page's fetch, of its own view's script, under way as its own load.
    CHECK(server->requestCount("/scripts/banner.js") == 1);
    CHECK(server->requestCount("/scripts/expanded.js") == 1);
    auto bannerPage = banner->webView()->currentPage();
    auto expandedPage = expanded->webView()->currentPage();
    REQUIRE(bannerPage);
    REQUIRE(expandedPage);
    CHECK(bannerPage->loadsForPageCount() == 1);
    CHECK(expandedPage->loadsForPageCount() == 1);
    // The banner's page goes: its fetch ends with it, and the other page's goes on to its answer.
    banner->closePage();
    CHECK(bannerPage->loadsForPageCount() == 0);
    CHECK(expandedPage->loadsForPageCount() == 1);
    bannerGate.release();
    expandedGate.release();
    REQUIRE(settle([&] { return expanded->stringByEvaluatingJavaScriptFromString("typeof seen") == "string"; }));
    CHECK(expanded->stringByEvaluatingJavaScriptFromString("seen") == "expanded");
    CHECK(expandedPage->loadsForPageCount() == 0);
    CHECK(server->requestCount("/scripts/expanded.js") == 1);
    CHECK(server->requestCount("/scripts/banner.js") == 1);
    // A load that is no page's own (the app's, naming the page only by its referrer) is charged to none.
    struct Ended : platform::URLConnectionDelegate {
        void didFinishLoading(const std::shared_ptr<platform::URLConnection>&) override { finished = true; }
        void didFailWithError(const std::shared_ptr<platform::URLConnection>&, const platform::Error& e) override {
            error = e;
            finished = true;
        }
        std::optional<platform::Error> error;
        bool finished = false;
    };
    auto ended = std::make_shared<Ended>();
    auto appLoad = platform::URLConnection::create(scriptRequest("https://cdn.example/mraid.js", "https://ads.example/shared"),
                                                   ended, platform::TransferOrigin::app());
    REQUIRE(settle([&] { return ended->finished; }));
    REQUIRE(ended->error);
    CHECK(ended->error->code == GADMRAIDInterceptor::kNoLocationErrorCode);
    CHECK(expanded->webView()->currentPage()->loadsForPageCount() == 0);
    CHECK(server->requestCount("/scripts/expanded.js") == 1);
    GADMRAIDInterceptor::disableCanInitWithRequest(&participant);
}

TEST_CASE_FIXTURE(InterceptorFixture, "GADMRAIDInterceptor: unnamed switches share one plain count that never goes below 0") {
    GADMRAIDInterceptor::disableCanInitWithRequest(&participant);
    CHECK_FALSE(claims("https://cdn.example/mraid.js"));
    for (int i = 0; i < 3; ++i) GADMRAIDInterceptor::enableCanInitWithRequest();
    CHECK(claims("https://cdn.example/mraid.js"));
    for (int i = 0; i < 3; ++i) GADMRAIDInterceptor::disableCanInitWithRequest();
    CHECK_FALSE(claims("https://cdn.example/mraid.js"));
    // A stray disable is ignored: the next enable switches it on again.
    GADMRAIDInterceptor::disableCanInitWithRequest();
    CHECK_FALSE(claims("https://cdn.example/mraid.js"));
    GADMRAIDInterceptor::enableCanInitWithRequest();
    CHECK(claims("https://cdn.example/mraid.js"));
    GADMRAIDInterceptor::disallow();
    CHECK_FALSE(claims("https://cdn.example/mraid.js"));
    GADMRAIDInterceptor::allow();
    GADMRAIDInterceptor::resetCanInitWithRequestCounter();
    CHECK_FALSE(claims("https://cdn.example/mraid.js"));
}
