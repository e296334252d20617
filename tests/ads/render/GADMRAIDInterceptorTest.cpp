#include <doctest/doctest.h>

#include <vector>

#include "ads/render/GADAdURLStash.h"
#include "ads/render/GADAdView.h"
#include "ads/render/GADAdViewDelegate.h"
#include "ads/render/GADMRAIDInterceptor.h"
#include "platform/net/URLConnection.h"
#include "platform/net/URLConnectionDelegate.h"
#include "platform/net/URLProtocol.h"
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

struct ScriptLoad : platform::URLConnectionDelegate {
    void didReceiveData(const std::shared_ptr<platform::URLConnection>&, const platform::Bytes& data) override {
        body.append(data.begin(), data.end());
    }
    bool willCacheResponse(const std::shared_ptr<platform::URLConnection>&, const platform::HTTPURLResponse&) override {
        offeredToCache = true;
        return true;
    }
    void didFinishLoading(const std::shared_ptr<platform::URLConnection>&) override { finished = true; }
    void didFailWithError(const std::shared_ptr<platform::URLConnection>&, const platform::Error&) override { finished = true; }
    std::string body;
    bool offeredToCache = false;
    bool finished = false;
};

} // namespace

// The same "mraid.js" URL gets another script for another kind of page: a cached answer would hand
// one page's script to the next, so the answer is never offered to a cache.
TEST_CASE_FIXTURE(fetchtest::ServerFixture, "GADMRAIDInterceptor: the script varies with the referring page and is never cached") {
    server->route("/scripts/banner.js", adserver::Response::text("var kind = 'banner';", "application/javascript"));
    server->route("/scripts/expanded.js", adserver::Response::text("var kind = 'expanded';", "application/javascript"));
    GADMRAIDInterceptor::setBannerImplementationPath(url("/scripts/banner.js"));
    GADMRAIDInterceptor::setExpandedBannerImplementationPath(url("/scripts/expanded.js"));
    GADAdURLStash::removeAllForTesting();
    auto bannerDelegate = std::make_shared<BannerKindDelegate>();
    auto banner = GADAdView::init();
    banner->setDelegate(bannerDelegate);
    banner->loadHTMLString("<p>banner</p>", *platform::URL::parse("https://ads.example/banner"));
    auto expanded = GADAdView::init();
    expanded->loadHTMLString("<p>expanded</p>", *platform::URL::parse("https://ads.example/expanded"));
    int participant = 0;
    GADMRAIDInterceptor::enableCanInitWithRequest(&participant);

    auto load = [&](const std::string& referer) {
        auto delegate = std::make_shared<ScriptLoad>();
        auto connection = platform::URLConnection::create(scriptRequest("https://cdn.example/mraid.js", referer), delegate, platform::TransferOrigin::app());
        REQUIRE(settle([&] { return delegate->finished; }));
        return delegate;
    };
    auto first = load("https://ads.example/banner");
    auto second = load("https://ads.example/expanded");
    CHECK(first->body == "var kind = 'banner';");
    CHECK(second->body == "var kind = 'expanded';");
    CHECK_FALSE(first->offeredToCache);
    CHECK_FALSE(second->offeredToCache);
    CHECK(server->requests("/mraid.js").empty());
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
