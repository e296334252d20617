#pragma once
// The publisher interstitial: an interstitial that shares a correlator with the other ads of a page
// view, passes the creative's app events on, and can hand its ad to the app to render and present
// itself (after which it refuses to present the ad on its own). Main thread.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "ads/core/public/GADInterstitial.h"
#include "ads/core/public/VODCustomRenderedAdDelegate.h"

namespace ruzave {

class GADAppEventDelegate;
class GADCorrelator;
class VODCustomRenderedInterstitialDelegate;

class VODInterstitial : public GADInterstitial, public VODCustomRenderedAdDelegate {
  public:
    static constexpr const char* kCustomRenderingPresentMessage =
        "Error: Custom ad rendering is enabled. Please present interstitial view from rootViewController manually.";

    static std::shared_ptr<VODInterstitial> initWithAdUnitID(const std::optional<std::string>& adUnitID);
    static std::shared_ptr<VODInterstitial> init() { return initWithAdUnitID(std::nullopt); }

    // The slot correlator's identifier when the last request started; 0 before any.
    std::uint32_t previousCorrelationID() const { return previousCorrelationID_; }
    std::shared_ptr<GADCorrelator> correlator() const;
    void setCorrelator(const std::shared_ptr<GADCorrelator>& correlator);
    // Whether an ad was handed to the app to render itself.
    bool isCustomAdRenderingEnabled() const { return customAdRenderingEnabled_; }
    void setCustomAdRenderingEnabled(bool enabled) { customAdRenderingEnabled_ = enabled; }

    std::shared_ptr<GADAppEventDelegate> appEventDelegate() const { return appEventDelegate_.lock(); }
    void setAppEventDelegate(const std::weak_ptr<GADAppEventDelegate>& d) { appEventDelegate_ = d; }
    std::shared_ptr<VODCustomRenderedInterstitialDelegate> customRenderedInterstitialDelegate() const {
        return customRenderedInterstitialDelegate_.lock();
    }
    void setCustomRenderedInterstitialDelegate(const std::weak_ptr<VODCustomRenderedInterstitialDelegate>& d) {
        customRenderedInterstitialDelegate_ = d;
    }

    // Refused, with a log line, while the app renders the ad itself.
    void presentFromRootViewController(const std::shared_ptr<platform::ViewController>& root) override;

    // --- VODCustomRenderedAdDelegate.
    void recordClick() override;
    void recordCustomAdImpression() override;
    void finishedRenderingAdView(const std::shared_ptr<platform::View>& view) override;

    // --- GADSlotDelegate: the questions only publisher objects answer.
    void slotWillLoadAdWithRequest(GADSlot& slot, const std::shared_ptr<GADRequest>& request) override;
    std::optional<bool> slotShouldPreemptInProgressRequest(GADSlot& slot) override;
    void slotDidReceiveAppEventWithInfo(GADSlot& slot, const std::string& name,
                                        const std::optional<std::string>& info) override;
    std::optional<bool> slotNotifyPublisherToRenderCustomRenderingAd(GADSlot& slot, const std::shared_ptr<GADAd>& ad,
                                                                     platform::Error* error) override;

    std::string description() const;

  private:
    VODInterstitial() = default;

    std::uint32_t previousCorrelationID_ = 0;
    bool customAdRenderingEnabled_ = false;
    std::weak_ptr<GADAppEventDelegate> appEventDelegate_;
    std::weak_ptr<VODCustomRenderedInterstitialDelegate> customRenderedInterstitialDelegate_;
};

} // namespace ruzave
