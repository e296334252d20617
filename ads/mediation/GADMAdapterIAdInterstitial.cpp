#include "ads/mediation/GADMAdapterIAdInterstitial.h"

#include "ads/core/public/GADInternalErrorAdditions.h"
#include "ads/core/public/GADRequestError.h"
#include "ads/core/signals/GAD_GTMStringEncoding.h"
#include "ads/mediation/GADMAdNetworkAdapter.h"
#include "ads/mediation/GADMAdNetworkConnector.h"
#include "ads/mediation/GADMAdapterIAdUtilities.h"
#include "platform/runloop/DispatchQueue.h"
#include "platform/ui/Button.h"
#include "platform/ui/Device.h"
#include "platform/ui/Image.h"
#include "platform/ui/View.h"

namespace ruzave {
namespace {

// A white cross in a dark round badge with a white ring, transparent around: 25 x 25 and 50 x 50 pixels.
const std::string kCloseImage1x = "iVBORw0KGgoAAAANSUhEUgAAABkAAAAZCAYAAADE6YVjAAAAgUlEQVR42s2W0Q3AIAhEGYf9h+oa1k+jVu8QLyXxS70ngoIZaaWaZVsB7Kr4Eazd6O7PbtAgFkCDIuJfsFQPKI9mAAS62gdd08671fwAigihB4AD3gsi8aMhvTCzns6q6FqNJ7+IyfXsSn0nkhcv+7skv7Csnsgqo6zGy7qVzL7rBbMbVEnF3WLzAAAAAElFTkSuQmCC";
const std::string kCloseImage2x = "iVBORw0KGgoAAAANSUhEUgAAADIAAAAyCAYAAAAeP4ixAAAA8UlEQVR42u3aSw6AIAxFUZfD/hflNnTsQNPPq7Y3kjhUOEGltGzb367tCLbRg2+DOoobAlGOsXS+1to91+sgNcALKkdkAR5QCUINsIJGIaSYrxEyTAfEE2YcIozpiAhhPBAVONrfLcQ7G1Ure3pWFA/1YCL3hyCZVfjNeyUfeWRA2ZDncVYy77pnYKq4rQRiHWBl+C+DWPcWqnWqFBLBqPqRQzwYZR8lEAtG/fwfgn+1EB874veLWBBbhyhjg0ZMGI/eWI3d6mKSD6h0ECZBh0qZopLYmLICqtCDKr2hiqGo8jTqwADuCAfqUA3umFOndgIpgLFHyNQ+BAAAAABJRU5ErkJggg==";

bool isOS7OrLater() {
    return GADMAdapterIAdUtilities::isOSAtLeast(7, 0, 0);
}

} // namespace

// --- Close image.

GADMAdapterIAdIntrinsicImages& GADMAdapterIAdIntrinsicImages::sharedInstance() {
    static GADMAdapterIAdIntrinsicImages instance;
    return instance;
}

std::shared_ptr<platform::Image> GADMAdapterIAdIntrinsicImages::closeButton() {
    if (!closeButton_) closeButton_ = imageWithBase64EncodedString(chooseImage(kCloseImage1x, kCloseImage2x));
    return closeButton_;
}

std::string GADMAdapterIAdIntrinsicImages::chooseImage(const std::string& single,
                                                              const std::string& doubleDensity) {
    return GADMAdapterIAdUtilities::sharedInstance().screenScale() == 1.0f ? single : doubleDensity;
}

std::shared_ptr<platform::Image> GADMAdapterIAdIntrinsicImages::imageWithBase64EncodedString(const std::string& text) {
    auto data = GAD_GTMStringEncoding::rfc4648Base64StringEncoding()->decode(text);
    if (!data) return nullptr;
    auto decoded = platform::Image::imageWithData(*data);
    if (!decoded) return nullptr;
    return platform::Image::imageWithBitmap(decoded->bitmap(), GADMAdapterIAdUtilities::sharedInstance().screenScale(),
                                            platform::ImageOrientation::Up);
}

// --- Presentation view controller.

std::shared_ptr<GADMAdapterIAdInterstitialViewController> GADMAdapterIAdInterstitialViewController::init() {
    std::shared_ptr<GADMAdapterIAdInterstitialViewController> vc(new GADMAdapterIAdInterstitialViewController());
    vc->iAdInterstitialView_ = platform::View::create(vc->view()->frame());
    vc->iAdInterstitialView_->setAutoresizesSubviews(true);
    vc->iAdInterstitialView_->setAutoresizingMask(platform::AutoresizingFlexibleWidth |
                                                  platform::AutoresizingFlexibleHeight);
    vc->closeButton_ = platform::Button::create(platform::Rect{{0, 0}, {kCloseButtonSize, kCloseButtonSize}});
    std::weak_ptr<GADMAdapterIAdInterstitialViewController> weak = vc;
    vc->closeButton_->addTarget([weak](platform::Button&) {
        if (auto self = weak.lock()) self->interstitialAdActionDidFinish();
    });
    vc->closeButton_->setImage(GADMAdapterIAdIntrinsicImages::sharedInstance().closeButton(), platform::ControlStateNormal);
    return vc;
}

void GADMAdapterIAdInterstitialViewController::presentInterstitial(
    const std::shared_ptr<platform::PlatformAdInterstitial>& interstitialAd,
    const std::shared_ptr<platform::ViewController>& rootViewController) {
    interstitialAd_ = interstitialAd;
    if (interstitialAd_) interstitialAd_->presentInView(iAdInterstitialView_);
    if (rootViewController) rootViewController->presentViewController(shared_from_this(), true, nullptr);
}

void GADMAdapterIAdInterstitialViewController::viewWillAppear(bool animated) {
    platform::ViewController::viewWillAppear(animated);
    view()->addSubview(iAdInterstitialView_);
    view()->addSubview(closeButton_);
}

void GADMAdapterIAdInterstitialViewController::viewWillDisappear(bool animated) {
    closeButton_->removeFromSuperview();
    iAdInterstitialView_->removeFromSuperview();
    platform::ViewController::viewWillDisappear(animated);
}

void GADMAdapterIAdInterstitialViewController::interstitialAdActionDidFinish() {
    auto ad = interstitialAd_;
    if (!ad) return;
    platform::DispatchQueue::main()->async([ad] {
        if (auto delegate = ad->delegate().lock()) delegate->interstitialAdActionDidFinish(*ad);
    });
}

// --- The interstitial.

bool GADMAdapterIAdInterstitial::currentPlatformIsSupported() {
    return GADMAdapterIAdUtilities::isOSAtLeast(4, 3, 0);
}

GADMAdapterIAdInterstitial::~GADMAdapterIAdInterstitial() {
    stopBeingDelegate();
}

void GADMAdapterIAdInterstitial::initWithGADMAdNetworkConnector(const std::shared_ptr<GADMAdNetworkConnector>& connector,
                                                                const std::shared_ptr<GADMAdNetworkAdapter>& adapter) {
    connector_ = connector;
    adapter_ = adapter;
    presentationViewController_ = GADMAdapterIAdInterstitialViewController::init();
}

template <typename F> static void toConnector(const std::weak_ptr<GADMAdNetworkConnector>& connector,
                                              const std::weak_ptr<GADMAdNetworkAdapter>& adapter, F&& call) {
    auto c = connector.lock();
    auto a = adapter.lock();
    if (c && a) call(*c, *a);
}

void GADMAdapterIAdInterstitial::getInterstitial() {
    if (iAdInterstitial_) return;
    const bool tablet = platform::Device::currentDevice()->userInterfaceIdiom() == platform::UserInterfaceIdiom::Pad;
    if (!tablet && !isOS7OrLater()) {
        platform::Error error(kGADErrorDomain, GADRequestErrorIncompatibleAdType, kPreIOS7PhoneMessage);
        error.userInfo[kGADLocalizedDescriptionKey] = error.description;
        toConnector(connector_, adapter_, [&](GADMAdNetworkConnector& c, GADMAdNetworkAdapter& a) {
            c.adapterDidFailInterstitial(a, error);
        });
        return;
    }
    stopBeingDelegate();
    presented_ = false;
    iAdInterstitial_ = platform::PlatformAdInterstitial::create();
    iAdInterstitial_->setDelegate(shared_from_this());
}

void GADMAdapterIAdInterstitial::stopBeingDelegate() {
    if (iAdInterstitial_) iAdInterstitial_->setDelegate({});
}

void GADMAdapterIAdInterstitial::presentInterstitialFromRootViewController(
    const std::shared_ptr<platform::ViewController>& root) {
    // Nothing to show: the app hears no presentation that never happens.
    if (!iAdInterstitial_ || !iAdInterstitial_->isLoaded() || iAdInterstitial_->isPresented()) return;
    auto self = shared_from_this();
    presented_ = true;
    toConnector(connector_, adapter_, [&](GADMAdNetworkConnector& c, GADMAdNetworkAdapter& a) {
        c.adapterWillPresentInterstitial(a);
    });
    if (!iAdInterstitial_) return;
    if (isOS7OrLater()) {
        presentationViewController_->presentInterstitial(iAdInterstitial_, root);
    } else {
        iAdInterstitial_->presentFromViewController(root);
    }
}

void GADMAdapterIAdInterstitial::drop() {
    stopBeingDelegate();
    iAdInterstitial_.reset();
    presented_ = false;
}

void GADMAdapterIAdInterstitial::interstitialAdDidLoad(platform::PlatformAdInterstitial& ad) {
    if (!isCurrent(ad)) return;
    auto self = shared_from_this();
    toConnector(connector_, adapter_, [&](GADMAdNetworkConnector& c, GADMAdNetworkAdapter& a) {
        c.adapterDidReceiveInterstitial(a);
    });
}

void GADMAdapterIAdInterstitial::interstitialAdDidFailWithError(platform::PlatformAdInterstitial& ad,
                                                                const platform::Error& error) {
    if (!isCurrent(ad)) return;
    auto self = shared_from_this();
    toConnector(connector_, adapter_, [&](GADMAdNetworkConnector& c, GADMAdNetworkAdapter& a) {
        c.adapterDidFailInterstitial(a, error);
    });
    drop();
}

bool GADMAdapterIAdInterstitial::interstitialAdActionShouldBegin(platform::PlatformAdInterstitial& ad,
                                                                 bool willLeaveApplication) {
    if (isCurrent(ad) && willLeaveApplication) {
        auto self = shared_from_this();
        toConnector(connector_, adapter_, [&](GADMAdNetworkConnector& c, GADMAdNetworkAdapter& a) {
            c.adapterWillLeaveApplication(a);
        });
    }
    return true;
}

void GADMAdapterIAdInterstitial::finish() {
    auto self = shared_from_this();
    if (!presented_) {
        // Taken away before it was shown: nothing was presented, so nothing is dismissed.
        drop();
        return;
    }
    if (isOS7OrLater() && presentationViewController_->presentingViewController())
        presentationViewController_->dismissViewController(true, nullptr);
    drop();
    toConnector(connector_, adapter_, [&](GADMAdNetworkConnector& c, GADMAdNetworkAdapter& a) {
        c.adapterDidDismissInterstitial(a);
    });
}

void GADMAdapterIAdInterstitial::interstitialAdActionDidFinish(platform::PlatformAdInterstitial& ad) {
    if (isCurrent(ad)) finish();
}

void GADMAdapterIAdInterstitial::interstitialAdDidUnload(platform::PlatformAdInterstitial& ad) {
    if (!isCurrent(ad)) return;
    if (presented_) {
        finish();
        return;
    }
    // Gone before it was shown: the connector was told of a loaded ad, so it hears of a failure
    // instead; the app's interstitial would otherwise look ready and never show.
    auto self = shared_from_this();
    drop();
    platform::Error error(kGADErrorDomain, GADRequestErrorNoFill, kUnloadedBeforeShownMessage);
    error.userInfo[kGADLocalizedDescriptionKey] = error.description;
    toConnector(connector_, adapter_, [&](GADMAdNetworkConnector& c, GADMAdNetworkAdapter& a) {
        c.adapterDidFailInterstitial(a, error);
    });
}

} // namespace ruzave
