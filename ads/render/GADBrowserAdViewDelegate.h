#pragma once
// The delegate of the in-app browser's web view. A landing page gets only the link-handling part of
// the script bridge: its pages load in place, mail and text links open the composers, and other
// schemes leave the app through this delegate's opener, which has no slot (nothing opened from inside
// the browser counts as a click). Script messages are dropped unheard, and a page cannot leave the app
// on its own: an open of another scheme must come from a load the user started (the first page, a
// link click or a form submission, with their redirects). The page's load times and link clicks are
// written into the ad's statistics. Main thread.
#include <memory>

#include "ads/render/GADAdViewDelegate.h"

namespace ruzave {

class GADBrowserViewController;
class GADStatisticDictionary;

class GADBrowserAdViewDelegate : public GADAdViewDelegate {
  public:
    static std::shared_ptr<GADBrowserAdViewDelegate> init();

    // The browser controller showing `adView`, when it is a browser ad view.
    static std::shared_ptr<GADBrowserViewController>
    browserControllerForAdView(const std::shared_ptr<GADAdView>& adView);

    std::optional<bool> adView(const std::shared_ptr<GADAdView>& adView, const platform::URLRequest& request,
                               platform::WebViewNavigationType navigationType) override;
    void adViewDidStartLoad(const std::shared_ptr<GADAdView>& adView) override;
    void adViewDidFinishLoad(const std::shared_ptr<GADAdView>& adView) override;
    void adView(const std::shared_ptr<GADAdView>& adView, const platform::Error& error) override;
    using GADAdViewDelegate::adView;

    // Whether the load under way was started by the user (opens of other schemes are allowed then).
    bool isUserActivated() const { return userActivated_; }

  private:
    GADBrowserAdViewDelegate() = default;
    static std::shared_ptr<GADStatisticDictionary>
    statisticsFor(const std::shared_ptr<GADBrowserViewController>& browser);

    // The browser opens on a click, so its first page counts as started by the user.
    bool userActivated_ = true;
};

} // namespace ruzave
