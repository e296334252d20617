#pragma once
// Carries out the opens an ad asks for after a click: leaving the app for another app or URL (with a
// confirmation alert for schemes such as "tel"), the store product sheet, the in-app browser, MRAID
// expand and resize, full-screen web apps, the mail and text composers and the calendar editor. Each
// open passes the auto-click gate first (while the ad is protected, an open needs a real touch on the
// ad view since its last load) and, once really performed, is booked on the slot as a click. In-app
// screens take part in the slot's full-screen period. Main thread.
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/base/URL.h"
#include "platform/base/Value.h"
#include "platform/services/EventEditViewControllerDelegate.h"
#include "platform/services/MailComposerDelegate.h"
#include "platform/services/MessageComposerDelegate.h"
#include "platform/services/ProductViewControllerDelegate.h"
#include "platform/ui/AlertView.h"
#include "platform/web/WebDocumentRef.h"

namespace platform {
class ProductViewController;
class ViewController;
class WebView;
} // namespace platform

namespace ruzave {

class GADAdAppViewController;
class GADAdView;
class GADMRAIDEventHandling;
class GADMRAIDResizeProperties;
class GADSlot;
class GADSupplementalAdAppViewController;

class GADOpener : public std::enable_shared_from_this<GADOpener>,
                  public platform::AlertViewDelegate,
                  public platform::MailComposerDelegate,
                  public platform::MessageComposerDelegate,
                  public platform::EventEditViewControllerDelegate,
                  public platform::ProductViewControllerDelegate {
  public:
    static constexpr const char* kConfirmSchemesKey = "/ruzave/ads/clickthrough_confirm_schemes";
    static constexpr const char* kExpandNotAllowed = "Expanding an ad is not allowed until the user interacts with the ad.";
    static constexpr const char* kResizeNotAllowed = "Resizing an ad is not allowed until the user interacts with the ad.";
    static constexpr const char* kCalendarNotAllowed =
        "Creating calendar events is not allowed until the user interacts with the ad.";
    static constexpr const char* kOpenNotAllowed = "Opening a URL of this kind is not allowed.";
    static constexpr const char* kExpandRefused = "Cannot expand the ad while another screen is shown.";
    static constexpr double kComposerRetryDelay = 0.25;
    // A full-screen ad animates in well within this; a composer is not retried forever.
    static constexpr int kMaximumComposerRetries = 40;
    // A store product id past this is refused, at fetch and at open, as a purchase's is.
    static constexpr std::size_t kMaximumProductIDLength = 1024;
    // Store sheets kept per opener, loaded and still loading together; past it the oldest goes.
    static constexpr std::size_t kMaximumStoreSheets = 4;

    static std::shared_ptr<GADOpener> init() { return std::shared_ptr<GADOpener>(new GADOpener()); }
    // Composers still waiting to go up are let go.
    ~GADOpener() override;

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
    // Store sheets kept whose product has loaded, and those still loading.
    std::size_t cachedStoreProductViewControllerCount() const;
    std::size_t loadingStoreProductViewControllerCount() const;

    // The auto-click gate. A refusal tells the SDK-core page "navigationBlocked".
    bool shouldPerformOpenAction();
    // The gate, after the ad view's window allows one of the orientations.
    bool shouldPerformOpenActionWithOrientations(std::uint32_t mask);
    bool canOpenContent(bool hasContent) const;

    // Leaves the app for `url` on a later main-loop turn, after the slot has been told; nothing when
    // the gate refuses or there is no URL; an alert first for schemes that ask for confirmation. URLs
    // that would run script or read data in the app (or have no scheme) are refused and reported.
    void openApp(const std::optional<platform::URL>& url);
    // Whether the app is being left now (false too while a confirmation alert waits).
    bool openAppReportingResult(const std::optional<platform::URL>& url);
    std::optional<std::string> confirmationMessageForURL(const platform::URL& url) const;
    void confirmClickToURL(const platform::URL& url, const std::string& message);
    void alertViewClickedButtonAtIndex(platform::AlertView& alert, long index) override;
    void alertViewDidDismissWithButtonIndex(platform::AlertView& alert, long index) override;
    bool isAllowedAppURL(const platform::URL& url) const { return allowedAppURLs_.count(url.absoluteString()) > 0; }

    // Presents the in-app browser on `url` (the referring URL's host as "Referer") when the window allows
    // one of the orientations and the gate passes; whether it went up.
    bool openBrowserToURL(const platform::URL& url, unsigned supportedOrientations);

    // --- Store sheet. Sheets are kept by the store item they load (the product id's integer value).
    void openInAppStoreWithProductID(const std::string& productID, const std::optional<platform::URL>& fallbackURL,
                                     bool shouldWaitForFetch);
    void fetchInAppStoreForProductID(const std::string& productID);
    void productViewControllerDidFinish(platform::ProductViewController& controller) override;

    // --- In-app purchase: after the gate, the purchase goes to the slot's in-app-purchase delegate. Its
    // report URLs are pings of `page`, the document that named them.
    void openInAppPurchase(const std::string& productID, long quantity,
                           const std::vector<std::string>& reportingURLStringFormats,
                           platform::WebDocumentRef page);

    // --- Full-screen web apps, MRAID expand and resize.
    void openWebApp(const std::optional<platform::URL>& url, std::uint32_t orientations, bool useCustomClose);
    void openWebAppWithHTML(const std::optional<std::string>& html, std::uint32_t orientations, bool useCustomClose);
    void expandToWebAppWithSupportedOrientations(std::uint32_t orientations, bool useCustomClose);
    void openWebAppWithResizeProperties(const std::shared_ptr<GADMRAIDResizeProperties>& properties);
    std::shared_ptr<GADSupplementalAdAppViewController> overlayWithOrientations(std::uint32_t orientations,
                                                                               bool useCustomClose);
    void disableAutoCollapseForResize();

    // --- Composers and the calendar.
    bool openEmailComposer(const platform::URL& url);
    bool openSmsComposer(const platform::URL& url);
    void presentComposerController(const std::shared_ptr<platform::ViewController>& composer);
    void openCalendarWithDictionary(const platform::Value& dictionary);
    void mailComposeControllerDidFinishWithResult(platform::MailComposer& controller,
                                                  platform::MailComposerDelegate::Result result,
                                                  const std::optional<platform::Error>& error) override;
    void messageComposeViewControllerDidFinishWithResult(platform::MessageComposer& controller,
                                                         platform::MessageComposerDelegate::Result result) override;
    void eventEditViewControllerDidCompleteWithAction(platform::EventEditViewController& controller,
                                                      platform::EventEditViewControllerDelegate::Action action) override;

    // The MRAID event handler of the slot's current ad: nullptr until the ad's MRAID has loaded.
    std::shared_ptr<GADMRAIDEventHandling> MRAIDEventHandler() const;
    // Tells the ad that an open failed ("onError"), through its MRAID event handler; nothing without one.
    void reportError(const std::string& message, const std::string& action);

    // Bookkeeping of an open: the click on the slot and its click URLs.
    void didOpen();
    void didOpenInApp() { didOpen(); }
    void didOpenExternalApp() { didOpen(); }

  private:
    GADOpener() = default;
    void reportResized(const std::shared_ptr<GADMRAIDResizeProperties>& properties);
    void presentOverlay(const std::shared_ptr<GADSupplementalAdAppViewController>& overlay);
    void presentComposerController(const std::shared_ptr<platform::ViewController>& composer, int attempt);
    void presentStoreSheet(const std::shared_ptr<platform::ViewController>& sheet);
    // False, with a log line, for a product id too long to be any store's.
    static bool isAcceptableProductID(const std::string& productID, const char* action);
    // A composer that will not go up, or went down without a result, lets go of its delegate proxy
    // (which holds it while it is up) and of this opener, so that nothing keeps either alive.
    static void abandonComposer(platform::ViewController& composer);
    // The composer or editor leaves through its proxy, or its presenter dismisses it.
    // A finished composer is taken down on the next main-queue turn; its proxy then stops proxying.
    template <class Proxy, class Composer>
    static void takeDownFinishedComposer(Composer& controller);

    std::weak_ptr<platform::ViewController> viewController_;
    std::optional<platform::URL> referringURL_;
    std::weak_ptr<GADAdView> adView_;
    std::weak_ptr<GADSlot> slot_;
    bool didOpenAnotherApplication_ = false;
    std::optional<std::string> navigationURL_;
    bool autoClickProtected_ = false;
    struct StoreSheet {
        long long item;
        std::shared_ptr<platform::ProductViewController> sheet;
        bool loaded;
    };
    // Oldest first, one per store item, at most kMaximumStoreSheets.
    std::deque<StoreSheet> storeSheets_;
    std::map<const platform::AlertView*, platform::URL> confirmationAlertURLs_;
    std::set<std::string> allowedAppURLs_;
    // Held while a confirmation alert is on screen: the alert only knows its delegate weakly.
    std::shared_ptr<GADOpener> selfWhileConfirming_;
    // Composers waiting for a full-screen ad to finish coming up: they are this opener's to show, and
    // go with it when it goes first.
    std::vector<std::shared_ptr<platform::ViewController>> waitingComposers_;
};

} // namespace ruzave
