#include "ads/render/GADWebViewCacheSet.h"

#include <algorithm>

#include "platform/runloop/MainLoop.h"
#include "platform/web/WebPage.h"

namespace ruzave {

std::shared_ptr<GADWebViewCacheSet> GADWebViewCacheSet::initWithMaxCapacity(std::size_t maxCapacity) {
    std::shared_ptr<GADWebViewCacheSet> set(new GADWebViewCacheSet(maxCapacity));
    std::weak_ptr<GADWebViewCacheSet> weak = set;
    set->memoryWarning_ = platform::NotificationCenter::defaultCenter()->addObserver(
        platform::kApplicationDidReceiveMemoryWarning, nullptr, nullptr, [weak](const platform::Notification&) {
            if (auto self = weak.lock()) self->removeAllObjects();
        });
    return set;
}

GADWebViewCacheSet::~GADWebViewCacheSet() {
    platform::NotificationCenter::defaultCenter()->removeObserver(memoryWarning_);
    for (auto& entry : clearing_) {
        entry.webView->setDelegate({});
        entry.webView->stopLoading();
    }
}

void GADWebViewCacheSet::addObject(const std::shared_ptr<platform::WebView>& webView) {
    if (maxCapacity_ == 0 || !webView) return;
    std::weak_ptr<GADWebViewCacheSet> weak = weak_from_this();
    platform::MainLoop::main().post([weak, webView] {
        if (auto self = weak.lock()) self->clearWebView(webView);
    });
}

std::shared_ptr<platform::WebView> GADWebViewCacheSet::anyObject() {
    std::lock_guard lock(mutex_);
    if (pooled_.empty()) return nullptr;
    auto webView = pooled_.back();
    pooled_.pop_back();
    return webView;
}

void GADWebViewCacheSet::removeAllObjects() {
    std::vector<std::shared_ptr<platform::WebView>> released;
    {
        std::lock_guard lock(mutex_);
        released.swap(pooled_);
    }
}

std::size_t GADWebViewCacheSet::count() const {
    std::lock_guard lock(mutex_);
    return pooled_.size();
}

void GADWebViewCacheSet::clearWebView(const std::shared_ptr<platform::WebView>& webView) {
    if (!webView || clearing_.size() >= kMaximumClearing) return;
    webView->stopLoading();
    webView->setDelegate(weak_from_this());
    // The platform's web view loads nothing for a bare "about:blank" request (it never finishes), so
    // the blank page is given as an empty document with that URL.
    webView->loadHTMLString("", platform::URL::parse("about:blank"));
    clearing_.push_back(Clearing{webView, webView->currentPage()});
}

std::vector<GADWebViewCacheSet::Clearing>::iterator GADWebViewCacheSet::findClearing(platform::WebView& webView) {
    auto it = std::find_if(clearing_.begin(), clearing_.end(), [&](const auto& c) { return c.webView.get() == &webView; });
    if (it == clearing_.end()) return it;
    // Still the old document: its load ended late, after clearing began. The blank page is yet to come.
    auto previous = it->previousPage.lock();
    if (previous && previous == webView.currentPage()) return clearing_.end();
    return it;
}

std::shared_ptr<platform::WebView> GADWebViewCacheSet::takeClearing(std::vector<Clearing>::iterator it) {
    if (it == clearing_.end()) return nullptr;
    auto kept = it->webView;
    clearing_.erase(it);
    kept->setDelegate({});
    return kept;
}

void GADWebViewCacheSet::addCleared(const std::shared_ptr<platform::WebView>& webView) {
    std::lock_guard lock(mutex_);
    if (pooled_.size() < maxCapacity_) pooled_.push_back(webView);
}

bool GADWebViewCacheSet::shouldStartLoad(platform::WebView&, const platform::URLRequest& request,
                                         platform::WebViewNavigationType) {
    // Script left in the old page must not load anything while the view is cleared.
    return request.url().absoluteString() == "about:blank";
}

void GADWebViewCacheSet::didFinishLoad(platform::WebView& webView) {
    auto kept = takeClearing(findClearing(webView));
    if (!kept) return;
    // Read from the document itself: asking the page's script would build a script heap for a page
    // that has nothing to run.
    auto page = kept->currentPage();
    auto body = page && !page->isClosed() ? page->document().body() : nullptr;
    if (body && body->innerHTML().empty()) addCleared(kept);
}

void GADWebViewCacheSet::didFailLoad(platform::WebView& webView, const platform::Error&) {
    // Any failure while clearing ends it, whichever document it came from: a web view that waited on
    // would hold one of the few clearing places for good. It is not pooled.
    auto it = std::find_if(clearing_.begin(), clearing_.end(), [&](const auto& c) { return c.webView.get() == &webView; });
    takeClearing(it);
}

} // namespace ruzave
