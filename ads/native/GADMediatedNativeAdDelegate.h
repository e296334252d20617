#pragma once
// What an ad network adapter hears of its native ad once the SDK shows it: rendering, the impression and
// clicks on assets. Every method has a default body. Main thread.
#include <memory>
#include <string>

namespace platform {
class View;
class ViewController;
} // namespace platform

namespace ruzave {

class GADMediatedNativeAd;

class GADMediatedNativeAdDelegate {
  public:
    virtual ~GADMediatedNativeAdDelegate() = default;
    // mediatedNativeAd:didRenderInView:
    virtual void mediatedNativeAdDidRenderInView(GADMediatedNativeAd&, const std::shared_ptr<platform::View>&) {}
    virtual void mediatedNativeAdDidRecordImpression(GADMediatedNativeAd&) {}
    // mediatedNativeAd:didRecordClickOnAssetWithName:view:viewController:
    virtual void mediatedNativeAdDidRecordClickOnAssetWithName(GADMediatedNativeAd&, const std::string&,
                                                               const std::shared_ptr<platform::View>&,
                                                               const std::shared_ptr<platform::ViewController>&) {}
};

} // namespace ruzave
