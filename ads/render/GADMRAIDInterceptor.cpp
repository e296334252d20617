#include "ads/render/GADMRAIDInterceptor.h"

#include <atomic>
#include <mutex>
#include <set>
#include <utility>

#include "ads/core/sdkcore/GADHosts.h"
#include "ads/render/GADAdURLStash.h"
#include "ads/render/GADAdView.h"
#include "platform/net/HTTPURLResponse.h"
#include "platform/net/URLConnection.h"
#include "platform/net/URLProtocol.h"
#include "platform/net/URLProtocolClient.h"
#include "platform/runloop/MainLoop.h"
#include "platform/web/WebPage.h"
#include "platform/web/WebView.h"

namespace ruzave {
namespace {

struct InterceptorState {
    std::mutex mutex;
    bool allowed = false;
    std::set<const void*> participants;
    long anonymousCount = 0;
    std::size_t enableCalls = 0;
    std::size_t disableCalls = 0;
    std::string banner, interstitial, expandedBanner;
};

InterceptorState& state() {
    static InterceptorState* s = new InterceptorState(); // Loading threads may still ask during exit.
    return *s;
}

std::string defaultLocation(const char* file) {
    return std::string("https://") + GADHosts::kSDKCoreHost + "/mads/static/mad/sdk/native/mraid/v2/" + file;
}

// Under the state's lock.
void setDefaultPaths(InterceptorState& s) {
    s.banner = defaultLocation("mraid_app_banner.js");
    s.interstitial = defaultLocation("mraid_app_interstitial.js");
    s.expandedBanner = defaultLocation("mraid_app_expanded_banner.js");
}

// The fetch of one page's script: its body kept within the page's memory, and handed to the load that
// claimed "mraid.js" once whole. Main thread (the page's loads deliver there).
class MRAIDScriptFetch : public platform::URLConnectionDelegate {
  public:
    MRAIDScriptFetch(std::shared_ptr<platform::URLProtocolClient> client, platform::URL url)
        : client_(std::move(client)), url_(std::move(url)) {}

    void start(std::shared_ptr<platform::URLConnection> connection) {
        connection_ = std::move(connection);
        connection_->start();
    }
    // The claiming load was cancelled: the fetch ends with it, and tells nothing more.
    void stop() {
        stopped_ = true;
        body_.clear();
        if (auto connection = std::exchange(connection_, nullptr)) connection->cancel();
    }

    void didReceiveResponse(const std::shared_ptr<platform::URLConnection>&,
                            const platform::HTTPURLResponse& response) override {
        status_ = response.statusCode();
        body_.clear();
    }
    void didReceiveData(const std::shared_ptr<platform::URLConnection>& connection, const platform::Bytes& data) override {
        if (stopped_) return;
        if (!connection->charge(data.size())) {
            fail(platform::Error(GADMRAIDInterceptor::kCocoaErrorDomain, GADMRAIDInterceptor::kNoLocationErrorCode,
                                 "The MRAID script does not fit in the page's memory budget."));
            return;
        }
        body_.insert(body_.end(), data.begin(), data.end());
    }
    bool willCacheResponse(const std::shared_ptr<platform::URLConnection>&, const platform::HTTPURLResponse&) override {
        return false;
    }
    void didFinishLoading(const std::shared_ptr<platform::URLConnection>&) override {
        if (stopped_) return;
        connection_.reset();
        if (status_ < 200 || status_ > 299) {
            fail(platform::Error(GADMRAIDInterceptor::kCocoaErrorDomain, GADMRAIDInterceptor::kNoLocationErrorCode,
                                 "The MRAID script could not be fetched."));
            return;
        }
        stopped_ = true;
        platform::Bytes data = std::move(body_);
        platform::HTTPHeaderFields headers;
        headers.set("Content-Type", "application/javascript");
        headers.set("Content-Length", std::to_string(data.size()));
        client_->didReceiveResponse(platform::HTTPURLResponse(url_, 200, headers),
                                    platform::URLCacheStoragePolicy::NotAllowed);
        client_->didLoadData(data);
        client_->didFinishLoading();
    }
    void didFailWithError(const std::shared_ptr<platform::URLConnection>&, const platform::Error& error) override {
        if (stopped_) return;
        fail(error);
    }

  private:
    void fail(const platform::Error& error) {
        stopped_ = true;
        body_.clear();
        if (auto connection = std::exchange(connection_, nullptr)) connection->cancel();
        client_->didFailWithError(error);
    }

    std::shared_ptr<platform::URLProtocolClient> client_;
    platform::URL url_;
    std::shared_ptr<platform::URLConnection> connection_;
    platform::Bytes body_;
    long status_ = 0;
    bool stopped_ = false;
};

// One claimed "mraid.js" request: the script is fetched from its location as a load of the page that
// asked (platform::WebView::connectionForPage: among its loads, charged to it, ended with it) and passed
// on whole. A failed fetch, or one that does not answer 2xx, fails the load and is never cached; so does
// a request whose page cannot be found. Main thread (a page's loads start and stop there).
class MRAIDScriptLoad : public platform::URLProtocol {
  public:
    MRAIDScriptLoad(platform::URLRequest request, std::shared_ptr<platform::URLProtocolClient> client)
        : URLProtocol(std::move(request), std::move(client)) {}

    void startLoading() override {
        auto client = this->client();
        // The page that asked, and the script its view needs, decided now: a view that went since the
        // request was claimed leaves none, and the load fails cleanly.
        std::shared_ptr<platform::WebView> page;
        GADMRAIDScriptKind kind = GADMRAIDScriptKind::ExpandedBanner;
        if (!findPage(page, kind)) {
            client->didFailWithError(platform::Error(GADMRAIDInterceptor::kCocoaErrorDomain,
                                                     GADMRAIDInterceptor::kNoLocationErrorCode,
                                                     "No page to load the MRAID script for."));
            return;
        }
        std::optional<platform::URL> url =
            platform::URL::parse(GADMRAIDInterceptor::implementationPathForKind(kind));
        if (!url) {
            client->didFailWithError(platform::Error(GADMRAIDInterceptor::kCocoaErrorDomain,
                                                     GADMRAIDInterceptor::kNoLocationErrorCode,
                                                     "No MRAID script location for this page."));
            return;
        }
        platform::URLRequest fetch(*url, platform::URLRequest::CachePolicy::ReloadIgnoringLocalCacheData,
                                   GADMRAIDInterceptor::kScriptFetchTimeout);
        auto fetcher = std::make_shared<MRAIDScriptFetch>(client, *url);
        platform::Error error(GADMRAIDInterceptor::kCocoaErrorDomain, GADMRAIDInterceptor::kNoLocationErrorCode);
        auto connection = page->connectionForPage(fetch, fetcher, &error);
        if (!connection) {
            client->didFailWithError(error);
            return;
        }
        fetch_ = fetcher;
        fetcher->start(std::move(connection));
    }

    void stopLoading() override {
        if (auto fetch = std::exchange(fetch_, nullptr)) fetch->stop();
    }

  private:
    // Several ad views may show pages of one base URL: of those stashed under the request's referrer,
    // the one whose current document made this load (its loads carry the document's transfer origin).
    // No other view's page is ever charged with it. Views are touched on the main thread only.
    bool findPage(std::shared_ptr<platform::WebView>& page, GADMRAIDScriptKind& kind) const {
        if (!platform::MainLoop::isMainThread() || !transferOrigin().isWebContent()) return false;
        auto referer = GADMRAIDInterceptor::refererURLFromRequest(request());
        if (!referer) return false;
        for (const auto& stashed : GADAdURLStash::viewsForURL(*referer)) {
            auto webView = stashed.view->webView();
            auto document = webView ? webView->currentPage() : nullptr;
            if (document && document->options().origin == transferOrigin()) {
                page = std::move(webView);
                kind = stashed.kind;
                return true;
            }
        }
        return false;
    }

    std::shared_ptr<MRAIDScriptFetch> fetch_;
};

std::shared_ptr<GADMRAIDInterceptor> makeInterceptorClass();

} // namespace

void GADMRAIDInterceptor::registerOnce() {
    // The class's first use, whichever operation it is: default script paths, registered with the
    // URL loading system, and allowed, so an MRAID creative gets the SDK's script even when it renders
    // before the SDK constants have arrived.
    static std::once_flag once;
    std::call_once(once, [] {
        {
            std::lock_guard lock(state().mutex);
            setDefaultPaths(state());
        }
        platform::URLProtocol::registerClass(makeInterceptorClass());
        std::lock_guard lock(state().mutex);
        state().allowed = true;
    });
}

namespace {
std::shared_ptr<GADMRAIDInterceptor> makeInterceptorClass() {
    struct Maker : GADMRAIDInterceptor {};
    return std::make_shared<Maker>();
}
} // namespace

void GADMRAIDInterceptor::allow() {
    registerOnce();
    std::lock_guard lock(state().mutex);
    state().allowed = true;
}

void GADMRAIDInterceptor::disallow() {
    registerOnce();
    std::lock_guard lock(state().mutex);
    state().allowed = false;
}

bool GADMRAIDInterceptor::isAllowed() {
    registerOnce();
    std::lock_guard lock(state().mutex);
    return state().allowed;
}

void GADMRAIDInterceptor::enableCanInitWithRequest(const void* participant) {
    registerOnce();
    std::lock_guard lock(state().mutex);
    ++state().enableCalls;
    if (participant) state().participants.insert(participant);
    else ++state().anonymousCount;
}

void GADMRAIDInterceptor::disableCanInitWithRequest(const void* participant) {
    registerOnce();
    std::lock_guard lock(state().mutex);
    ++state().disableCalls;
    if (participant) state().participants.erase(participant);
    else if (state().anonymousCount > 0) --state().anonymousCount;
}

void GADMRAIDInterceptor::resetCanInitWithRequestCounter() {
    registerOnce();
    std::lock_guard lock(state().mutex);
    state().participants.clear();
    state().anonymousCount = 0;
}

std::size_t GADMRAIDInterceptor::enableCount() {
    registerOnce();
    std::lock_guard lock(state().mutex);
    return state().participants.size();
}

std::size_t GADMRAIDInterceptor::enableCanInitWithRequestCount() {
    registerOnce();
    std::lock_guard lock(state().mutex);
    return state().enableCalls;
}

std::size_t GADMRAIDInterceptor::disableCanInitWithRequestCount() {
    registerOnce();
    std::lock_guard lock(state().mutex);
    return state().disableCalls;
}

void GADMRAIDInterceptor::resetToDefaultPaths() {
    registerOnce();
    std::lock_guard lock(state().mutex);
    setDefaultPaths(state());
}

void GADMRAIDInterceptor::setBannerImplementationPath(const std::string& path) {
    registerOnce();
    std::lock_guard lock(state().mutex);
    state().banner = path;
}

void GADMRAIDInterceptor::setInterstitialImplementationPath(const std::string& path) {
    registerOnce();
    std::lock_guard lock(state().mutex);
    state().interstitial = path;
}

void GADMRAIDInterceptor::setExpandedBannerImplementationPath(const std::string& path) {
    registerOnce();
    std::lock_guard lock(state().mutex);
    state().expandedBanner = path;
}

std::string GADMRAIDInterceptor::bannerImplementationPath() {
    registerOnce();
    std::lock_guard lock(state().mutex);
    return state().banner;
}

std::string GADMRAIDInterceptor::interstitialImplementationPath() {
    registerOnce();
    std::lock_guard lock(state().mutex);
    return state().interstitial;
}

std::string GADMRAIDInterceptor::expandedBannerImplementationPath() {
    registerOnce();
    std::lock_guard lock(state().mutex);
    return state().expandedBanner;
}

std::string GADMRAIDInterceptor::implementationPathForKind(GADMRAIDScriptKind kind) {
    switch (kind) {
    case GADMRAIDScriptKind::Banner:
        return bannerImplementationPath();
    case GADMRAIDScriptKind::Interstitial:
        return interstitialImplementationPath();
    case GADMRAIDScriptKind::ExpandedBanner:
        break;
    }
    return expandedBannerImplementationPath();
}

bool GADMRAIDInterceptor::urlIsAnImplementationPath(const platform::URL& url) {
    registerOnce();
    const std::string& text = url.absoluteString();
    std::lock_guard lock(state().mutex);
    // Only a complete set counts, as the set of paths is rebuilt only when all three are given.
    if (state().banner.empty() || state().interstitial.empty() || state().expandedBanner.empty()) return false;
    return text == state().banner || text == state().interstitial || text == state().expandedBanner;
}

std::optional<platform::URL> GADMRAIDInterceptor::refererURLFromRequest(const platform::URLRequest& request) {
    auto referer = request.allHTTPHeaderFields().value("Referer");
    if (!referer || referer->empty()) return std::nullopt;
    return platform::URL::parse(*referer);
}

bool GADMRAIDInterceptor::shouldRedirectForMRAID(const platform::URLRequest& request) {
    const platform::URL& url = request.url();
    if (!url.isValid() || urlIsAnImplementationPath(url)) return false;
    return url.lastPathComponent() == "mraid.js";
}

bool GADMRAIDInterceptor::canInitWithRequestIsEnabled() {
    registerOnce();
    {
        std::lock_guard lock(state().mutex);
        if (!state().allowed || (state().participants.empty() && state().anonymousCount <= 0)) return false;
    }
    // Never both locks at once.
    return GADAdURLStash::hasStashedURLs();
}

std::optional<std::string> GADMRAIDInterceptor::locationForRequest(const platform::URLRequest& request) {
    auto referer = refererURLFromRequest(request);
    if (!referer) return std::nullopt;
    auto kind = GADAdURLStash::scriptKindForURL(*referer);
    if (!kind) return std::nullopt;
    return implementationPathForKind(*kind);
}

bool GADMRAIDInterceptor::canInitWithRequest(const platform::URLRequest& request) const {
    if (!canInitWithRequestIsEnabled() || !shouldRedirectForMRAID(request)) return false;
    return locationForRequest(request).has_value();
}

std::shared_ptr<platform::URLProtocol>
GADMRAIDInterceptor::create(const platform::URLRequest& request,
                            std::shared_ptr<platform::URLProtocolClient> client) const {
    return std::make_shared<MRAIDScriptLoad>(request, std::move(client));
}

} // namespace ruzave
