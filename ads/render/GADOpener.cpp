#include "ads/render/GADOpener.h"

#include <algorithm>
#include <sstream>

#include "ads/core/sdkcore/GADSDKCoreController.h"
#include "ads/core/sdkcore/GADSDKCoreWebView.h"
#include "ads/core/slot/GADAd.h"
#include "ads/core/slot/GADSlot.h"
#include "ads/core/util/GADLog.h"
#include "ads/core/util/GADNSURLUtilities.h"
#include "ads/core/util/GADRunOnMainThread.h"
#include "ads/native/GADInAppPurchase.h"
#include "ads/render/GADAdView.h"
#include "ads/render/GADBrowserViewController.h"
#include "ads/render/GADExpandedAdAppViewController.h"
#include "ads/render/GADIntermission.h"
#include "ads/render/GADMRAIDCalendarProperties.h"
#include "ads/render/GADMRAIDResizeOverlayPresenter.h"
#include "ads/render/GADMRAIDResizeProperties.h"
#include "ads/render/GADMailComposeDelegateProxy.h"
#include "ads/render/GADMessageComposeDelegateProxy.h"
#include "ads/render/GADMobileAdsAdditions.h"
#include "ads/render/GADOverlayProxy.h"
#include "ads/render/GADSKStoreProductViewControllerDelegate.h"
#include "ads/render/GADSupplementalAdAppViewController.h"
#include "platform/base/Strings.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/runloop/DispatchQueue.h"
#include "platform/runloop/OperationQueue.h"
#include "platform/services/CalendarEvent.h"
#include "platform/services/EventEditViewController.h"
#include "platform/services/EventStore.h"
#include "platform/services/MailComposer.h"
#include "platform/services/MessageComposer.h"
#include "platform/services/ProductViewController.h"
#include "platform/ui/Application.h"

namespace ruzave {
namespace {

constexpr std::uint32_t kAllOrientations = 30;

platform::Value stateParameters(const char* state) {
    platform::Value p = platform::Value::object();
    p["state"] = state;
    return p;
}

std::vector<std::string> splitNonEmpty(const std::string& text, char separator) {
    std::vector<std::string> pieces;
    std::stringstream in(text);
    for (std::string piece; std::getline(in, piece, separator);)
        if (!piece.empty()) pieces.push_back(piece);
    return pieces;
}

// The recipients part of a "mailto:" or "sms:" URL: after the scheme, up to the query.
std::string recipientsPart(const platform::URL& url) {
    std::string rest = url.resourceSpecifier();
    return rest.substr(0, rest.find('?'));
}

// The query of a "mailto:" or "sms:" URL, keys lower-cased; such URLs keep it in their specifier.
platform::Value composerQuery(const platform::URL& url) {
    std::string rest = url.resourceSpecifier();
    auto mark = rest.find('?');
    if (mark == std::string::npos) return platform::Value::object();
    auto carrier = platform::URL::parse("https://query.invalid/?" + rest.substr(mark + 1));
    if (!carrier) return platform::Value::object();
    return gad_dictionaryFromQueryParametersAndConvertKeysToLowercase(*carrier, true);
}

std::optional<std::string> stringEntry(const platform::Value& dict, const char* key) {
    if (!dict.is_object()) return std::nullopt;
    auto it = dict.find(key);
    if (it == dict.end() || !it->is_string()) return std::nullopt;
    return it->get<std::string>();
}

// Schemes that would run or read something inside the app instead of leaving it; a URL without a
// scheme names nothing to open.
bool isUnsafeToOpen(const platform::URL& url) {
    static const std::set<std::string> refused = {"javascript", "x-javascript", "vbscript", "data", "file",
                                                  "blob",       "filesystem",   "jar",      "view-source"};
    const std::string scheme = url.scheme();
    return scheme.empty() || refused.count(scheme) > 0;
}

GADViewController* asFullScreen(const std::shared_ptr<platform::ViewController>& controller) {
    return dynamic_cast<GADViewController*>(controller.get());
}

} // namespace

GADOpener::~GADOpener() {
    for (const auto& composer : waitingComposers_) abandonComposer(*composer);
}

// ---------------------------------------------------------------- gates

bool GADOpener::shouldPerformOpenAction() {
    if (!autoClickProtected_) return true;
    auto adView = adView_.lock();
    if (adView && adView->isTouched()) return true;
    platform::Value info = platform::Value::object();
    if (adView && adView->adDebugDialog()) info["debugDialog"] = *adView->adDebugDialog();
    if (navigationURL_) info["navigationURL"] = *navigationURL_;
    if (auto core = GADSDKCoreController::sharedInstance()->activeSDKCoreWebView()) {
        core->postJSNotification("navigationBlocked", &info);
    }
    return false;
}

bool GADOpener::shouldPerformOpenActionWithOrientations(std::uint32_t mask) {
    auto adView = adView_.lock();
    if (adView && !gad_supportsOrientations(*adView, mask)) return false;
    return shouldPerformOpenAction();
}

bool GADOpener::canOpenContent(bool hasContent) const {
    return !viewController_.expired() && hasContent;
}

std::shared_ptr<GADMRAIDEventHandling> GADOpener::MRAIDEventHandler() const {
    auto slot = slot_.lock();
    auto ad = slot ? slot->ad() : nullptr;
    return ad ? ad->MRAIDEventHandler() : nullptr;
}

void GADOpener::reportError(const std::string& message, const std::string& action) {
    // An ad whose MRAID has not loaded has no handler and no listener for the error.
    if (auto handler = MRAIDEventHandler()) handler->handleError(message, action);
}

// ---------------------------------------------------------------- leaving the app

void GADOpener::openApp(const std::optional<platform::URL>& url) {
    openAppReportingResult(url);
}

std::optional<std::string> GADOpener::confirmationMessageForURL(const platform::URL& url) const {
    platform::Value table = platform::Value::object();
    if (auto stored = platform::UserDefaults::standard()->object(kConfirmSchemesKey)) {
        table = *stored;
    } else {
        table["tel"] = "Call";
        table["facetime"] = "FaceTime";
    }
    if (!table.is_object()) return std::nullopt;
    // Schemes compare without regard to case: "TEL:" asks as "tel:" does.
    const std::string scheme = platform::toLowerASCII(url.scheme());
    for (auto it = table.begin(); it != table.end(); ++it) {
        if (platform::toLowerASCII(it.key()) == scheme && it->is_string()) return it->get<std::string>();
    }
    return std::nullopt;
}

void GADOpener::confirmClickToURL(const platform::URL& url, const std::string& message) {
    auto alert = platform::AlertView::create("", url.resourceSpecifier(), weak_from_this(), "Cancel", {message});
    confirmationAlertURLs_.insert_or_assign(alert.get(), url);
    selfWhileConfirming_ = shared_from_this();
    alert->show();
}

void GADOpener::alertViewClickedButtonAtIndex(platform::AlertView& alert, long index) {
    auto it = confirmationAlertURLs_.find(&alert);
    if (it == confirmationAlertURLs_.end()) return;
    platform::URL url = it->second;
    confirmationAlertURLs_.erase(it);
    if (index != alert.cancelButtonIndex()) {
        allowedAppURLs_.insert(url.absoluteString());
        openApp(url);
    }
    alertViewDidDismissWithButtonIndex(alert, index);
}

void GADOpener::alertViewDidDismissWithButtonIndex(platform::AlertView& alert, long) {
    confirmationAlertURLs_.erase(&alert);
    if (!confirmationAlertURLs_.empty() || !selfWhileConfirming_) return;
    // Let go on a later turn: this call may be the last thing holding the opener.
    platform::mainQueue()->async([keep = std::move(selfWhileConfirming_)] {});
    selfWhileConfirming_.reset();
}

bool GADOpener::openAppReportingResult(const std::optional<platform::URL>& url) {
    if (!url || !url->isValid()) return false;
    if (!shouldPerformOpenAction()) return false;
    // "about:" pages are our own: nothing leaves and no click is counted.
    if (url->scheme() == "about") return false;
    if (isUnsafeToOpen(*url)) {
        reportError(kOpenNotAllowed, "open");
        return false;
    }
    if (auto title = confirmationMessageForURL(*url); title && !isAllowedAppURL(*url)) {
        confirmClickToURL(*url, *title);
        return false;
    }
    didOpenExternalApp();
    auto slot = slot_.lock();
    // Left from one of the ad's screens (the in-app browser's opener has no slot), the other app is one
    // more screen of their period.
    auto* screen = asFullScreen(viewController_.lock());
    if (auto period = screen ? screen->intermission() : (slot ? slot->intermission() : nullptr))
        period->otherAppWillOpen();
    if (slot) slot->adWillLeaveApplication();
    didOpenAnotherApplication_ = true;
    if (slot) slot->willLeaveAppDueToClick();
    // The app is left on a later turn, once the slot has told its delegates.
    platform::OperationQueue::mainQueue()->addOperation(
        [target = *url] { platform::Application::sharedApplication()->openURL(target); });
    return true;
}

bool GADOpener::openBrowserToURL(const platform::URL& url, unsigned supportedOrientations) {
    if (!shouldPerformOpenActionWithOrientations(supportedOrientations) || !canOpenContent(url.isValid())) return false;
    if (isUnsafeToOpen(url)) {
        reportError(kOpenNotAllowed, "open");
        return false;
    }
    auto browser = GADBrowserViewController::init();
    browser->setSupportedInterfaceOrientations(supportedOrientations);
    browser->setSlot(slot_);
    browser->load(url, referringURL_);
    browser->presentFromViewController(viewController_.lock(), nullptr);
    // The browser holds itself while it is up; one that did not go up is no open.
    if (!browser->retainCycle()) return false;
    didOpenInApp();
    return true;
}

// ---------------------------------------------------------------- store sheet

void GADOpener::presentStoreSheet(const std::shared_ptr<platform::ViewController>& sheet) {
    auto proxy = GADOverlayProxy::overlayProxyForViewController(sheet.get());
    auto presenting = viewController_.lock();
    if (!proxy || !presenting) return;
    std::weak_ptr<GADOpener> weak = weak_from_this();
    proxy->presentFromViewController(presenting, [weak] {
        if (auto self = weak.lock()) self->didOpenInApp();
    });
}

void GADOpener::openInAppPurchase(const std::string& productID, long quantity,
                                  const std::vector<std::string>& reportingURLStringFormats,
                                  platform::WebDocumentRef page) {
    if (!shouldPerformOpenAction()) return;
    auto controller = std::dynamic_pointer_cast<GADViewController>(viewController_.lock());
    auto purchase = GADInAppPurchase::initWithViewController(controller);
    purchase->setProductID(productID);
    purchase->setQuantity(quantity);
    purchase->setReportingURLStringFormats(reportingURLStringFormats);
    purchase->setPage(std::move(page));
    if (auto slot = slot_.lock()) slot->didReceiveInAppPurchase(purchase);
    didOpenInApp();
}

bool GADOpener::isAcceptableProductID(const std::string& productID, const char* action) {
    if (productID.size() <= kMaximumProductIDLength) return true;
    GADLog("Store sheet: %s refused, its product ID is %zu bytes (at most %zu).", action, productID.size(),
           kMaximumProductIDLength);
    return false;
}

std::size_t GADOpener::cachedStoreProductViewControllerCount() const {
    return static_cast<std::size_t>(std::count_if(storeSheets_.begin(), storeSheets_.end(),
                                                  [](const StoreSheet& kept) { return kept.loaded; }));
}

std::size_t GADOpener::loadingStoreProductViewControllerCount() const {
    return storeSheets_.size() - cachedStoreProductViewControllerCount();
}

void GADOpener::openInAppStoreWithProductID(const std::string& productID,
                                            const std::optional<platform::URL>& fallbackURL,
                                            bool shouldWaitForFetch) {
    if (!isAcceptableProductID(productID, "open")) return;
    if (!shouldPerformOpenAction()) return;
    const long long item = platform::integerValue(productID);
    if (auto cached =
            std::find_if(storeSheets_.begin(), storeSheets_.end(),
                         [item](const StoreSheet& kept) { return kept.loaded && kept.item == item; });
        cached != storeSheets_.end()) {
        auto sheet = cached->sheet;
        storeSheets_.erase(cached);
        auto proxy = GADOverlayProxy::overlayProxyForViewController(sheet.get());
        if (!proxy) proxy = GADOverlayProxy::initWithViewController(sheet);
        proxy->setSlot(slot_);
        sheet->setDelegate(GADSKStoreProductViewControllerDelegate::sharedInstance());
        presentStoreSheet(sheet);
        return;
    }
    auto sheet = platform::ProductViewController::create();
    auto proxy = GADOverlayProxy::initWithViewController(sheet);
    proxy->setSlot(slot_);
    sheet->setDelegate(GADSKStoreProductViewControllerDelegate::sharedInstance());
    platform::Value parameters = platform::Value::object();
    parameters[platform::ProductViewController::itemIdentifierParameter] = item;
    // The load completion holds the opener and the sheet until it runs: a sheet waited for is held by
    // nothing else until it goes up.
    auto self = shared_from_this();
    sheet->loadProductWithParameters(parameters, [self, sheet, fallbackURL, shouldWaitForFetch](
                                                     bool loaded, std::optional<platform::Error>) {
        if (loaded) {
            if (shouldWaitForFetch) self->presentStoreSheet(sheet);
            return;
        }
        bool onScreen = sheet->presentingViewController() &&
                        sheet->presentingViewController()->presentedViewController() == sheet;
        if (onScreen) {
            if (auto delegate = sheet->delegate().lock()) delegate->productViewControllerDidFinish(*sheet);
        }
        // A sheet that could not load leaves for the fallback, whether it was waited for or shown.
        if (onScreen || shouldWaitForFetch) self->openApp(fallbackURL);
    });
    if (!shouldWaitForFetch) presentStoreSheet(sheet);
}

void GADOpener::fetchInAppStoreForProductID(const std::string& productID) {
    if (!isAcceptableProductID(productID, "fetch")) return;
    const long long item = platform::integerValue(productID);
    // One sheet per store item, whether it has loaded or is still loading.
    if (std::any_of(storeSheets_.begin(), storeSheets_.end(),
                    [item](const StoreSheet& kept) { return kept.item == item; }))
        return;
    // A page that names ever new products keeps only the latest few sheets.
    if (storeSheets_.size() >= kMaximumStoreSheets) storeSheets_.pop_front();
    auto sheet = platform::ProductViewController::create();
    storeSheets_.push_back({item, sheet, false});
    platform::Value parameters = platform::Value::object();
    parameters[platform::ProductViewController::itemIdentifierParameter] = item;
    // Held by the list alone: a sheet dropped while it loads goes at once, and its answer finds nothing.
    std::weak_ptr<GADOpener> weak = weak_from_this();
    std::weak_ptr<platform::ProductViewController> weakSheet = sheet;
    sheet->loadProductWithParameters(parameters, [weak, weakSheet](bool loaded,
                                                                   std::optional<platform::Error>) {
        auto self = weak.lock();
        auto sheet = weakSheet.lock();
        if (!self || !sheet) return;
        auto& sheets = self->storeSheets_;
        auto kept =
            std::find_if(sheets.begin(), sheets.end(), [&](const StoreSheet& s) { return s.sheet == sheet; });
        if (kept == sheets.end()) return;
        if (loaded) {
            kept->loaded = true;
        } else {
            sheets.erase(kept);
        }
    });
}

void GADOpener::productViewControllerDidFinish(platform::ProductViewController& controller) {
    GADSKStoreProductViewControllerDelegate::sharedInstance()->productViewControllerDidFinish(controller);
}

// ---------------------------------------------------------------- web apps, expand and resize

std::shared_ptr<GADSupplementalAdAppViewController> GADOpener::overlayWithOrientations(std::uint32_t orientations,
                                                                                      bool useCustomClose) {
    auto overlay = GADSupplementalAdAppViewController::init();
    overlay->setSupportedInterfaceOrientations(orientations);
    overlay->setSlot(slot_);
    overlay->setUseCustomClose(useCustomClose);
    // What it shows is the creative's ad still, and takes turns for the network as its view.
    if (auto creative = adView(); creative && overlay->adView()) overlay->adView()->joinAdOf(*creative);
    return overlay;
}

void GADOpener::disableAutoCollapseForResize() {
    auto* controller = asFullScreen(viewController_.lock());
    if (!controller) return;
    if (auto presenter = std::dynamic_pointer_cast<GADMRAIDResizeOverlayPresenter>(controller->presenter()))
        presenter->setDismissToDefaultState(false);
}

void GADOpener::presentOverlay(const std::shared_ptr<GADSupplementalAdAppViewController>& overlay) {
    overlay->presentFromViewController(viewController_.lock(), nullptr);
    // It holds itself while it is up; one refused (another screen is up) is no open.
    if (overlay->retainCycle()) didOpenInApp();
}

void GADOpener::openWebApp(const std::optional<platform::URL>& url, std::uint32_t orientations, bool useCustomClose) {
    if (!shouldPerformOpenActionWithOrientations(orientations)) {
        reportError(kExpandNotAllowed, "expand");
        return;
    }
    if (!canOpenContent(url.has_value())) return;
    if (isUnsafeToOpen(*url)) {
        reportError(kOpenNotAllowed, "expand");
        return;
    }
    disableAutoCollapseForResize();
    auto overlay = overlayWithOrientations(orientations, useCustomClose);
    overlay->load(url);
    presentOverlay(overlay);
}

void GADOpener::openWebAppWithHTML(const std::optional<std::string>& html, std::uint32_t orientations,
                                   bool useCustomClose) {
    if (!shouldPerformOpenActionWithOrientations(orientations)) {
        reportError(kExpandNotAllowed, "expand");
        return;
    }
    if (!canOpenContent(html.has_value())) return;
    disableAutoCollapseForResize();
    auto overlay = overlayWithOrientations(orientations, useCustomClose);
    overlay->loadHTML(html, std::nullopt);
    presentOverlay(overlay);
}

void GADOpener::expandToWebAppWithSupportedOrientations(std::uint32_t orientations, bool useCustomClose) {
    if (!shouldPerformOpenActionWithOrientations(orientations)) {
        reportError(kExpandNotAllowed, "expand");
        return;
    }
    auto adView = adView_.lock();
    if (!canOpenContent(adView != nullptr)) return;
    auto presenting = viewController_.lock();
    if (auto* fullScreen = asFullScreen(presenting)) {
        auto resize = std::dynamic_pointer_cast<GADMRAIDResizeOverlayPresenter>(fullScreen->presenter());
        if (!resize) {
            // Already full screen (an interstitial, or expanded): the ad stays as it is.
            reportError("Cannot expand an ad that is already full screen.", "expand");
            return;
        }
        // A resized ad: its overlay goes first, and the ad expands from its banner place. Not while the
        // banner's controller has another screen up: the expand could not come up over it, and must not
        // come up once the app has taken that screen, and the resize over it, away.
        if (auto home = adView->savedViewController(); home && home->presentedViewController()) {
            reportError(kExpandRefused, "expand");
            return;
        }
        resize->setDismissToDefaultState(false);
        std::weak_ptr<GADOpener> weak = weak_from_this();
        // Kept to the end of the wait: the resize may be its last screen.
        auto period = fullScreen->intermission();
        const std::size_t takenAway = period ? period->takenAwayCount() : 0;
        fullScreen->relinquishScreenWithCompletion(
            [weak, period, takenAway, adView, orientations, useCustomClose] {
                auto self = weak.lock();
                if (!self) return;
                // Screens of the period were taken away meanwhile (the app dismissed them, the ad went): no
                // screen of the ad comes up after that.
                if (period && period->takenAwayCount() != takenAway) {
                    self->reportError(kExpandRefused, "expand");
                    return;
                }
                self->viewController_ = adView->viewController();
                self->expandToWebAppWithSupportedOrientations(orientations, useCustomClose);
            });
        return;
    }
    auto controller = GADExpandedAdAppViewController::initWithAdView(adView);
    controller->setSupportedInterfaceOrientations(orientations);
    controller->setSlot(slot_);
    controller->setUseCustomClose(useCustomClose);
    std::weak_ptr<GADAdView> weakAdView = adView;
    controller->setDismissalCompletion([weakAdView] {
        if (auto view = weakAdView.lock()) {
            view->dispatchSDKEvent("collapsed", std::nullopt);
            view->dispatchSDKEvent("onStateChanged", stateParameters("default"));
        }
    });
    controller->presentFromViewController(presenting, [weakAdView] {
        if (auto view = weakAdView.lock()) view->dispatchSDKEvent("onStateChanged", stateParameters("expanded"));
    });
    if (!controller->retainCycle()) {
        // Refused (another screen is up): nothing expands, nothing was clicked open, and the ad, which
        // never left its state, hears no collapse when the unused controller goes.
        controller->setDismissalCompletion(nullptr);
        reportError(kExpandRefused, "expand");
        return;
    }
    adView->dispatchSDKEvent("expanding", std::nullopt);
    didOpenInApp();
}

void GADOpener::reportResized(const std::shared_ptr<GADMRAIDResizeProperties>& properties) {
    auto adView = adView_.lock();
    if (!adView) return;
    adView->dispatchSDKEvent("onStateChanged", stateParameters("resized"));
    platform::Value size = platform::Value::object();
    size["width"] = properties ? static_cast<double>(properties->size().width) : 0.0;
    size["height"] = properties ? static_cast<double>(properties->size().height) : 0.0;
    adView->dispatchSDKEvent("onSizeChanged", size);
}

void GADOpener::openWebAppWithResizeProperties(const std::shared_ptr<GADMRAIDResizeProperties>& properties) {
    if (!shouldPerformOpenAction()) {
        reportError(kResizeNotAllowed, "resize");
        return;
    }
    auto adView = adView_.lock();
    if (!canOpenContent(adView != nullptr)) return;
    auto presenting = viewController_.lock();
    if (auto* fullScreen = asFullScreen(presenting)) {
        auto resize = std::dynamic_pointer_cast<GADMRAIDResizeOverlayPresenter>(fullScreen->presenter());
        if (!resize) return;
        resize->setResizeProperties(properties);
        if (!properties || resize->resizeProperties() != properties) return; // refused and reported
        resize->repositionContentIfNeeded();
        if (auto* adApp = dynamic_cast<GADAdAppViewController*>(fullScreen))
            adApp->setCustomClosePosition(properties->customClosePosition());
        reportResized(properties);
        return;
    }
    auto presenter = GADMRAIDResizeOverlayPresenter::initWithReferenceView(adView->superview());
    if (!presenter) return;
    presenter->setMRAIDEventHandler(MRAIDEventHandler());
    presenter->setResizeProperties(properties);
    // Missing or refused properties were reported; nothing is shown and no click is counted.
    if (!presenter->resizeProperties()) return;
    auto controller = GADExpandedAdAppViewController::initWithAdView(adView);
    controller->setSupportedInterfaceOrientations(kAllOrientations);
    controller->setSlot(slot_);
    controller->setUseCustomClose(true);
    controller->setPresenter(presenter);
    controller->setCustomClosePosition(properties->customClosePosition());
    std::weak_ptr<GADAdView> weakAdView = adView;
    std::weak_ptr<GADMRAIDResizeOverlayPresenter> weakPresenter = presenter;
    controller->setDismissalCompletion([weakAdView, weakPresenter] {
        auto view = weakAdView.lock();
        auto p = weakPresenter.lock();
        if (view && p && p->dismissToDefaultState()) view->dispatchSDKEvent("onStateChanged", stateParameters("default"));
    });
    std::weak_ptr<GADOpener> weak = weak_from_this();
    controller->presentFromViewController(presenting, [weak, properties] {
        if (auto self = weak.lock()) self->reportResized(properties);
    });
    if (controller->retainCycle()) didOpenInApp(); // only when it went up
}

// ---------------------------------------------------------------- composers and the calendar

bool GADOpener::openEmailComposer(const platform::URL& url) {
    if (!shouldPerformOpenAction() || !canOpenContent(true) || !platform::MailComposer::canSendMail()) return false;
    auto composer = platform::MailComposer::create();
    composer->setToRecipients({recipientsPart(url)});
    {
        auto query = composerQuery(url);
        if (auto cc = stringEntry(query, "cc")) composer->setCcRecipients(splitNonEmpty(*cc, ','));
        if (auto bcc = stringEntry(query, "bcc")) composer->setBccRecipients(splitNonEmpty(*bcc, ','));
        if (auto subject = stringEntry(query, "subject")) composer->setSubject(*subject);
        if (auto body = stringEntry(query, "body")) composer->setMessageBody(*body, false);
    }
    GADOverlayProxy::initWithViewController(composer)->setSlot(slot_);
    GADMailComposeDelegateProxy::associatedDelegateProxyForController(composer)->setMailComposeDelegate(weak_from_this());
    presentComposerController(composer);
    return true;
}

bool GADOpener::openSmsComposer(const platform::URL& url) {
    if (!shouldPerformOpenAction() || !canOpenContent(true) || !platform::MessageComposer::canSendText()) return false;
    auto composer = platform::MessageComposer::create();
    composer->setRecipients(splitNonEmpty(recipientsPart(url), ','));
    {
        auto query = composerQuery(url);
        if (auto body = stringEntry(query, "body")) composer->setBody(*body);
    }
    GADOverlayProxy::initWithViewController(composer)->setSlot(slot_);
    GADMessageComposeDelegateProxy::associatedDelegateProxyForController(composer)->setMessageComposeDelegate(
        weak_from_this());
    presentComposerController(composer);
    return true;
}

void GADOpener::presentComposerController(const std::shared_ptr<platform::ViewController>& composer) {
    presentComposerController(composer, 0);
}

void GADOpener::abandonComposer(platform::ViewController& composer) {
    if (auto* mail = dynamic_cast<platform::MailComposer*>(&composer)) {
        if (auto proxy = GADMailComposeDelegateProxy::proxyForController(*mail)) proxy->stopProxying();
    } else if (auto* text = dynamic_cast<platform::MessageComposer*>(&composer)) {
        if (auto proxy = GADMessageComposeDelegateProxy::proxyForController(*text)) proxy->stopProxying();
    }
    if (auto proxy = GADOverlayProxy::overlayProxyForViewController(&composer)) proxy->setOpener(nullptr);
}

void GADOpener::presentComposerController(const std::shared_ptr<platform::ViewController>& composer, int attempt) {
    if (!composer) return;
    std::erase(waitingComposers_, composer);
    auto presenting = viewController_.lock();
    if (!shouldPerformOpenAction() || !presenting) {
        abandonComposer(*composer);
        return;
    }
    if (auto* fullScreen = asFullScreen(presenting);
        fullScreen && fullScreen->isViewLoaded() && !fullScreen->view()->isUserInteractionEnabled()) {
        // A full-screen ad still animating in: try again shortly, but not forever.
        if (attempt >= kMaximumComposerRetries) {
            abandonComposer(*composer);
            return;
        }
        // Held here, not by the retry: a composer never shown is let go with this opener.
        waitingComposers_.push_back(composer);
        std::weak_ptr<GADOpener> weak = weak_from_this();
        std::weak_ptr<platform::ViewController> weakComposer = composer;
        platform::mainQueue()->asyncAfter(kComposerRetryDelay, [weak, weakComposer, attempt] {
            auto self = weak.lock();
            auto waiting = weakComposer.lock();
            if (self && waiting) self->presentComposerController(waiting, attempt + 1);
        });
        return;
    }
    auto proxy = GADOverlayProxy::overlayProxyForViewController(composer.get());
    if (!proxy) {
        proxy = GADOverlayProxy::initWithViewController(composer);
        proxy->setSlot(slot_);
    }
    proxy->setOpener(shared_from_this());
    // Taken down with the screen under it, it hears no result: it is let go as one never shown.
    proxy->setScreenLostHandler(&GADOpener::abandonComposer);
    proxy->presentFromViewController(presenting, nullptr);
    if (!composer->presentingViewController()) {
        // Refused, as when another screen is up: no click, and nothing may keep the composer.
        abandonComposer(*composer);
        return;
    }
    didOpenInApp();
}

template <class Proxy, class Composer>
void GADOpener::takeDownFinishedComposer(Composer& controller) {
    std::weak_ptr<Composer> weak = std::static_pointer_cast<Composer>(controller.shared_from_this());
    platform::mainQueue()->async([weak] {
        auto composer = weak.lock();
        if (!composer) return;
        GADOverlayProxy::takeDownViewController(*composer, [weak] {
            auto c = weak.lock();
            if (auto proxy = c ? Proxy::proxyForController(*c) : nullptr) proxy->stopProxying();
        });
    });
}

void GADOpener::mailComposeControllerDidFinishWithResult(platform::MailComposer& controller,
                                                         platform::MailComposerDelegate::Result,
                                                         const std::optional<platform::Error>&) {
    takeDownFinishedComposer<GADMailComposeDelegateProxy>(controller);
}

void GADOpener::messageComposeViewControllerDidFinishWithResult(platform::MessageComposer& controller,
                                                                platform::MessageComposerDelegate::Result) {
    takeDownFinishedComposer<GADMessageComposeDelegateProxy>(controller);
}

void GADOpener::eventEditViewControllerDidCompleteWithAction(platform::EventEditViewController& controller,
                                                             platform::EventEditViewControllerDelegate::Action) {
    GADOverlayProxy::takeDownViewController(controller);
}

void GADOpener::openCalendarWithDictionary(const platform::Value& dictionary) {
    auto editor = platform::EventEditViewController::create();
    auto store = platform::EventStore::create();
    auto properties = GADMRAIDCalendarProperties::initWithDictionary(dictionary);
    if (!properties) {
        reportError("Could not fully parse event dictionary: " + dictionary.dump(), "createCalendarEvent");
        return;
    }
    if (!shouldPerformOpenAction()) {
        reportError(kCalendarNotAllowed, "createCalendarEvent");
        return;
    }
    auto event = platform::CalendarEvent::eventWithEventStore(store);
    event->setTitle(properties->eventDescription().value_or(""));
    event->setNotes(properties->summary().value_or(""));
    event->setLocation(properties->location().value_or(""));
    event->setStartDate(properties->startTime());
    event->setEndDate(properties->endTime());
    auto proxy = GADOverlayProxy::initWithViewController(editor);
    proxy->setSlot(slot_);
    proxy->setOpener(shared_from_this());
    editor->setEditViewDelegate(weak_from_this());
    editor->setEvent(event);
    editor->setEventStore(store);

    auto present = [editor](const std::shared_ptr<GADOpener>& self) {
        auto presenting = self->viewController_.lock();
        if (!presenting) return;
        if (auto p = GADOverlayProxy::overlayProxyForViewController(editor.get())) p->presentFromViewController(presenting, nullptr);
        if (editor->presentingViewController()) self->didOpenInApp();
    };
    auto cancelled = [](const std::shared_ptr<GADOpener>& self) {
        if (auto adView = self->adView_.lock()) adView->postJSNotification("onCalendarEventCanceled", std::nullopt);
    };
    switch (platform::EventStore::authorizationStatusForEntityType(platform::EventStore::Event)) {
    case platform::EventStore::NotDetermined: {
        auto self = shared_from_this(); // held until the answer comes
        store->requestAccessToEntityType(platform::EventStore::Event,
                                         [self, store, present, cancelled](bool granted, std::optional<platform::Error>) {
                                             if (!granted) {
                                                 GADRunOnMainThread([self, cancelled] { cancelled(self); });
                                                 return;
                                             }
                                             store->reset();
                                             GADRunOnMainThread([self, present] { present(self); });
                                         });
        break;
    }
    case platform::EventStore::Authorized: present(shared_from_this()); break;
    default: cancelled(shared_from_this()); break;
    }
}

// ---------------------------------------------------------------- bookkeeping

void GADOpener::didOpen() {
    auto slot = slot_.lock();
    if (!slot) return;
    slot->adWasClicked();
    slot->pingClickURLs();
}

} // namespace ruzave
