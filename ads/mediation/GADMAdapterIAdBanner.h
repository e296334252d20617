#pragma once
// The banner side of the platform ad network adapter. Two implementations, because the platform's
// banner view changed: the current one fits itself to the asked size; the older one takes only certain
// sizes, set through content size identifiers. Both report through one banner view delegate, naming the
// front adapter. Main thread.
#include <cstdint>
#include <memory>

#include "ads/core/public/GADAdSize.h"
#include "platform/services/PlatformAdBannerView.h"
#include "platform/services/PlatformAdBannerViewDelegate.h"

namespace ruzave {

class GADMAdNetworkAdapter;
class GADMAdNetworkConnector;

class GADMAdapterIAdBanner {
  public:
    // The animation type that a platform banner does not take.
    static constexpr std::int32_t kRefusedAnimationType = 7;

    virtual ~GADMAdapterIAdBanner() = default;
    virtual void initWithGADMAdNetworkConnector(const std::shared_ptr<GADMAdNetworkConnector>& connector,
                                                const std::shared_ptr<GADMAdNetworkAdapter>& adapter) = 0;
    virtual void getBannerWithSize(const GADAdSize& adSize) = 0;
    virtual void stopBeingDelegate() = 0;
    virtual bool isBannerAnimationOK(std::int32_t animationType) { return animationType != kRefusedAnimationType; }
    virtual void changeAdSizeTo(const GADAdSize& adSize) = 0;
    std::shared_ptr<platform::PlatformAdBannerView> bannerView() const { return bannerView_; }

  protected:
    void keepReferences(const std::shared_ptr<GADMAdNetworkConnector>& connector,
                        const std::shared_ptr<GADMAdNetworkAdapter>& adapter);
    // Makes the banner delegate on the first request and makes it the banner view's delegate.
    void attachDelegate();

    std::shared_ptr<platform::PlatformAdBannerView> bannerView_;
    std::shared_ptr<class GADMAdapterIAdBannerDelegate> bannerViewDelegate_;
    std::weak_ptr<GADMAdNetworkConnector> connector_;
    std::weak_ptr<GADMAdNetworkAdapter> adapter_;
};

// From OS 7 on: any size; the view fits itself to it.
class GADMAdapterIAdBannerIOS7 : public GADMAdapterIAdBanner {
  public:
    static bool currentPlatformIsSupported();
    void initWithGADMAdNetworkConnector(const std::shared_ptr<GADMAdNetworkConnector>& connector,
                                        const std::shared_ptr<GADMAdNetworkAdapter>& adapter) override;
    void getBannerWithSize(const GADAdSize& adSize) override;
    void stopBeingDelegate() override;
    void changeAdSizeTo(const GADAdSize& adSize) override { adjustADBannerToAdSize(adSize); }
    void adjustADBannerToAdSize(const GADAdSize& adSize);
};

// From OS 5 to below 7: only the network's sizes, chosen by content size identifier.
class GADMAdapterIAdBannerPreIOS7 : public GADMAdapterIAdBanner {
  public:
    static bool currentPlatformIsSupported();
    void initWithGADMAdNetworkConnector(const std::shared_ptr<GADMAdNetworkConnector>& connector,
                                        const std::shared_ptr<GADMAdNetworkAdapter>& adapter) override;
    void getBannerWithSize(const GADAdSize& adSize) override;
    void stopBeingDelegate() override;
    void changeAdSizeTo(const GADAdSize& adSize) override;
    void adjustADBannerToAdSize();
    bool validPhoneSize(const GADAdSize& adSize) const;
    bool validTabletSize(const GADAdSize& adSize) const;
    bool usePortraitIdentifier() const;
    bool useIOS6API() const { return useIOS6API_; }
    const GADAdSize& adSize() const { return adSize_; }

  private:
    bool useIOS6API_ = false;
    GADAdSize adSize_{};
};

// Turns the platform banner's calls into connector calls naming the front adapter. A full-screen action
// that stays in the app is reported as presented and, once it ends, dismissed; one that leaves the app
// only as a click (no dismissal without a presentation).
class GADMAdapterIAdBannerDelegate : public platform::PlatformAdBannerViewDelegate {
  public:
    GADMAdapterIAdBannerDelegate(std::weak_ptr<GADMAdNetworkConnector> connector,
                                 std::weak_ptr<platform::PlatformAdBannerView> bannerView,
                                 std::weak_ptr<GADMAdNetworkAdapter> adapter);
    void bannerViewDidLoadAd(platform::PlatformAdBannerView& view) override;
    void bannerViewDidFailToReceiveAdWithError(platform::PlatformAdBannerView& view, const platform::Error& error) override;
    bool bannerViewActionShouldBegin(platform::PlatformAdBannerView& view, bool willLeaveApplication) override;
    void bannerViewActionDidFinish(platform::PlatformAdBannerView& view) override;

  private:
    std::weak_ptr<GADMAdNetworkConnector> connector_;
    std::weak_ptr<platform::PlatformAdBannerView> bannerView_;
    std::weak_ptr<GADMAdNetworkAdapter> adapter_;
    bool modalPresented_ = false;
};

} // namespace ruzave
