#include "ads/render/GADAdAppAdViewDelegate.h"

#include "ads/core/public/GADAdType.h"
#include "ads/core/slot/GADAd.h"
#include "ads/core/slot/GADSlot.h"
#include "ads/core/telemetry/GADAbsoluteTime.h"
#include "ads/core/telemetry/GADStatisticDictionary.h"
#include "ads/render/GADAdAppGMSGHandler.h"
#include "ads/render/GADAppEventGMSGHandler.h"
#include "ads/render/GADMRAIDInterceptor.h"
#include "ads/render/GADOpener.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/runloop/MainLoop.h"

namespace ruzave {
namespace {

std::shared_ptr<GADStatisticDictionary> currentAdStatistics(const std::shared_ptr<GADSlot>& slot) {
    auto ad = slot ? slot->ad() : nullptr;
    return ad ? ad->statistics() : nullptr;
}

} // namespace

std::shared_ptr<GADAdAppAdViewDelegate> GADAdAppAdViewDelegate::initWithSlot(const std::weak_ptr<GADSlot>& slot) {
    std::shared_ptr<GADAdAppAdViewDelegate> delegate(new GADAdAppAdViewDelegate(slot));
    delegate->opener()->setSlot(slot);
    delegate->addDefaultHandlers();
    delegate->addGMSGHandler(GADAdAppGMSGHandler::init());
    auto strongSlot = slot.lock();
    auto type = strongSlot ? strongSlot->adType() : nullptr;
    if (type && type->isInterstitial()) delegate->addGMSGHandler(GADAppEventGMSGHandler::initWithSlot(strongSlot));
    return delegate;
}

GADAdAppAdViewDelegate::~GADAdAppAdViewDelegate() {
    giveBackEnable();
}

void GADAdAppAdViewDelegate::giveBackEnable() {
    if (!holdsEnable_) return;
    holdsEnable_ = false;
    GADMRAIDInterceptor::disableCanInitWithRequest(this);
}

std::optional<bool> GADAdAppAdViewDelegate::adView(const std::shared_ptr<GADAdView>& adView,
                                                   const platform::URLRequest& request,
                                                   platform::WebViewNavigationType navigationType) {
    auto routing = route(adView, request, navigationType);
    // A link the opener or a script message took over is counted there, once and only when something
    // really opens; this ping is for the links that the page follows itself. A dropped link (a fragment
    // of this page, "file:", no URL at all) goes nowhere and is no click: a "#" link whose click
    // handler opens something is counted by that open alone.
    const bool follows = routing.answer.value_or(true) && !routing.takenOver;
    if (navigationType == platform::WebViewNavigationType::LinkClicked && follows &&
        platform::UserDefaults::standard()->string(kDisableClickPingKey) != std::optional<std::string>("1")) {
        std::weak_ptr<GADSlot> weakSlot = slot_;
        platform::MainLoop::main().post([weakSlot] {
            if (auto slot = weakSlot.lock()) slot->pingClickURLs();
        });
    }
    return routing.answer;
}

void GADAdAppAdViewDelegate::adViewDidStartLoad(const std::shared_ptr<GADAdView>& adView) {
    if (auto statistics = currentAdStatistics(slot_.lock())) {
        if (!statistics->objectForKey("tlanding_page_load_start")) {
            statistics->setObject(GADAbsoluteTime::absoluteTimeInMilliseconds(), "tlanding_page_load_start", true);
        }
    }
    if (!holdsEnable_) {
        holdsEnable_ = true;
        GADMRAIDInterceptor::enableCanInitWithRequest(this);
    }
    GADAdViewDelegate::adViewDidStartLoad(adView);
}

void GADAdAppAdViewDelegate::adViewDidFinishLoad(const std::shared_ptr<GADAdView>& adView) {
    if (auto statistics = currentAdStatistics(slot_.lock())) {
        statistics->setObject(GADAbsoluteTime::absoluteTimeInMilliseconds(), "tlanding_page_load_end", true);
    }
    giveBackEnable();
    GADAdViewDelegate::adViewDidFinishLoad(adView);
}

void GADAdAppAdViewDelegate::adView(const std::shared_ptr<GADAdView>& adView, const platform::Error& error) {
    giveBackEnable();
    GADAdViewDelegate::adView(adView, error);
}

} // namespace ruzave
