#pragma once
// What a native ad view does on the SDK's behalf: pins the attribution badge to its top-right corner and
// lays the ad's overlay view over it, turns a tap into a click on one named asset with a description of
// where every asset lies, and records the impression as soon as the view is visible, watching it until
// it is, through an active-view monitor that exists only while it waits. One per ad view, living as long
// as it. Main thread.
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ads/core/telemetry/GADActiveViewMonitorDelegate.h"
#include "platform/base/Value.h"
#include "platform/ui/GestureRecognizer.h"
#include "platform/ui/Geometry.h"

namespace platform {
class View;
}

namespace ruzave {

class GADActiveViewMonitor;
class GADNativeAdAttributionView;
class GADNativeStandardAd;
class GADOverlayView;

class GADNativeAdViewPolicy : public platform::GestureRecognizerDelegate,
                              public GADActiveViewMonitorDelegate,
                              public std::enable_shared_from_this<GADNativeAdViewPolicy> {
  public:
    // initWithAdView:attributionIconAssetName:attributionTextAssetName: — nil when any is missing.
    static std::shared_ptr<GADNativeAdViewPolicy> initWithAdView(const std::shared_ptr<platform::View>& adView,
                                                                 const std::string& attributionIconAssetName,
                                                                 const std::string& attributionTextAssetName);
    ~GADNativeAdViewPolicy() override;

    std::shared_ptr<GADNativeStandardAd> nativeAd() const { return nativeAd_; }
    void setNativeAd(const std::shared_ptr<GADNativeStandardAd>& ad);
    std::shared_ptr<GADNativeStandardAd> delegate() const { return delegate_.lock(); }
    void setDelegate(const std::weak_ptr<GADNativeStandardAd>& d) { delegate_ = d; }

    // replaceAssetWithName:withAssetView:weakReferencePointer:
    void replaceAssetWithName(const std::string& name, const std::shared_ptr<platform::View>& view,
                              std::weak_ptr<platform::View>& field);
    void adViewDidLayoutSubviews();
    void adViewDidMoveToSuperview() { adViewDidLayoutSubviews(); }
    // A tap at `location` in the ad view's coordinates.
    void handleTapAtLocation(platform::Point location);
    platform::Value tapHandlingEnvironmentWithTapLocation(platform::Point location) const;
    std::shared_ptr<GADNativeAdAttributionView> attributionView() const { return attributionView_; }
    // The monitor watching for the impression; present only while the policy waits for the view to show.
    std::shared_ptr<GADActiveViewMonitor> impressionMonitor() const { return impressionMonitor_; }
    bool isMonitoringImpression() const { return impressionMonitor_ != nullptr; }

    void activeViewMonitorDidRefresh(GADActiveViewMonitor& monitor) override;

    bool gestureRecognizerShouldRecognizeSimultaneously(platform::GestureRecognizer&, platform::GestureRecognizer&) override {
        return true;
    }

  private:
    GADNativeAdViewPolicy() = default;
    void addAttributionViewAndUserInteractionToAdView();
    void updateAttributionView();
    void updateOverlay();
    void orderViews();
    void checkForImpression();
    void startImpressionMonitoring();
    void stopImpressionMonitoring();
    void recordImpression();
    // The registered asset views still alive, in registration order.
    std::vector<std::pair<std::shared_ptr<platform::View>, std::string>> assetViews() const;
    platform::Rect frameInAdView(const platform::View& view) const;

    std::shared_ptr<GADNativeAdAttributionView> attributionView_;
    std::weak_ptr<platform::View> adView_;
    std::weak_ptr<GADOverlayView> overlayView_;
    std::vector<std::pair<std::weak_ptr<platform::View>, std::string>> assetViewAssetNames_;
    std::string attributionIconAssetName_;
    std::string attributionTextAssetName_;
    std::shared_ptr<GADActiveViewMonitor> impressionMonitor_;
    std::weak_ptr<GADNativeStandardAd> delegate_;
    std::shared_ptr<GADNativeStandardAd> nativeAd_;
};

} // namespace ruzave
