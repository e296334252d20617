#pragma once
// The public object through which an app asks for native ads: one slot fetches the response, a
// preprocessor runs it through the native support page, the matching native ad is built, loads its
// assets and goes to the delegate. For a mediation response it is the ad's mediation delegate and
// turns the network's native ad into one of ours. Every request ends in exactly one delegate call.
// Main thread.
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ads/core/slot/GADSlotAdLoadDelegate.h"
#include "ads/core/slot/GADSlotAdResponseDelegate.h"
#include "ads/core/slot/GADSlotDelegate.h"
#include "ads/mediation/GADAdMediationDelegate.h"
#include "ads/native/GADAdLoaderDelegate.h"
#include "platform/base/Value.h"

namespace ruzave {

class GADAdLoaderConfiguration;
class GADAdLoaderOptions;
class GADAdPreprocessor;
class GADMediatedNativeAd;
class GADNativeAd;
class GADRequest;
class GADSlot;

class GADAdLoader : public GADSlotDelegate,
                    public GADSlotAdResponseDelegate,
                    public GADSlotAdLoadDelegate,
                    public GADAdMediationDelegate,
                    public std::enable_shared_from_this<GADAdLoader> {
  public:
    // initWithAdUnitID:rootViewController:adTypes:options:
    static std::shared_ptr<GADAdLoader> initWithAdUnitID(const std::string& adUnitID,
                                                         const std::shared_ptr<platform::ViewController>& root,
                                                         const std::vector<std::string>& adTypes,
                                                         const std::vector<std::shared_ptr<GADAdLoaderOptions>>& options);
    ~GADAdLoader() override;

    std::shared_ptr<GADAdLoaderDelegate> delegate() const { return delegate_.lock(); }
    // A delegate that does not take every requested ad type is logged and not set.
    void setDelegate(const std::shared_ptr<GADAdLoaderDelegate>& delegate);
    const std::string& adUnitID() const { return adUnitID_; }
    std::shared_ptr<platform::ViewController> rootViewController() const override { return rootViewController_.lock(); }
    std::shared_ptr<GADAdLoaderConfiguration> adLoaderConfiguration() const { return adLoaderConfiguration_; }
    std::shared_ptr<GADSlot> slot() const { return slot_; }

    void loadRequest(const std::shared_ptr<GADRequest>& request);

    // GADSlotDelegate.
    std::optional<platform::Rect> ownerFrame() const override { return frame(); }
    std::optional<platform::Rect> ownerBounds() const override { return frame(); }
    platform::Rect frame() const;

    // GADSlotAdResponseDelegate.
    bool slotShouldProcessAdResponse(GADSlot& slot, const std::shared_ptr<GADAd>& ad, platform::Error* error) override;
    bool slotShouldProcessMediatedAdResponse(GADSlot& slot, const std::shared_ptr<GADAd>& ad,
                                             platform::Error* error) override;
    // GADSlotAdLoadDelegate.
    void slotFinishedLoadingAdContent(GADSlot&) override {}
    void slotDidFailToLoadAdContentWithError(GADSlot& slot, const platform::Error& error) override;

    // GADAdMediationDelegate.
    std::string connectorClassForAd(const std::shared_ptr<GADAd>& ad) override;
    std::shared_ptr<GADAdLoaderConfiguration> adLoaderConfigurationForAd(const std::shared_ptr<GADAd>& ad) override;
    bool respondsToProcessMediatedAd() const override { return true; }
    void adProcessMediatedAdWithCompletionHandler(
        const std::shared_ptr<GADAd>& ad, const std::shared_ptr<GADMediatedAd>& mediatedAd,
        std::function<void(const std::optional<platform::Error>&)> completionHandler) override;

    void handleFailedRequestWithRequestError(const std::optional<platform::Error>& error);
    void nativeAdDidFinishLoadingAssets(const std::shared_ptr<GADNativeAd>& ad);
    void processMediatedNativeAd(const std::shared_ptr<GADMediatedNativeAd>& mediatedAd,
                                 std::function<void(const std::optional<platform::Error>&)> completionHandler);

    // For tests: the work still held.
    std::size_t pendingPreprocessorCount() const { return adPreprocessors_.size(); }
    std::size_t pendingNativeAdCount() const { return nativeAds_.size(); }

  private:
    GADAdLoader() = default;
    void preprocessingFinished(const std::shared_ptr<GADAdPreprocessor>& preprocessor,
                               const std::optional<platform::Value>& object, const std::shared_ptr<GADSlot>& slot);
    void forgetNativeAd(const std::shared_ptr<GADNativeAd>& ad);
    bool requestsClass(const std::string& className) const;

    std::shared_ptr<GADSlot> slot_;
    std::map<std::string, platform::Value> adClassRequestParameters_;
    std::weak_ptr<GADAdLoaderDelegate> delegate_;
    std::shared_ptr<GADAdLoaderConfiguration> adLoaderConfiguration_;
    std::string adUnitID_;
    std::weak_ptr<platform::ViewController> rootViewController_;
    std::vector<std::shared_ptr<GADAdPreprocessor>> adPreprocessors_;
    std::vector<std::shared_ptr<GADNativeAd>> nativeAds_;
};

} // namespace ruzave
