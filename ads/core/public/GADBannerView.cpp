#include "ads/core/public/GADBannerView.h"

#include <cmath>
#include <cxxabi.h>
#include <typeinfo>

#include "ads/core/public/GADAdType.h"
#include "ads/core/public/GADBannerViewDelegate.h"
#include "ads/core/public/GADRequest.h"
#include "ads/core/slot/GADAd.h"
#include "ads/mediation/GADMAdNetworkConnector.h"
#include "ads/core/slot/GADSlot.h"
#include "ads/core/util/GADLogger.h"
#include "ads/core/util/GADRectConversions.h"
#include "ads/core/util/GADRunOnMainThread.h"
#include "ads/render/GADAdView.h"
#include "ads/render/GADViewUtilities.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/runloop/DispatchQueue.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Window.h"

namespace ruzave {
namespace {

constexpr const char* kParentViewCountKey = "/ruzave/ads/ad_key_parent_view_count";

void logInvalidSize(const platform::Error& error) {
    GADLogger::sharedInstance()->logPublicMessage("Unable to set adSize property. " + error.description);
}

// A view's class name without its namespace, for the view-hierarchy record.
std::string viewClassName(const platform::View& view) {
    const char* mangled = typeid(view).name();
    int status = 0;
    char* demangled = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
    std::string name = (status == 0 && demangled) ? demangled : mangled;
    std::free(demangled);
    if (auto colon = name.rfind("::"); colon != std::string::npos) name = name.substr(colon + 2);
    return name;
}

long truncated(float v) {
    return std::isfinite(v) ? static_cast<long>(v) : 0;
}

} // namespace

GADBannerView::GADBannerView(platform::Rect frame) : platform::View(frame) {}

std::shared_ptr<GADBannerView> GADBannerView::initWithFrame(platform::Rect frame, const GADAdSize& adSize) {
    platform::Error error;
    if (!GADAdSizeIsValid(adSize, &error)) {
        logInvalidSize(error);
        return nullptr;
    }
    std::shared_ptr<GADBannerView> view(new GADBannerView(frame));
    view->commonInitWithAdSize(adSize);
    return view;
}

std::shared_ptr<GADBannerView> GADBannerView::initWithAdSize(const GADAdSize& adSize) {
    return initWithFrame(platform::Rect::zero(), adSize);
}

std::shared_ptr<GADBannerView> GADBannerView::initWithAdSize(const GADAdSize& adSize,
                                                             platform::Point origin) {
    auto view = initWithAdSize(adSize);
    if (view) view->setFrame(platform::Rect(origin, view->frame().size));
    return view;
}

std::shared_ptr<GADBannerView> GADBannerView::initWithFrame(platform::Rect frame) {
    return initWithFrame(frame, GADAdSizeFromCGSize(frame.size));
}

std::shared_ptr<GADBannerView> GADBannerView::init() {
    return initWithFrame(platform::Rect::zero());
}

void GADBannerView::commonInitWithAdSize(const GADAdSize& adSize) {
    auto self = std::static_pointer_cast<GADBannerView>(shared_from_this());
    slot_ = GADSlot::initWithFrame(bounds());
    slot_->setReloadable(true);
    slot_->setSlotDelegate(self);
    slot_->setAdEventDelegate(self);
    slot_->setAdLoadDelegate(self);
    slot_->setAdResponseDelegate(self);
    slot_->setAdKeyDelegate(self);
    // A banner never asks for the interstitial type a slot starts with: until a valid size is set it
    // has no type at all, and loads are refused.
    slot_->setAdType(nullptr, false);

    auto adView = slot_->adView();
    adView->configureAsBannerAdView();
    rootAdView_ = adView;
    addSubview(adView);

    setBackgroundColor(platform::Color::clear());
    setClipsToBounds(true);
    lockQueue_ = platform::DispatchQueue::createSerial("com.ruzave.ads.banner-view");
    hasInitialized_ = true;
    setAdSize(adSize, false);
}

GADBannerView::~GADBannerView() {
    if (!slot_) return;
    // Its screens, pages and timers end with it, whatever they are doing. The app let go of the banner,
    // so its delegate hears nothing of that: nothing may hand it a banner half destroyed.
    slot_->setAdEventDelegate(std::weak_ptr<GADSlotAdEventDelegate>());
    slot_->abandonScreens();
    slot_->finishActiveViewReporting();
    slot_->cancelPendingAndFutureActions();
}

// ---------------------------------------------------------------- public API

void GADBannerView::loadRequest(const std::shared_ptr<GADRequest>& request) {
    slot_->loadRequest(request);
}

std::string GADBannerView::adUnitID() const {
    return slot_->adUnitID();
}

void GADBannerView::setAdUnitID(const std::string& adUnitID) {
    slot_->setAdUnitID(adUnitID);
}

void GADBannerView::setRootViewController(const std::shared_ptr<platform::ViewController>& controller) {
    if (controller == rootViewController_.lock()) return;
    rootViewController_ = controller;
    if (auto adView = slot_->adView()) adView->setViewController(controller);
    if (auto nested = std::dynamic_pointer_cast<GADBannerView>(rootAdView_))
        nested->setRootViewController(controller);
}

GADAdSize GADBannerView::adSize() const {
    auto type = slot_ ? slot_->adType() : nullptr;
    if (!type || type->isInterstitial()) return GADAdSize{{0, 0}, 0};
    return type->adSize();
}

void GADBannerView::setAdSize(const GADAdSize& adSize, bool reload) {
    if (!hasInitialized_) return;
    if (GADAdSizeEqualToSize(adSize, this->adSize())) return;
    platform::Error error;
    if (!GADAdSizeIsValid(adSize, &error)) {
        logInvalidSize(error);
        return;
    }
    platform::View::setFrame(platform::Rect(frame().origin, CGSizeFromGADAdSize(adSize)));
    slot_->setAdType(GADAdType::bannerAdTypeForSize(adSize), reload);
}

void GADBannerView::setAdSize(const GADAdSize& adSize) {
    GADAdSize old = this->adSize();
    long oldW = truncated(old.size.width), oldH = truncated(old.size.height);
    long newW = truncated(adSize.size.width), newH = truncated(adSize.size.height);
    bool sizeChanged = oldW != newW || oldH != newH;
    bool flagsMatter = (newW == 0 || newH == 0) && old.flags != adSize.flags;
    bool reload = !sizeChanged ? flagsMatter : (GADAdSizeIsFluid(adSize) ? flagsMatter : true);
    setAdSize(adSize, reload);
    invalidateIntrinsicContentSize();
}

void GADBannerView::setAdSizeFromExternalCGSize(platform::Size size) {
    GADAdSize current = adSize();
    if (GADAdSizeIsFluid(current)) {
        setAdSize(GADFluidAdSizeWithSize(platform::Size{size.width, current.size.height}));
    } else {
        setAdSize(GADAdSizeFromCGSize(size));
    }
}

void GADBannerView::setAutoloadEnabled(bool enabled) {
    if (enabled == autoloadEnabled_) return;
    autoloadEnabled_ = enabled;
    if (!enabled) return;
    std::weak_ptr<GADBannerView> weak = std::static_pointer_cast<GADBannerView>(shared_from_this());
    platform::DispatchQueue::main()->async([weak] {
        if (auto view = weak.lock()) view->loadRequest(nullptr);
    });
}

std::optional<std::string> GADBannerView::adNetworkClassName() const {
    return slot_->adNetworkClassName();
}

bool GADBannerView::hasAutoRefreshed() const {
    return slot_->hasAutoRefreshed();
}

std::shared_ptr<platform::View> GADBannerView::mediatedAdView() const {
    return slot_->isMediating() ? rootAdView_ : nullptr;
}

std::shared_ptr<GADAdView> GADBannerView::adView() const {
    return slot_->adView();
}

void GADBannerView::setRootAdView(const std::shared_ptr<platform::View>& view) {
    if (view == rootAdView_) return;
    if (rootAdView_) rootAdView_->removeFromSuperview();
    rootAdView_ = view;
    if (view) addSubview(view);
}

// ---------------------------------------------------------------- view overrides

void GADBannerView::setFrame(platform::Rect frame) {
    platform::View::setFrame(frame);
    if (!hasInitialized_) return;
    platform::Size current = CGSizeFromGADAdSize(adSize());
    if (!(frame.size == current)) setAdSizeFromExternalCGSize(frame.size);
}

void GADBannerView::setBounds(platform::Rect bounds) {
    platform::View::setBounds(bounds);
    if (!hasInitialized_) return;
    setAdSizeFromExternalCGSize(bounds.size);
}

platform::Size GADBannerView::intrinsicContentSize() const {
    GADAdSize size = adSize();
    platform::Size result = CGSizeFromGADAdSize(size);
    if (GADAdSizeIsFluid(size)) result.width = platform::kViewNoIntrinsicMetric;
    return result;
}

void GADBannerView::didMoveToWindow() {
    platform::View::didMoveToWindow();
    if (slot_) slot_->bannerDidMoveToWindow(window());
}

void GADBannerView::setAlpha(float alpha) {
    platform::View::setAlpha(alpha == 0 ? 0.0f : 1.0f);
}

// ---------------------------------------------------------------- slot delegate

std::optional<bool> GADBannerView::slotShouldLoadRequest(GADSlot&, const std::shared_ptr<GADRequest>&) {
    if (!slot_->adType() || slot_->adType()->isInterstitial()) {
        // No valid size was ever taken: say why, and let the slot refuse with code 0.
        platform::Error error;
        GADAdSizeIsValid(adSize(), &error);
        logInvalidSize(error);
        return false;
    }
    if (!rootViewController_.lock()) {
        GADLogger::sharedInstance()->logPublicMessage("Must set the rootViewController property of " +
                                                      className() + " before loading the ad.");
        return false;
    }
    return true;
}

std::optional<bool> GADBannerView::slotShouldReloadCurrentRequest(GADSlot&) {
    if (!hasLoadedAd_) return true;
    for (auto view = rootAdView_; view; view = view->superview()) {
        if (view->isHidden()) return false;
        if (dynamic_cast<platform::Window*>(view.get())) return true;
    }
    return false;
}

void GADBannerView::slotDidReceiveAdView(GADSlot&, const std::shared_ptr<platform::View>& view) {
    setRootAdView(view);
}

void GADBannerView::slotContentSizeDidChange(GADSlot&, platform::Size size) {
    if (GADAdSizeIsFluid(adSize())) setAdSize(GADFluidAdSizeWithSize(size));
}

std::optional<platform::Rect> GADBannerView::ownerFrameInInterface() const {
    auto win = window();
    if (!win || win->screen() != platform::Screen::mainScreen()) return platform::Rect::zero();
    return GADInterfaceRectFromScreenRect(convertRectToView(bounds(), nullptr));
}

std::optional<platform::Value>
GADBannerView::coordinatesOfContentInScreen(const std::shared_ptr<platform::Screen>& screen) {
    auto adView = slot_->adView();
    if (!adView) return std::nullopt;
    return GADViewUtilities::positionOfView(adView, screen);
}

std::shared_ptr<platform::View> GADBannerView::swipeToViewControllerView() {
    return std::static_pointer_cast<GADBannerView>(shared_from_this());
}

// ---------------------------------------------------------------- load and event relays

void GADBannerView::notifyDelegate(void (GADBannerViewDelegate::*message)(GADBannerView&)) {
    auto self = std::static_pointer_cast<GADBannerView>(shared_from_this());
    GADRunOnMainThread([self, message] {
        if (auto delegate = self->delegate_.lock()) ((*delegate).*message)(*self);
    });
}

void GADBannerView::slotFinishedLoadingAdContent(GADSlot&) {
    auto self = std::static_pointer_cast<GADBannerView>(shared_from_this());
    GADRunOnMainThread([self] {
        if (auto delegate = self->delegate_.lock()) delegate->adViewDidReceiveAd(*self);
        self->hasLoadedAd_ = true;
    });
}

void GADBannerView::slotDidFailToLoadAdContentWithError(GADSlot&, const platform::Error& error) {
    auto self = std::static_pointer_cast<GADBannerView>(shared_from_this());
    GADRunOnMainThread([self, error] {
        if (auto delegate = self->delegate_.lock()) delegate->adViewDidFailToReceiveAdWithError(*self, error);
        // A failed banner tries again at its refresh interval.
        self->slot_->scheduleAdReloadTimer();
    });
}

void GADBannerView::slotWillPresentScreen(GADSlot&) {
    notifyDelegate(&GADBannerViewDelegate::adViewWillPresentScreen);
}
void GADBannerView::slotWillDismissScreen(GADSlot&) {
    notifyDelegate(&GADBannerViewDelegate::adViewWillDismissScreen);
}
void GADBannerView::slotDidDismissScreen(GADSlot&) {
    notifyDelegate(&GADBannerViewDelegate::adViewDidDismissScreen);
}
void GADBannerView::slotWillLeaveApplication(GADSlot&) {
    notifyDelegate(&GADBannerViewDelegate::adViewWillLeaveApplication);
}

bool GADBannerView::slotShouldProcessAdResponse(GADSlot&, const std::shared_ptr<GADAd>&, platform::Error*) {
    return true;
}

bool GADBannerView::slotShouldProcessMediatedAdResponse(GADSlot&, const std::shared_ptr<GADAd>& ad,
                                                        platform::Error*) {
    if (ad) ad->setMediationDelegate(std::static_pointer_cast<GADBannerView>(shared_from_this()));
    return true;
}

std::string GADBannerView::connectorClassForAd(const std::shared_ptr<GADAd>&) {
    return GADMAdNetworkConnector::kBannerClassName;
}

// ---------------------------------------------------------------- view hierarchy

void GADBannerView::cacheViewHierarchyInformationForSlot(GADSlot&) {
    long limit = kDefaultParentViewCount;
    auto defaults = platform::UserDefaults::standard();
    if (defaults->object(kParentViewCountKey))
        limit = static_cast<long>(defaults->integer(kParentViewCountKey));
    platform::Value parents = platform::Value::array();
    std::shared_ptr<platform::View> child = std::static_pointer_cast<platform::View>(shared_from_this());
    auto ancestor = superview();
    for (long described = 0; ancestor && described < limit; ++described) {
        const auto& subviews = ancestor->subviews();
        std::uint64_t index = static_cast<std::uint64_t>(-1) >> 1; // the platform's not-found index
        for (std::size_t i = 0; i < subviews.size(); ++i) {
            if (subviews[i] == child) index = i;
        }
        parents.push_back(platform::Value{{"type", viewClassName(*ancestor)},
                                          {"index_of_child", index},
                                          {"is_hidden", ancestor->isHidden()},
                                          {"clips_to_bounds", ancestor->clipsToBounds()}});
        child = ancestor;
        ancestor = ancestor->superview();
    }
    platform::Value record{{"creator_class", className()}, {"parents", std::move(parents)}};
    // The block holds the cache, not the view: the view must never be released off the main thread.
    auto cache = viewHierarchy_;
    lockQueue_->async([cache, record = std::move(record)] { *cache = record; });
}

std::optional<platform::Value> GADBannerView::viewHierarchyInformationForSlot(GADSlot&) {
    std::optional<platform::Value> result;
    lockQueue_->sync([&] { result = *viewHierarchy_; });
    return result;
}

} // namespace ruzave
