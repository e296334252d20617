#include <doctest/doctest.h>

#include <vector>

#include "ads/render/GADWebViewCacheSet.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/testing/Harness.h"
#include "platform/web/WebPage.h"

using platform::testing::Harness;
using ruzave::GADWebViewCacheSet;

namespace {
std::shared_ptr<platform::WebView> usedWebView(Harness& h, const char* html = "<p>old ad</p>") {
    auto webView = platform::WebView::create(platform::Rect(0, 0, 320, 50));
    webView->loadHTMLString(html, platform::URL::parse("https://ads.example/"));
    REQUIRE(h.runUntil([&] { return !webView->isLoading() && !webView->evaluate("document.body.innerHTML").empty(); }));
    return webView;
}
} // namespace

TEST_CASE_FIXTURE(Harness, "GADWebViewCacheSet: capacity 0 keeps nothing") {
    auto pool = GADWebViewCacheSet::initWithMaxCapacity(0);
    pool->addObject(usedWebView(*this));
    runUntilIdle();
    CHECK(pool->clearingCount() == 0);
    CHECK(pool->anyObject() == nullptr);
}

TEST_CASE_FIXTURE(Harness, "GADWebViewCacheSet: a used web view comes back blank and is handed out once") {
    auto pool = GADWebViewCacheSet::initWithMaxCapacity(2);
    auto webView = usedWebView(*this);
    pool->addObject(webView);
    REQUIRE(runUntil([&] { return pool->count() == 1; }));
    CHECK(pool->clearingCount() == 0);
    CHECK(webView->delegate() == nullptr);
    CHECK(webView->evaluate("document.body.innerHTML").empty());
    CHECK(pool->anyObject() == webView);
    CHECK(pool->anyObject() == nullptr);
}

TEST_CASE_FIXTURE(Harness, "GADWebViewCacheSet: the blank check reads the document and builds no script heap") {
    auto pool = GADWebViewCacheSet::initWithMaxCapacity(1);
    auto webView = usedWebView(*this, "<script>var old = 1;</script><p>old ad</p>");
    pool->addObject(webView);
    REQUIRE(runUntil([&] { return pool->count() == 1; }));
    auto page = webView->currentPage();
    REQUIRE(page);
    CHECK(page->url().absoluteString() == "about:blank");
    CHECK_FALSE(page->hasScriptHeap());
    // The old page's script state is gone with it.
    CHECK(webView->evaluate("typeof old") == "undefined");
}

TEST_CASE_FIXTURE(Harness, "GADWebViewCacheSet: four at once clear three, and a full pool drops the rest") {
    auto pool = GADWebViewCacheSet::initWithMaxCapacity(2);
    for (int i = 0; i < 4; ++i) pool->addObject(usedWebView(*this));
    REQUIRE(runUntil([&] { return pool->clearingCount() == 3 || pool->count() > 0; }));
    REQUIRE(runUntil([&] { return pool->clearingCount() == 0; }));
    CHECK(pool->count() == 2);
    // The clearing slots are free again.
    pool->removeAllObjects();
    pool->addObject(usedWebView(*this));
    REQUIRE(runUntil([&] { return pool->count() == 1; }));
}

TEST_CASE_FIXTURE(Harness, "GADWebViewCacheSet: clearing refuses navigations elsewhere, and a memory warning empties the pool") {
    auto pool = GADWebViewCacheSet::initWithMaxCapacity(3);
    auto webView = usedWebView(*this);
    CHECK_FALSE(pool->shouldStartLoad(*webView, *platform::URLRequest::withURLString("https://x.example/"),
                                      platform::WebViewNavigationType::Other));
    CHECK(pool->shouldStartLoad(*webView, *platform::URLRequest::withURLString("about:blank"),
                                platform::WebViewNavigationType::Other));
    pool->addObject(webView);
    REQUIRE(runUntil([&] { return pool->count() == 1; }));
    platform::NotificationCenter::defaultCenter()->post(platform::kApplicationDidReceiveMemoryWarning);
    CHECK(pool->count() == 0);
}

TEST_CASE_FIXTURE(Harness, "GADWebViewCacheSet: a late finish of the previous page does not end the clearing") {
    auto pool = GADWebViewCacheSet::initWithMaxCapacity(2);
    auto webView = platform::WebView::create(platform::Rect(0, 0, 320, 50));
    webView->loadHTMLString("<p>old ad</p>", platform::URL::parse("https://ads.example/"));
    // The ad's document is in place and its load end is queued, but not delivered yet.
    REQUIRE(runUntil([&] { return webView->currentPage() != nullptr; }));
    REQUIRE(webView->currentPage()->url().absoluteString() == "https://ads.example/");
    pool->clearWebView(webView);
    CHECK(pool->clearingCount() == 1);
    // The old page's finish arrives first: the web view keeps clearing and then comes back blank.
    REQUIRE(runUntil([&] { return pool->count() == 1 || pool->clearingCount() == 0; }));
    CHECK(pool->clearingCount() == 0);
    CHECK(pool->count() == 1);
    CHECK(webView->currentPage()->url().absoluteString() == "about:blank");
    CHECK(pool->anyObject() == webView);
}

TEST_CASE_FIXTURE(Harness, "GADWebViewCacheSet: a web view that never loaded anything is cleared and pooled") {
    auto pool = GADWebViewCacheSet::initWithMaxCapacity(1);
    auto fresh = platform::WebView::create(platform::Rect(0, 0, 320, 50));
    pool->clearWebView(fresh);
    REQUIRE(runUntil([&] { return pool->count() == 1; }));
    CHECK(pool->clearingCount() == 0);
}

TEST_CASE_FIXTURE(Harness, "GADWebViewCacheSet: a failed clearing frees its place and pools nothing") {
    auto pool = GADWebViewCacheSet::initWithMaxCapacity(3);
    std::vector<std::shared_ptr<platform::WebView>> failing;
    for (int i = 0; i < 3; ++i) failing.push_back(usedWebView(*this));
    for (auto& webView : failing) pool->clearWebView(webView);
    REQUIRE(pool->clearingCount() == 3);
    // The failures come before the blank pages have even started.
    for (auto& webView : failing) pool->didFailLoad(*webView, platform::Error(platform::WebView::ErrorDomain, -1));
    CHECK(pool->clearingCount() == 0);
    for (auto& webView : failing) CHECK(webView->delegate() == nullptr);
    // Later web views are still cleared and pooled; the failed ones never are.
    auto next = usedWebView(*this);
    pool->clearWebView(next);
    CHECK(pool->clearingCount() == 1);
    REQUIRE(runUntil([&] { return pool->count() == 1; }));
    runUntilIdle();
    CHECK(pool->count() == 1);
    CHECK(pool->anyObject() == next);
}
