#pragma once
// The publisher banner: a banner that shares a correlator with the other ads of a page view, accepts
// several sizes and says when it takes another, passes the creative's app events on, counts its
// impressions by hand when asked, and can hand its ads to the app to render itself. Main thread.
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>

#include "ads/core/public/GADBannerView.h"
#include "ads/core/public/VODCustomRenderedAdDelegate.h"

namespace ruzave {

class GADAdSizeDelegate;
class GADAppEventDelegate;
class GADCorrelator;
class VODCustomRenderedBannerViewDelegate;

class VODBannerView : public GADBannerView, public VODCustomRenderedAdDelegate {
  public:
    static std::shared_ptr<VODBannerView> initWithFrame(platform::Rect frame, const GADAdSize& adSize);
    static std::shared_ptr<VODBannerView> initWithAdSize(const GADAdSize& adSize);
    static std::shared_ptr<VODBannerView> initWithAdSize(const GADAdSize& adSize, platform::Point origin);
    static std::shared_ptr<VODBannerView> initWithFrame(platform::Rect frame);
    static std::shared_ptr<VODBannerView> init();

    // The slot correlator's identifier when the last request started; 0 before any.
    std::uint32_t previousCorrelationID() const { return previousCorrelationID_; }
    std::shared_ptr<GADCorrelator> correlator() const;
    void setCorrelator(const std::shared_ptr<GADCorrelator>& correlator);
    bool enableManualImpressions() const;
    void setEnableManualImpressions(bool enable);

    std::shared_ptr<GADAppEventDelegate> appEventDelegate() const { return appEventDelegate_.lock(); }
    void setAppEventDelegate(const std::weak_ptr<GADAppEventDelegate>& d) { appEventDelegate_ = d; }
    std::shared_ptr<GADAdSizeDelegate> adSizeDelegate() const { return adSizeDelegate_.lock(); }
    void setAdSizeDelegate(const std::weak_ptr<GADAdSizeDelegate>& d) { adSizeDelegate_ = d; }
    std::shared_ptr<VODCustomRenderedBannerViewDelegate> customRenderedBannerViewDelegate() const {
        return customRenderedBannerViewDelegate_.lock();
    }
    void setCustomRenderedBannerViewDelegate(const std::weak_ptr<VODCustomRenderedBannerViewDelegate>& d) {
        customRenderedBannerViewDelegate_ = d;
    }

    // Boxed sizes (NSValueFromGADAdSize), in order; nullopt when none were given. The slot reads them
    // through validAdSizes() below.
    void setValidAdSizes(const std::optional<platform::Value>& sizes) { validAdSizes_ = sizes; }
    // setValidAdSizesWithSizes: the sizes up to the first null pointer, boxed in order.
    void setValidAdSizesWithSizes(std::initializer_list<const GADAdSize*> sizes);
    // Takes the size without a new request.
    void resize(const GADAdSize& size);
    // The manual impression report of a banner whose impressions are counted by hand.
    void recordImpression();

    // --- VODCustomRenderedAdDelegate.
    void recordClick() override;
    void recordCustomAdImpression() override;
    void finishedRenderingAdView(const std::shared_ptr<platform::View>& view) override;

    // --- GADSlotDelegate: the questions only publisher objects answer.
    std::optional<platform::Value> validAdSizes() const override { return validAdSizes_; }
    void slotWillLoadAdWithRequest(GADSlot& slot, const std::shared_ptr<GADRequest>& request) override;
    std::optional<bool> slotShouldPreemptInProgressRequest(GADSlot& slot) override;
    void slotDidReceiveAppEventWithInfo(GADSlot& slot, const std::string& name,
                                        const std::optional<std::string>& info) override;
    void slotWillResizeToAdSize(GADSlot& slot, const GADAdSize& size) override;
    std::optional<bool> slotNotifyPublisherToRenderCustomRenderingAd(GADSlot& slot, const std::shared_ptr<GADAd>& ad,
                                                                     platform::Error* error) override;

    std::string description() const;

  protected:
    explicit VODBannerView(platform::Rect frame) : GADBannerView(frame) {}
    std::string className() const override { return "VODBannerView"; }

  private:
    std::uint32_t previousCorrelationID_ = 0;
    std::weak_ptr<GADAppEventDelegate> appEventDelegate_;
    std::weak_ptr<GADAdSizeDelegate> adSizeDelegate_;
    std::weak_ptr<VODCustomRenderedBannerViewDelegate> customRenderedBannerViewDelegate_;
    std::optional<platform::Value> validAdSizes_;
};

} // namespace ruzave
