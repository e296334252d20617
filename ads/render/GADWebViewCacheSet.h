#pragma once
// The pool of blank web views that ad views take their web view from. A used web view is first
// cleared to "about:blank" (at most three at a time) and kept only when it really comes back blank,
// up to the pool's capacity. A memory warning empties the pool. Main thread for clearing; the pooled
// set itself may be read from any thread (one lock).
#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/foundation/NotificationCenter.h"
#include "platform/web/WebView.h"
#include "platform/web/WebViewDelegate.h"

namespace platform {
class WebPage;
}

namespace ruzave {

class GADWebViewCacheSet : public platform::WebViewDelegate, public std::enable_shared_from_this<GADWebViewCacheSet> {
  public:
    static constexpr std::size_t kMaximumClearing = 3;

    static std::shared_ptr<GADWebViewCacheSet> initWithMaxCapacity(std::size_t maxCapacity);
    ~GADWebViewCacheSet() override;

    std::size_t maxCapacity() const { return maxCapacity_; }
    // Offers a used web view: it is cleared on a later main-loop turn. Capacity 0: nothing.
    void addObject(const std::shared_ptr<platform::WebView>& webView);
    // Takes one pooled web view out, or nullptr.
    std::shared_ptr<platform::WebView> anyObject();
    void removeAllObjects();
    std::size_t count() const;
    std::size_t clearingCount() const { return clearing_.size(); }

    // Starts clearing, unless three are clearing already (then the web view is let go).
    void clearWebView(const std::shared_ptr<platform::WebView>& webView);

    // platform::WebViewDelegate, while clearing.
    bool shouldStartLoad(platform::WebView& webView, const platform::URLRequest& request,
                         platform::WebViewNavigationType navigationType) override;
    void didFinishLoad(platform::WebView& webView) override;
    void didFailLoad(platform::WebView& webView, const platform::Error& error) override;

  private:
    explicit GADWebViewCacheSet(std::size_t maxCapacity) : maxCapacity_(maxCapacity) {}
    struct Clearing {
        std::shared_ptr<platform::WebView> webView;
        // The document shown when clearing began: its late load events are not the blank page's.
        std::weak_ptr<platform::WebPage> previousPage;
    };
    std::vector<Clearing>::iterator findClearing(platform::WebView& webView);
    std::shared_ptr<platform::WebView> takeClearing(std::vector<Clearing>::iterator it);
    void addCleared(const std::shared_ptr<platform::WebView>& webView);

    const std::size_t maxCapacity_;
    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<platform::WebView>> pooled_;
    std::vector<Clearing> clearing_;
    platform::NotificationCenter::Token memoryWarning_{};
};

} // namespace ruzave
