#pragma once
// What an ad view tells its delegate about its page; every method is optional. Held weakly by the ad
// view. Main thread.
#include <memory>
#include <optional>

#include "platform/base/Error.h"
#include "platform/net/URLRequest.h"
#include "platform/ui/Geometry.h"
#include "platform/web/WebViewNavigationType.h"

namespace ruzave {

class GADAdView;
class GADOpener;

class GADAdViewDelegate : public std::enable_shared_from_this<GADAdViewDelegate> {
  public:
    static std::shared_ptr<GADAdViewDelegate> init();
    virtual ~GADAdViewDelegate() = default;

    // adView:shouldStartLoadWithRequest:navigationType:; nullopt lets the load go ahead.
    virtual std::optional<bool> adView(GADAdView& adView, const platform::URLRequest& request,
                                       platform::WebViewNavigationType navigationType);
    virtual void adViewDidStartLoad(GADAdView& adView);
    virtual void adViewDidFinishLoad(GADAdView& adView);
    // adView:didFailLoadWithError:
    virtual void adView(GADAdView& adView, const platform::Error& error);
    // adView:contentSizeDidChange:
    virtual void adView(GADAdView& adView, platform::Size contentSize);

    // Carries out the creative's open actions.
    std::shared_ptr<GADOpener> opener() const { return opener_; }

  protected:
    GADAdViewDelegate();
    // The opener reports back to this delegate; factories call this once the object is shared.
    void attachOpener();

  private:
    std::shared_ptr<GADOpener> opener_;
};

} // namespace ruzave
