#pragma once
// The public view of native express ads, which load and show exactly like a banner: it wraps one banner
// view that fills it, forwards the banner's properties and -loadRequest:, and passes the banner's events
// on to its own delegate with itself as the sender. Main thread.
#include <memory>
#include <optional>
#include <string>

#include "ads/core/public/GADAdSize.h"
#include "ads/core/public/GADBannerViewDelegate.h"
#include "platform/ui/View.h"

namespace ruzave {

class GADBannerView;
class GADNativeExpressAdViewDelegate;
class GADRequest;

class GADNativeExpressAdView : public platform::View, public GADBannerViewDelegate {
  public:
    // initWithFrame:adSize: — nullptr when the banner refuses the size.
    static std::shared_ptr<GADNativeExpressAdView> initWithFrame(platform::Rect frame, const GADAdSize& adSize);
    static std::shared_ptr<GADNativeExpressAdView> initWithFrame(platform::Rect frame);
    static std::shared_ptr<GADNativeExpressAdView> initWithAdSize(const GADAdSize& adSize);
    static std::shared_ptr<GADNativeExpressAdView> initWithAdSize(const GADAdSize& adSize, platform::Point origin);

    void loadRequest(const std::shared_ptr<GADRequest>& request);
    std::string adUnitID() const;
    void setAdUnitID(const std::string& adUnitID);
    std::shared_ptr<platform::ViewController> rootViewController() const;
    void setRootViewController(const std::shared_ptr<platform::ViewController>& controller);
    GADAdSize adSize() const;
    void setAdSize(const GADAdSize& adSize);
    bool isAutoloadEnabled() const;
    void setAutoloadEnabled(bool enabled);
    std::optional<std::string> adNetworkClassName() const;
    std::shared_ptr<GADNativeExpressAdViewDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(const std::weak_ptr<GADNativeExpressAdViewDelegate>& d) { delegate_ = d; }
    std::shared_ptr<GADBannerView> bannerView() const { return bannerView_; }

    // GADBannerViewDelegate.
    void adViewDidReceiveAd(GADBannerView&) override;
    void adViewDidFailToReceiveAdWithError(GADBannerView&, const platform::Error& error) override;
    void adViewWillPresentScreen(GADBannerView&) override;
    void adViewWillDismissScreen(GADBannerView&) override;
    void adViewDidDismissScreen(GADBannerView&) override;
    void adViewWillLeaveApplication(GADBannerView&) override;

  private:
    explicit GADNativeExpressAdView(platform::Rect frame) : platform::View(frame) {}
    void commonInit();

    std::shared_ptr<GADBannerView> bannerView_;
    std::weak_ptr<GADNativeExpressAdViewDelegate> delegate_;
};

} // namespace ruzave
