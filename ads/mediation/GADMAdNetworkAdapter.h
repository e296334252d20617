#pragma once
// What an ad network adapter implements (one adapter serves one network attempt and reports to its
// connector on the main thread), and the class checks that find adapters by name in the class
// registry. Adapters register under their class name with the protocol "GADMAdNetworkAdapter" and the
// C++ base GADMAdNetworkAdapter. Main thread (the class checks: any thread).
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "ads/core/public/GADAdSize.h"

namespace platform {
class ViewController;
}

namespace ruzave {

class GADAdLoaderOptions;
class GADMAdNetworkConnector;

class GADMAdNetworkAdapter {
  public:
    static constexpr const char* kProtocolName = "GADMAdNetworkAdapter";
    static constexpr const char* kRewardBasedVideoProtocolName = "GADMRewardBasedVideoAdNetworkAdapter";

    virtual ~GADMAdNetworkAdapter() = default;

    // initWithGADMAdNetworkConnector: — the registry makes the instance, the connector then hands
    // itself over. Adapters keep it weakly.
    virtual void initWithGADMAdNetworkConnector(const std::shared_ptr<GADMAdNetworkConnector>& connector) = 0;
    virtual void getBannerWithSize(const GADAdSize& adSize) = 0;
    virtual void getInterstitial() = 0;
    virtual void stopBeingDelegate() = 0;
    virtual bool isBannerAnimationOK(std::int32_t animationType) = 0;
    virtual void presentInterstitialFromRootViewController(
        const std::shared_ptr<platform::ViewController>& rootViewController) = 0;
    // +adapterVersion; nullopt: the adapter does not answer.
    virtual std::optional<std::string> adapterVersion() const { return std::nullopt; }
    // +networkExtrasClass: the extras class name the publisher registers for this network; nullopt:
    // the adapter does not answer.
    virtual std::optional<std::string> networkExtrasClass() const { return std::nullopt; }

    // Capabilities the connector and the class checks probe for. An adapter of the old interface
    // answers false to both get-methods.
    virtual bool respondsToGetBannerWithSize() const { return true; }
    virtual bool respondsToGetInterstitial() const { return true; }
    virtual bool respondsToGetNativeAd() const { return false; }
    virtual void getNativeAdWithAdTypes(const std::vector<std::string>& /*adTypes*/,
                                        const std::vector<std::shared_ptr<GADAdLoaderOptions>>& /*options*/) {}
    virtual bool respondsToChangeAdSize() const { return false; }
    virtual void changeAdSizeTo(const GADAdSize& /*adSize*/) {}

    // The name of the class the registry made this adapter from; empty for one made otherwise.
    const std::string& className() const { return className_; }

    // --- Class checks over registered class names.
    // Instances answer getBannerWithSize: or getInterstitial, or the class is a reward-video adapter.
    static bool classImplementsCurrentAdapterAPI(const std::string& className);
    static bool classIsAdapterClass(const std::string& className);
    // The names whose class is registered as conforming to GADMAdNetworkAdapter.
    static std::set<std::string> availableAdapterNamesInSet(const std::set<std::string>& names);
    // A new instance of the named adapter class, or nullptr.
    static std::shared_ptr<GADMAdNetworkAdapter> createAdapter(const std::string& className);

  private:
    std::string className_;
};

} // namespace ruzave
