#pragma once
// Carries out the opens an ad asks for after a click, behind the auto-click gate (while the ad is
// protected, an open needs a real touch on the ad view since its last load), and books each open on
// the slot. So far it leaves the app for other apps and URLs; in-app screens (browser, composers,
// store sheets) are not offered yet and are refused. Main thread.
#include <memory>
#include <optional>
#include <string>

#include "platform/base/URL.h"

namespace platform {
class ViewController;
} // namespace platform

namespace ruzave {

class GADAdView;
class GADSlot;

class GADOpener : public std::enable_shared_from_this<GADOpener> {
  public:
    static std::shared_ptr<GADOpener> init() { return std::shared_ptr<GADOpener>(new GADOpener()); }

    std::shared_ptr<platform::ViewController> viewController() const { return viewController_.lock(); }
    void setViewController(const std::weak_ptr<platform::ViewController>& controller) { viewController_ = controller; }
    const std::optional<platform::URL>& referringURL() const { return referringURL_; }
    void setReferringURL(const std::optional<platform::URL>& url) { referringURL_ = url; }
    std::shared_ptr<GADAdView> adView() const { return adView_.lock(); }
    void setAdView(const std::weak_ptr<GADAdView>& adView) { adView_ = adView; }
    std::shared_ptr<GADSlot> slot() const { return slot_.lock(); }
    void setSlot(const std::weak_ptr<GADSlot>& slot) { slot_ = slot; }
    bool didOpenAnotherApplication() const { return didOpenAnotherApplication_; }
    void setDidOpenAnotherApplication(bool v) { didOpenAnotherApplication_ = v; }
    const std::optional<std::string>& navigationURL() const { return navigationURL_; }
    void setNavigationURL(const std::optional<std::string>& url) { navigationURL_ = url; }
    bool isAutoClickProtected() const { return autoClickProtected_; }
    void setAutoClickProtected(bool on) { autoClickProtected_ = on; }

    // The auto-click gate. A refusal tells the SDK-core page "navigationBlocked".
    bool shouldPerformOpenAction();
    // Leaves the app for `url` on a later main-loop turn, after the slot has been told; nothing when
    // the gate refuses or there is no URL.
    void openApp(const std::optional<platform::URL>& url);
    // Returns whether the open could be performed (the gate passed and there was a URL).
    bool openAppReportingResult(const std::optional<platform::URL>& url);

    // In-app screens are not offered yet: these refuse (they return false and open nothing).
    bool openBrowserToURL(const platform::URL& url, unsigned supportedOrientations);
    bool openEmailComposer(const platform::URL& url);
    bool openSmsComposer(const platform::URL& url);

    // Bookkeeping of an open: the click on the slot and its click URLs.
    void didOpen();
    void didOpenInApp() { didOpen(); }
    void didOpenExternalApp() { didOpen(); }

  private:
    GADOpener() = default;

    std::weak_ptr<platform::ViewController> viewController_;
    std::optional<platform::URL> referringURL_;
    std::weak_ptr<GADAdView> adView_;
    std::weak_ptr<GADSlot> slot_;
    bool didOpenAnotherApplication_ = false;
    std::optional<std::string> navigationURL_;
    bool autoClickProtected_ = false;
};

} // namespace ruzave
