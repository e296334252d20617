#include <doctest/doctest.h>

#include "ads/render/GADAdURLStash.h"
#include "ads/render/GADAdView.h"
#include "ads/render/GADAdViewDelegate.h"
#include "ads/render/GADMRAIDInterceptor.h"
#include "platform/net/URLProtocol.h"
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
