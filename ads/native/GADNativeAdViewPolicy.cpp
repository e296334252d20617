#include "ads/native/GADNativeAdViewPolicy.h"

#include <algorithm>

#include "ads/core/telemetry/GADActiveViewMonitor.h"
#include "ads/core/util/GADRectConversions.h"
#include "ads/native/GADNativeAdAttribution.h"
#include "ads/native/GADNativeAdAttributionView.h"
#include "ads/native/GADNativeStandardAd.h"
#include "ads/render/GADAdViewTouchGestureRecognizer.h"
#include "ads/render/GADMobileAdsAdditions.h"
#include "ads/render/GADOverlayView.h"
#include "platform/ui/LayoutConstraint.h"
#include "platform/ui/TapGestureRecognizer.h"
#include "platform/ui/View.h"

namespace ruzave {

using platform::LayoutAttribute;
using platform::LayoutConstraint;
using platform::LayoutRelation;

std::shared_ptr<GADNativeAdViewPolicy> GADNativeAdViewPolicy::initWithAdView(const std::shared_ptr<platform::View>& adView,
                                                                             const std::string& attributionIconAssetName,
                                                                             const std::string& attributionTextAssetName) {
    if (!adView || attributionIconAssetName.empty() || attributionTextAssetName.empty()) return nullptr;
    std::shared_ptr<GADNativeAdViewPolicy> policy(new GADNativeAdViewPolicy());
    policy->adView_ = adView;
    policy->attributionView_ = GADNativeAdAttributionView::initWithFrame(platform::Rect::zero());
    policy->attributionView_->setHidden(true);
    policy->attributionView_->setTranslatesAutoresizingMaskIntoConstraints(false);
    policy->attributionIconAssetName_ = attributionIconAssetName;
    policy->attributionTextAssetName_ = attributionTextAssetName;
    policy->addAttributionViewAndUserInteractionToAdView();
    return policy;
}

GADNativeAdViewPolicy::~GADNativeAdViewPolicy() { stopImpressionMonitoring(); }

void GADNativeAdViewPolicy::addAttributionViewAndUserInteractionToAdView() {
    auto adView = adView_.lock();
    if (!adView) return;
    adView->addSubview(attributionView_);
    adView->addConstraint(LayoutConstraint::constraintWithItem(attributionView_, LayoutAttribute::Top, LayoutRelation::Equal,
                                                               adView, LayoutAttribute::Top, 1, 0));
    adView->addConstraint(LayoutConstraint::constraintWithItem(attributionView_, LayoutAttribute::Right, LayoutRelation::Equal,
                                                               adView, LayoutAttribute::Right, 1, 0));
    adView->setUserInteractionEnabled(true);
    std::weak_ptr<GADNativeAdViewPolicy> weakSelf = weak_from_this();
    auto tap = platform::TapGestureRecognizer::create([weakSelf](platform::GestureRecognizer& recognizer) {
        auto self = weakSelf.lock();
        auto view = self ? self->adView_.lock() : nullptr;
        if (!view || recognizer.state() != platform::kGestureRecognizerStateRecognized) return;
        self->handleTapAtLocation(recognizer.locationOfTouch(0, view.get()));
    });
    tap->setDelegate(weakSelf);
    adView->addGestureRecognizer(tap);
    auto touch = GADAdViewTouchGestureRecognizer::init();
    touch->setDelegate(weakSelf);
    adView->addGestureRecognizer(touch);
}

void GADNativeAdViewPolicy::setNativeAd(const std::shared_ptr<GADNativeStandardAd>& ad) {
    if (ad == nativeAd_) return;
    nativeAd_ = ad;
    updateAttributionView();
    updateOverlay();
    orderViews();
}

void GADNativeAdViewPolicy::updateAttributionView() {
    auto attribution = nativeAd_ ? nativeAd_->attribution() : nullptr;
    attributionView_->setAttribution(attribution);
    bool hasIcons = attribution && attribution->icons() && !attribution->icons()->empty();
    bool hasText = attribution && attribution->text() && !attribution->text()->empty();
    attributionView_->setHidden(!hasIcons && !hasText);
}

void GADNativeAdViewPolicy::updateOverlay() {
    auto overlay = nativeAd_ ? nativeAd_->overlayView() : nullptr;
    auto previous = overlayView_.lock();
    if (overlay == previous) return;
    if (previous) previous->removeFromSuperview();
    overlayView_ = overlay;
    auto adView = adView_.lock();
    if (!overlay || !adView) return;
    overlay->setTranslatesAutoresizingMaskIntoConstraints(false);
    adView->addSubview(overlay);
    gad_fillSuperview(overlay);
}

void GADNativeAdViewPolicy::orderViews() {
    auto adView = adView_.lock();
    if (!adView) return;
    adView->bringSubviewToFront(attributionView_);
    if (auto overlay = overlayView_.lock()) adView->bringSubviewToFront(overlay);
}

void GADNativeAdViewPolicy::adViewDidLayoutSubviews() {
    orderViews();
    if (nativeAd_ && !nativeAd_->hasRecordedImpression()) checkForImpression();
}

void GADNativeAdViewPolicy::checkForImpression() {
    auto adView = adView_.lock();
    platform::Rect visible = adView ? gad_visibleBounds(*adView) : platform::Rect::zero();
    if (visible == platform::Rect::zero())
        startImpressionMonitoring();
    else
        recordImpression();
    if (auto d = delegate()) d->nativeAdViewPolicyDidStartTrackingView(adView);
}

void GADNativeAdViewPolicy::startImpressionMonitoring() {
    if (impressionMonitor_) return;
    auto monitor = GADActiveViewMonitor::initWithView(adView_.lock());
    if (!monitor) return; // the ad view is gone: nothing left to show
    impressionMonitor_ = monitor;
    monitor->setDelegate(std::weak_ptr<GADActiveViewMonitorDelegate>(shared_from_this()));
    monitor->startMonitoring();
}

void GADNativeAdViewPolicy::activeViewMonitorDidRefresh(GADActiveViewMonitor& monitor) {
    // A sample from a monitor already let go of (queued before the stop) counts for nothing.
    if (&monitor != impressionMonitor_.get()) return;
    if (monitor.monitoredViewVisible()) recordImpression();
}

void GADNativeAdViewPolicy::stopImpressionMonitoring() {
    auto monitor = std::move(impressionMonitor_);
    impressionMonitor_ = nullptr;
    if (!monitor) return;
    monitor->setDelegate({});
    monitor->stopMonitoring();
}

void GADNativeAdViewPolicy::recordImpression() {
    stopImpressionMonitoring();
    if (nativeAd_) nativeAd_->recordImpression();
}

std::vector<std::pair<std::shared_ptr<platform::View>, std::string>> GADNativeAdViewPolicy::assetViews() const {
    std::vector<std::pair<std::shared_ptr<platform::View>, std::string>> out;
    for (const auto& [weakView, name] : assetViewAssetNames_)
        if (auto view = weakView.lock()) out.emplace_back(view, name);
    return out;
}

void GADNativeAdViewPolicy::replaceAssetWithName(const std::string& name, const std::shared_ptr<platform::View>& view,
                                                 std::weak_ptr<platform::View>& field) {
    auto previous = field.lock();
    if (previous == view) return;
    field = view;
    auto drop = [&](const std::shared_ptr<platform::View>& v) {
        assetViewAssetNames_.erase(std::remove_if(assetViewAssetNames_.begin(), assetViewAssetNames_.end(),
                                                  [&](const auto& entry) {
                                                      auto held = entry.first.lock();
                                                      return !held || held == v;
                                                  }),
                                   assetViewAssetNames_.end());
    };
    if (previous) drop(previous);
    if (view) {
        drop(view); // one view, one name: the later one
        assetViewAssetNames_.emplace_back(view, name);
    }
}

platform::Rect GADNativeAdViewPolicy::frameInAdView(const platform::View& view) const {
    auto adView = adView_.lock();
    auto superview = view.superview();
    if (!adView || !superview) return view.frame();
    return superview->convertRectToView(view.frame(), adView.get());
}

void GADNativeAdViewPolicy::handleTapAtLocation(platform::Point location) {
    if (!nativeAd_) return;
    std::shared_ptr<platform::View> tapped;
    std::string assetName;
    if (!attributionView_->isHidden() && attributionView_->frame().contains(location)) {
        platform::Point inBadge = attributionView_->convertPointFromView(location, adView_.lock().get());
        if (attributionView_->iconView()->frame().contains(inBadge)) {
            tapped = attributionView_->iconView();
            assetName = attributionIconAssetName_;
        } else {
            tapped = attributionView_->textView();
            assetName = attributionTextAssetName_;
        }
    } else {
        for (const auto& [view, name] : assetViews()) {
            if (view->isHidden() || !frameInAdView(*view).contains(location)) continue;
            tapped = view;
            assetName = name;
            break;
        }
    }
    if (!tapped) return;
    nativeAd_->performClickOnView(tapped, assetName, tapHandlingEnvironmentWithTapLocation(location));
}

platform::Value GADNativeAdViewPolicy::tapHandlingEnvironmentWithTapLocation(platform::Point location) const {
    auto adView = adView_.lock();
    platform::Rect window = adView ? adView->convertRectToView(adView->frame(), nullptr) : platform::Rect::zero();
    platform::Value rectangles = platform::Value::object();
    for (const auto& [view, name] : assetViews()) rectangles[name] = GADSDKCoreDictionaryFromRect(frameInAdView(*view));
    if (!attributionView_->isHidden()) {
        rectangles[attributionIconAssetName_] = GADSDKCoreDictionaryFromRect(frameInAdView(*attributionView_->iconView()));
        rectangles[attributionTextAssetName_] = GADSDKCoreDictionaryFromRect(frameInAdView(*attributionView_->textView()));
    }
    return {{"native_view_rectangle", GADSDKCoreDictionaryFromRect(window)},
            {"view_rectangles", rectangles},
            {"click_point", {{"x", static_cast<double>(location.x)}, {"y", static_cast<double>(location.y)}}}};
}

} // namespace ruzave
