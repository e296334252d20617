#pragma once
// The owner of a mediated ad (banner view, interstitial, ad loader): names the connector class for its
// ad and, for native ads, the loader configuration and the publisher's processing. Held weakly by the
// ad. Main thread.
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/base/Error.h"

namespace ruzave {

class GADAd;
class GADAdLoaderConfiguration;
class GADMediatedAd;

class GADAdMediationDelegate {
  public:
    virtual ~GADAdMediationDelegate() = default;

    // The connector class name ("GADMAdNetworkConnectorBanner", ...).
    virtual std::string connectorClassForAd(const std::shared_ptr<GADAd>& ad) = 0;
    // nullptr: the delegate does not answer.
    virtual std::shared_ptr<GADAdLoaderConfiguration> adLoaderConfigurationForAd(const std::shared_ptr<GADAd>&) {
        return nullptr;
    }
    // ad:processMediatedAd:withCompletionHandler: — answered only when respondsToProcessMediatedAd().
    // The completion takes the error of a failed processing, nullopt on success.
    virtual bool respondsToProcessMediatedAd() const { return false; }
    virtual void adProcessMediatedAdWithCompletionHandler(
        const std::shared_ptr<GADAd>& /*ad*/, const std::shared_ptr<GADMediatedAd>& /*mediatedAd*/,
        std::function<void(const std::optional<platform::Error>&)> /*completionHandler*/) {}
};

} // namespace ruzave
