#include <doctest/doctest.h>

#include "ads/render/GADAdURLStash.h"
#include "ads/render/GADAdView.h"
#include "platform/testing/Harness.h"

using platform::testing::Harness;
using ruzave::GADAdURLStash;
using ruzave::GADAdView;
using ruzave::GADMRAIDScriptKind;

namespace {
platform::URL url(const char* text) {
    return *platform::URL::parse(text);
}
} // namespace

TEST_CASE("GADAdURLStash: canonical forms ignore a trailing slash, the fragment and the default port") {
    auto a = GADAdURLStash::canonicalURLForURL(url("http://Ads.example/page"));
    CHECK(a == "http://ads.example:80/page");
    CHECK(GADAdURLStash::canonicalURLForURL(url("http://ads.example/page/")) == a);
    CHECK(GADAdURLStash::canonicalURLForURL(url("http://ads.example/page#top")) == a);
    CHECK(GADAdURLStash::canonicalURLForURL(url("http://ads.example:80/page")) == a);
    CHECK(GADAdURLStash::canonicalURLForURL(url("https://ads.example/")) == "https://ads.example:443");
    CHECK(GADAdURLStash::canonicalURLForURL(url("http://ads.example:8080/p")) == "http://ads.example:8080/p");
    // The host inside the path or query is not touched (no text replacement).
    CHECK(GADAdURLStash::canonicalURLForURL(url("http://a.example/a.example?h=a.example")) ==
          "http://a.example:80/a.example?h=a.example");
    CHECK(GADAdURLStash::canonicalURLForURL(url("about:blank#x")) == "about:blank");
}

TEST_CASE_FIXTURE(Harness, "GADAdURLStash: views are held weakly and found by any equivalent URL") {
    GADAdURLStash::removeAllForTesting();
    auto view = GADAdView::init();
    GADAdURLStash::add(url("https://ads.example/a"), view, GADMRAIDScriptKind::Banner);
    CHECK(GADAdURLStash::viewForURL(url("https://ads.example/a/#f")) == view);
    CHECK(GADAdURLStash::scriptKindForURL(url("https://ads.example/a")) == GADMRAIDScriptKind::Banner);
    std::weak_ptr<GADAdView> weak = view;
    view.reset();
    CHECK(weak.expired());
    CHECK(GADAdURLStash::viewForURL(url("https://ads.example/a")) == nullptr);
    CHECK_FALSE(GADAdURLStash::scriptKindForURL(url("https://ads.example/a")));
}

TEST_CASE_FIXTURE(Harness, "GADAdURLStash: two ads on one base URL each keep their entry, and a view removes only its own") {
    GADAdURLStash::removeAllForTesting();
    auto first = GADAdView::init();
    auto second = GADAdView::init();
    auto third = GADAdView::init();
    first->loadHTMLString("<p>1</p>", url("https://ads.example/shared"));
    second->loadHTMLString("<p>2</p>", url("https://ads.example/shared"));
    third->loadHTMLString("<p>3</p>", url("https://ads.example/shared"));
    // A view stashed again keeps one entry, with what it was told last.
    GADAdURLStash::add(url("https://ads.example/shared/"), first, GADMRAIDScriptKind::Interstitial);
    auto views = GADAdURLStash::viewsForURL(url("https://ads.example/shared"));
    REQUIRE(views.size() == 3);
    CHECK(views[0].view == first);
    CHECK(views[0].kind == GADMRAIDScriptKind::Interstitial);
    CHECK(views[1].view == third);
    CHECK(views[2].view == second);
    CHECK(GADAdURLStash::viewForURL(url("https://ads.example/shared")) == first);
    CHECK(GADAdURLStash::scriptKindForURL(url("https://ads.example/shared")) == GADMRAIDScriptKind::Interstitial);
    views.clear();
    // The latest view goes: the one before it is found again; one in the middle goes: the others stay.
    first.reset();
    CHECK(GADAdURLStash::viewForURL(url("https://ads.example/shared")) == third);
    second.reset();
    views = GADAdURLStash::viewsForURL(url("https://ads.example/shared"));
    REQUIRE(views.size() == 1);
    CHECK(views[0].view == third);
    views.clear();
    // A view loading another URL leaves this one.
    third->loadHTMLString("<p>3</p>", url("https://ads.example/elsewhere"));
    CHECK(GADAdURLStash::viewForURL(url("https://ads.example/shared")) == nullptr);
    CHECK(GADAdURLStash::viewForURL(url("https://ads.example/elsewhere")) == third);
    third.reset();
    CHECK_FALSE(GADAdURLStash::hasStashedURLs());
}
