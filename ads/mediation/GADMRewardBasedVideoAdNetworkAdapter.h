#pragma once
// What a reward-based video adapter implements. Adapters register under their class name with the
// protocol "GADMRewardBasedVideoAdNetworkAdapter" and the C++ base GADMRewardBasedVideoAdNetworkAdapter;
// they keep their connector weakly and call it back on the main thread. Main thread.
#include <memory>
#include <optional>
#include <string>

namespace platform {
class ViewController;
}

namespace ruzave {

class GADMRewardBasedVideoAdNetworkConnector;

class GADMRewardBasedVideoAdNetworkAdapter {
  public:
    static constexpr const char* kProtocolName = "GADMRewardBasedVideoAdNetworkAdapter";

    virtual ~GADMRewardBasedVideoAdNetworkAdapter() = default;

    // initWithGADMAdNetworkConnector: — the registry makes the instance, the connector then hands
    // itself over.
    virtual void initWithGADMAdNetworkConnector(
        const std::shared_ptr<GADMRewardBasedVideoAdNetworkConnector>& connector) = 0;
    virtual void setUpWithUserID(const std::optional<std::string>& userID) = 0;
    virtual void requestRewardBasedVideoAd() = 0;
    virtual void presentRewardBasedVideoAdWithRootViewController(
        const std::shared_ptr<platform::ViewController>& rootViewController) = 0;
    virtual void stopBeingDelegate() = 0;
    // The class methods +adapterVersion and +networkExtrasClass.
    virtual std::string adapterVersion() const = 0;
    virtual std::optional<std::string> networkExtrasClass() const = 0;

    // Whether the named class is registered as a reward-based video adapter.
    static bool classConformsToProtocol(const std::string& className);
    // A new instance of the named adapter class, or nullptr.
    static std::shared_ptr<GADMRewardBasedVideoAdNetworkAdapter> createAdapter(const std::string& className);
};

} // namespace ruzave
