#include "ads/mediation/GADMAdapterIAdBanner.h"

#include "ads/core/public/GADInternalErrorAdditions.h"
#include "ads/core/public/GADRequestError.h"
#include "ads/mediation/GADMAdNetworkAdapter.h"
#include "ads/mediation/GADMAdNetworkConnector.h"
#include "ads/mediation/GADMAdapterIAdUtilities.h"
#include "platform/ui/Device.h"

namespace ruzave {
namespace {

using platform::PlatformAdBannerView;

bool isTablet() {
    return platform::Device::currentDevice()->userInterfaceIdiom() == platform::UserInterfaceIdiom::Pad;
}

bool pointSizeIs(const GADAdSize& adSize, float width, float height) {
    platform::Size s = CGSizeFromGADAdSize(adSize);
    return s.width == width && s.height == height;
}

// Runs `call` with the connector and the front adapter, when both are still there.
template <typename F>
void toConnector(const std::weak_ptr<GADMAdNetworkConnector>& connector, const std::weak_ptr<GADMAdNetworkAdapter>& adapter,
                 F&& call) {
    auto c = connector.lock();
    auto a = adapter.lock();
    if (c && a) call(*c, *a);
}

} // namespace

// --- Shared.

void GADMAdapterIAdBanner::keepReferences(const std::shared_ptr<GADMAdNetworkConnector>& connector,
                                          const std::shared_ptr<GADMAdNetworkAdapter>& adapter) {
    connector_ = connector;
    adapter_ = adapter;
}

void GADMAdapterIAdBanner::attachDelegate() {
    if (!bannerViewDelegate_)
        bannerViewDelegate_ = std::make_shared<GADMAdapterIAdBannerDelegate>(connector_, bannerView_, adapter_);
    bannerView_->setDelegate(bannerViewDelegate_);
}

// --- From OS 7 on.

bool GADMAdapterIAdBannerIOS7::currentPlatformIsSupported() {
    return GADMAdapterIAdUtilities::isOSAtLeast(7, 0, 0);
}

void GADMAdapterIAdBannerIOS7::initWithGADMAdNetworkConnector(const std::shared_ptr<GADMAdNetworkConnector>& connector,
                                                              const std::shared_ptr<GADMAdNetworkAdapter>& adapter) {
    keepReferences(connector, adapter);
}

void GADMAdapterIAdBannerIOS7::getBannerWithSize(const GADAdSize& adSize) {
    if (pointSizeIs(adSize, 300, 250) && isTablet()) {
        bannerView_ = PlatformAdBannerView::initWithAdType(PlatformAdBannerView::MediumRectangle);
    } else {
        bannerView_ = PlatformAdBannerView::initWithAdType(PlatformAdBannerView::Banner);
        if (bannerView_) {
            bannerView_->setAutoresizingMask(platform::AutoresizingFlexibleWidth);
            adjustADBannerToAdSize(adSize);
        }
    }
    if (!bannerView_) bannerView_ = PlatformAdBannerView::create();
    attachDelegate();
}

void GADMAdapterIAdBannerIOS7::adjustADBannerToAdSize(const GADAdSize& adSize) {
    if (!bannerView_) return;
    platform::Size fitted = bannerView_->sizeThatFits(CGSizeFromGADAdSize(adSize));
    bannerView_->setFrame(platform::Rect{bannerView_->frame().origin, fitted});
}

void GADMAdapterIAdBannerIOS7::stopBeingDelegate() {
    bannerViewDelegate_.reset();
}

// --- Before OS 7.

bool GADMAdapterIAdBannerPreIOS7::currentPlatformIsSupported() {
    return GADMAdapterIAdUtilities::isOSAtLeast(5, 0, 0) && !GADMAdapterIAdUtilities::isOSAtLeast(7, 0, 0);
}

void GADMAdapterIAdBannerPreIOS7::initWithGADMAdNetworkConnector(const std::shared_ptr<GADMAdNetworkConnector>& connector,
                                                                 const std::shared_ptr<GADMAdNetworkAdapter>& adapter) {
    keepReferences(connector, adapter);
    useIOS6API_ = PlatformAdBannerView::adTypeInitializerAvailable();
}

bool GADMAdapterIAdBannerPreIOS7::validPhoneSize(const GADAdSize& adSize) const {
    return pointSizeIs(adSize, 320, 50) || pointSizeIs(adSize, 480, 32) || pointSizeIs(adSize, 568, 32);
}

bool GADMAdapterIAdBannerPreIOS7::validTabletSize(const GADAdSize& adSize) const {
    return pointSizeIs(adSize, 768, 66) || pointSizeIs(adSize, 1024, 66) || pointSizeIs(adSize, 768, 90) ||
           pointSizeIs(adSize, 1024, 90) || (useIOS6API_ && pointSizeIs(adSize, 300, 250));
}

bool GADMAdapterIAdBannerPreIOS7::usePortraitIdentifier() const {
    return pointSizeIs(adSize_, 320, 50) || pointSizeIs(adSize_, 768, 66) || pointSizeIs(adSize_, 768, 90);
}

void GADMAdapterIAdBannerPreIOS7::getBannerWithSize(const GADAdSize& adSize) {
    const auto idiom = platform::Device::currentDevice()->userInterfaceIdiom();
    const char* device = nullptr;
    if (idiom == platform::UserInterfaceIdiom::Pad && !validTabletSize(adSize)) device = "tablet";
    if (idiom == platform::UserInterfaceIdiom::Phone && !validPhoneSize(adSize)) device = "phone";
    if (device) {
        platform::Error error(kGADErrorDomain, GADRequestErrorIncompatibleAdType,
                              "Invalid size (" + NSStringFromGADAdSize(adSize) + ") for iAd on " + device + ".");
        error.userInfo[kGADLocalizedDescriptionKey] = error.description;
        toConnector(connector_, adapter_, [&](GADMAdNetworkConnector& c, GADMAdNetworkAdapter& a) {
            c.adapterDidFailAd(a, error);
        });
        return;
    }
    std::shared_ptr<PlatformAdBannerView> view;
    if (useIOS6API_) {
        if (pointSizeIs(adSize, 300, 250)) {
            view = PlatformAdBannerView::initWithAdType(PlatformAdBannerView::MediumRectangle);
        } else if ((view = PlatformAdBannerView::initWithAdType(PlatformAdBannerView::Banner))) {
            view->setAutoresizingMask(platform::AutoresizingFlexibleWidth);
        }
    }
    if (!view) {
        view = PlatformAdBannerView::create(platform::Rect::zero());
        view->setRequiredContentSizeIdentifiers({PlatformAdBannerView::contentSizeIdentifierLandscape,
                                                 PlatformAdBannerView::contentSizeIdentifierPortrait});
    }
    bannerView_ = view;
    attachDelegate();
    adSize_ = adSize;
    adjustADBannerToAdSize();
}

void GADMAdapterIAdBannerPreIOS7::changeAdSizeTo(const GADAdSize& adSize) {
    adSize_ = adSize;
    adjustADBannerToAdSize();
}

void GADMAdapterIAdBannerPreIOS7::adjustADBannerToAdSize() {
    if (!bannerView_) return;
    bannerView_->setCurrentContentSizeIdentifier(usePortraitIdentifier()
                                                     ? PlatformAdBannerView::contentSizeIdentifierPortrait
                                                     : PlatformAdBannerView::contentSizeIdentifierLandscape);
}

void GADMAdapterIAdBannerPreIOS7::stopBeingDelegate() {
    bannerViewDelegate_.reset();
}

// --- The banner view delegate.

GADMAdapterIAdBannerDelegate::GADMAdapterIAdBannerDelegate(std::weak_ptr<GADMAdNetworkConnector> connector,
                                                           std::weak_ptr<PlatformAdBannerView> bannerView,
                                                           std::weak_ptr<GADMAdNetworkAdapter> adapter)
    : connector_(std::move(connector)), bannerView_(std::move(bannerView)), adapter_(std::move(adapter)) {}

void GADMAdapterIAdBannerDelegate::bannerViewDidLoadAd(PlatformAdBannerView& view) {
    if (auto own = bannerView_.lock()) own->setHidden(false);
    auto loaded = std::static_pointer_cast<PlatformAdBannerView>(view.shared_from_this());
    toConnector(connector_, adapter_, [&](GADMAdNetworkConnector& c, GADMAdNetworkAdapter& a) {
        c.adapterDidReceiveAdView(a, loaded);
    });
}

void GADMAdapterIAdBannerDelegate::bannerViewDidFailToReceiveAdWithError(PlatformAdBannerView&,
                                                                        const platform::Error& error) {
    if (!GADMAdapterIAdUtilities::isOSAtLeast(7, 0, 0)) {
        if (auto own = bannerView_.lock()) own->setHidden(true);
    }
    toConnector(connector_, adapter_, [&](GADMAdNetworkConnector& c, GADMAdNetworkAdapter& a) {
        c.adapterDidFailAd(a, error);
    });
}

bool GADMAdapterIAdBannerDelegate::bannerViewActionShouldBegin(PlatformAdBannerView& view, bool willLeaveApplication) {
    auto tapped = view.shared_from_this();
    toConnector(connector_, adapter_, [&](GADMAdNetworkConnector& c, GADMAdNetworkAdapter& a) {
        c.adapterClickDidOccurInBanner(a, tapped);
        if (!willLeaveApplication) {
            modalPresented_ = true;
            c.adapterWillPresentFullScreenModal(a);
        }
    });
    return true;
}

void GADMAdapterIAdBannerDelegate::bannerViewActionDidFinish(PlatformAdBannerView&) {
    // A dismissal answers a presentation: an action that left the app presented nothing here.
    if (!modalPresented_) return;
    modalPresented_ = false;
    toConnector(connector_, adapter_, [&](GADMAdNetworkConnector& c, GADMAdNetworkAdapter& a) {
        c.adapterDidDismissFullScreenModal(a);
    });
}

} // namespace ruzave
