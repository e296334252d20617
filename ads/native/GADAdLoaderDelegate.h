#pragma once
// The ad loader's delegate protocols: failure for every loader, one receiving protocol per native ad
// type. A delegate takes an ad type by deriving from its protocol. Held weakly. Main thread.
#include <memory>
#include <string>
#include <vector>

#include "platform/base/Error.h"
#include "platform/base/Value.h"

namespace ruzave {

class GADAdLoader;
class GADNativeAppInstallAd;
class GADNativeContentAd;
class GADNativeCustomTemplateAd;

class GADAdLoaderDelegate {
  public:
    virtual ~GADAdLoaderDelegate() = default;
    // adLoader:didFailToReceiveAdWithError:
    virtual void adLoaderDidFailToReceiveAdWithError(GADAdLoader& loader, const platform::Error& error) = 0;
};

class GADNativeContentAdLoaderDelegate : public virtual GADAdLoaderDelegate {
  public:
    // adLoader:didReceiveNativeContentAd:
    virtual void adLoaderDidReceiveNativeContentAd(GADAdLoader& loader, const std::shared_ptr<GADNativeContentAd>& ad) = 0;
};

class GADNativeAppInstallAdLoaderDelegate : public virtual GADAdLoaderDelegate {
  public:
    // adLoader:didReceiveNativeAppInstallAd:
    virtual void adLoaderDidReceiveNativeAppInstallAd(GADAdLoader& loader,
                                                      const std::shared_ptr<GADNativeAppInstallAd>& ad) = 0;
};

class GADNativeCustomTemplateAdLoaderDelegate : public virtual GADAdLoaderDelegate {
  public:
    // The template ids the app can show: strings or numbers (anything else is logged and dropped).
    virtual platform::Value nativeCustomTemplateIDsForAdLoader(GADAdLoader& loader) = 0;
    // adLoader:didReceiveNativeCustomTemplateAd:
    virtual void adLoaderDidReceiveNativeCustomTemplateAd(GADAdLoader& loader,
                                                          const std::shared_ptr<GADNativeCustomTemplateAd>& ad) = 0;
};

// GADDelegateConformsToRequiredProtocol: whether `delegate` takes ads of the native ad class named;
// otherwise false with the internal error 3 naming the protocol and the delegate.
bool GADDelegateConformsToRequiredProtocol(const std::shared_ptr<GADAdLoaderDelegate>& delegate,
                                           const std::string& adClassName, platform::Error* error = nullptr);

} // namespace ruzave
