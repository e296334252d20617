#include "ads/render/GADAdNetworkJavaScriptAdViewDelegate.h"

#include "ads/core/public/GADRequestError.h"
#include "ads/core/slot/GADSlot.h"
#include "ads/render/GADAdView.h"
#include "ads/render/GADAdViewRenderedChecker.h"
#include "platform/base/Strings.h"
#include "platform/runloop/MainLoop.h"
#include "platform/runloop/Timer.h"

namespace ruzave {
namespace {

std::string withoutOneTrailingSlash(std::string path) {
    if (!path.empty() && path.back() == '/') path.pop_back();
    return path;
}

std::string lowercased(std::string text) {
    for (auto& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

} // namespace

std::shared_ptr<GADAdNetworkJavaScriptAdViewDelegate> GADAdNetworkJavaScriptAdViewDelegate::initWithSlot(
    const std::weak_ptr<GADSlot>& slot, const std::optional<platform::URL>& passbackURL) {
    std::shared_ptr<GADAdNetworkJavaScriptAdViewDelegate> delegate(
        new GADAdNetworkJavaScriptAdViewDelegate(slot, passbackURL));
    delegate->setUpForSlot();
    return delegate;
}

GADAdNetworkJavaScriptAdViewDelegate::~GADAdNetworkJavaScriptAdViewDelegate() {
    if (checkRenderingTimer_) checkRenderingTimer_->invalidate();
}

bool GADAdNetworkJavaScriptAdViewDelegate::isPassbackRequest(const platform::URLRequest& request) const {
    const platform::URL& url = request.url();
    if (lowercased(url.scheme()) == "passback") return true;
    if (!passbackURL_ || url.host().empty()) return false;
    return lowercased(passbackURL_->host()) == lowercased(url.host()) &&
           withoutOneTrailingSlash(passbackURL_->path()) == withoutOneTrailingSlash(url.path());
}

std::optional<bool> GADAdNetworkJavaScriptAdViewDelegate::adView(const std::shared_ptr<GADAdView>& adView,
                                                                 const platform::URLRequest& request,
                                                                 platform::WebViewNavigationType navigationType) {
    if (!request.url().isValid() || request.url().absoluteString().empty()) return false;
    if (!isPassbackRequest(request)) return GADBannerAdViewDelegate::adView(adView, request, navigationType);
    // The network has no ad; a script that passes back more than once still ends the load once.
    if (wasPassbackReceived_) return false;
    wasPassbackReceived_ = true;
    stopRenderingTimer();
    if (auto slot = this->slot()) {
        slot->didFailToReceiveAdWithError(
            GADRequestError::errorWithCode(GADRequestErrorNoFill, slot->request(), 0, "Passback URL received."), true);
        slot->scheduleAdReloadTimer();
    }
    return false;
}

void GADAdNetworkJavaScriptAdViewDelegate::adViewDidFinishLoad(const std::shared_ptr<GADAdView>& adView) {
    if (renderingCheckHasStarted_ || wasPassbackReceived_) return;
    renderingCheckHasStarted_ = true;
    if (auto slot = this->slot()) slot->willLoadAdHTMLInWebView();
    startRenderingTimerForAdView(adView);
}

void GADAdNetworkJavaScriptAdViewDelegate::startRenderingTimerForAdView(const std::shared_ptr<GADAdView>& adView) {
    stopRenderingTimer();
    auto self = std::static_pointer_cast<GADAdNetworkJavaScriptAdViewDelegate>(
        std::static_pointer_cast<GADBannerAdViewDelegate>(weak_from_this().lock()));
    if (!self) return;
    adViewRenderedChecker_ = GADAdViewRenderedChecker::initWithAdView(
        adView, std::weak_ptr<GADAdViewRenderedCheckerDelegate>(
                    std::static_pointer_cast<GADAdViewRenderedCheckerDelegate>(self)));
    std::weak_ptr<GADAdNetworkJavaScriptAdViewDelegate> weak = self;
    checkRenderingTimer_ = platform::Timer::scheduledTimer(kRenderCheckInterval, true, [weak](platform::Timer&) {
        auto delegate = weak.lock();
        if (!delegate || !delegate->adViewRenderedChecker_) return;
        auto checker = delegate->adViewRenderedChecker_;
        checker->checkIsContentRenderedInAdView();
    });
}

void GADAdNetworkJavaScriptAdViewDelegate::stopRenderingTimer() {
    if (adViewRenderedChecker_) {
        adViewRenderedChecker_->setAdView({});
        adViewRenderedChecker_->setDelegate({});
        adViewRenderedChecker_.reset();
    }
    if (checkRenderingTimer_) {
        checkRenderingTimer_->invalidate();
        checkRenderingTimer_.reset();
    }
}

void GADAdNetworkJavaScriptAdViewDelegate::adViewDidRenderContent(const std::shared_ptr<GADAdView>& adView) {
    // The checker is inside its own call: the timer and the checker are let go on the next turn.
    auto weak = std::weak_ptr<GADAdNetworkJavaScriptAdViewDelegate>(
        std::static_pointer_cast<GADAdNetworkJavaScriptAdViewDelegate>(
            std::static_pointer_cast<GADBannerAdViewDelegate>(weak_from_this().lock())));
    std::weak_ptr<GADAdView> weakView = adView;
    auto timer = checkRenderingTimer_;
    platform::MainLoop::main().post([weak, weakView, timer] {
        auto self = weak.lock();
        // A passback or a stop in between wins over this result.
        if (!self || !timer || self->checkRenderingTimer_ != timer) return;
        self->stopRenderingTimer();
        self->GADBannerAdViewDelegate::adViewDidFinishLoad(weakView.lock());
    });
}

void GADAdNetworkJavaScriptAdViewDelegate::adViewDidFailToRenderContent(const std::shared_ptr<GADAdView>& adView) {
    if (!checkRenderingTimer_) return;
    ++checkRenderingCount_;
    if (checkRenderingCount_ < kMaximumFailedRenderChecks) return;
    // Given up: no more checks, and the load fails on the next turn (the checker is still in its call).
    checkRenderingTimer_->invalidate();
    auto weak = std::weak_ptr<GADAdNetworkJavaScriptAdViewDelegate>(
        std::static_pointer_cast<GADAdNetworkJavaScriptAdViewDelegate>(
            std::static_pointer_cast<GADBannerAdViewDelegate>(weak_from_this().lock())));
    std::weak_ptr<GADAdView> weakView = adView;
    auto timer = checkRenderingTimer_;
    platform::MainLoop::main().post([weak, weakView, timer] {
        auto self = weak.lock();
        if (!self || self->checkRenderingTimer_ != timer) return;
        self->stopRenderingTimer();
        self->adView(weakView.lock(),
                     GADRequestError::errorWithCode(GADRequestErrorNoFill, "Ad check timed out."));
    });
}

} // namespace ruzave
