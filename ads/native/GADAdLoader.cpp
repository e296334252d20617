#include "ads/native/GADAdLoader.h"

#include <algorithm>
#include <functional>

#include "ads/core/public/GADAdSize.h"
#include "ads/core/public/GADAdType.h"
#include "ads/core/public/GADInternalErrorAdditions.h"
#include "ads/core/public/GADRequest.h"
#include "ads/core/public/GADRequestError.h"
#include "ads/core/slot/GADAd.h"
#include "ads/core/slot/GADResponseType.h"
#include "ads/core/slot/GADSlot.h"
#include "ads/core/util/GADLogger.h"
#include "ads/mediation/GADMediatedRuzaveNativeAd.h"
#include "ads/native/GADAdLoaderAdTypes.h"
#include "ads/native/GADAdLoaderConfiguration.h"
#include "ads/native/GADAdPreprocessor.h"
#include "ads/native/GADCorrelatorAdLoaderOptions.h"
#include "ads/native/GADMediatedNativeAd.h"
#include "ads/native/GADNativeAppInstallAd.h"
#include "ads/native/GADNativeContentAd.h"
#include "ads/native/GADNativeCustomTemplateAd.h"
#include "ads/render/GADAdView.h"
#include "platform/runloop/DispatchQueue.h"

namespace ruzave {

namespace {

// What the loader needs of each native ad class it can build.
struct NativeAdClass {
    const char* protocolName;
    std::function<bool(const std::shared_ptr<GADAdLoaderDelegate>&)> conforms;
    std::function<platform::Value(GADAdLoader&)> requestParameters;
    std::function<std::shared_ptr<GADNativeAd>(const platform::Value&, const GADNativeAd::Options&)> fromJSON;
    std::function<std::shared_ptr<GADNativeAd>(const std::shared_ptr<GADMediatedNativeAd>&, const GADNativeAd::Options&)>
        fromMediated;
    std::function<void(GADAdLoader&, const std::shared_ptr<GADNativeAd>&)> deliver;
};

template <typename Ad, typename Protocol>
NativeAdClass nativeAdClass(const char* protocolName) {
    return NativeAdClass{
        protocolName,
        [](const std::shared_ptr<GADAdLoaderDelegate>& d) { return std::dynamic_pointer_cast<Protocol>(d) != nullptr; },
        [](GADAdLoader& loader) { return Ad::requestParametersForAdLoader(loader); },
        [](const platform::Value& json, const GADNativeAd::Options& options) -> std::shared_ptr<GADNativeAd> {
            return Ad::initWithDictionary(json, options);
        },
        [](const std::shared_ptr<GADMediatedNativeAd>& m, const GADNativeAd::Options& options) -> std::shared_ptr<GADNativeAd> {
            return Ad::initWithMediatedNativeAd(m, options);
        },
        [](GADAdLoader& loader, const std::shared_ptr<GADNativeAd>& ad) {
            if (auto typed = std::dynamic_pointer_cast<Ad>(ad)) typed->adLoaderDidReceiveAd(loader);
        },
    };
}

const NativeAdClass* nativeAdClassNamed(const std::string& name) {
    static const std::map<std::string, NativeAdClass> classes = {
        {kGADNativeContentAdClassName,
         nativeAdClass<GADNativeContentAd, GADNativeContentAdLoaderDelegate>("GADNativeContentAdLoaderDelegate")},
        {kGADNativeAppInstallAdClassName,
         nativeAdClass<GADNativeAppInstallAd, GADNativeAppInstallAdLoaderDelegate>("GADNativeAppInstallAdLoaderDelegate")},
        {kGADNativeCustomTemplateAdClassName,
         nativeAdClass<GADNativeCustomTemplateAd, GADNativeCustomTemplateAdLoaderDelegate>(
             "GADNativeCustomTemplateAdLoaderDelegate")},
    };
    auto it = classes.find(name);
    return it == classes.end() ? nullptr : &it->second;
}

const char* protocolNameForClass(const std::string& name) {
    const NativeAdClass* c = nativeAdClassNamed(name);
    return c ? c->protocolName : "GADAdLoaderDelegate";
}

} // namespace

bool GADDelegateConformsToRequiredProtocol(const std::shared_ptr<GADAdLoaderDelegate>& delegate,
                                           const std::string& adClassName, platform::Error* error) {
    const NativeAdClass* c = nativeAdClassNamed(adClassName);
    bool conforms = c && c->conforms(delegate);
    if (conforms) return true;
    if (error) {
        std::string protocol = protocolNameForClass(adClassName);
        const GADAdLoaderDelegate* raw = delegate.get();
        std::string delegateName = raw ? GADClassName(typeid(*raw)) : "(null)";
        *error = gad_errorWithCode(GADInternalErrorInvalidArgument,
                                   "Delegate does not conform to the required protocol, " + protocol + ". Add " +
                                       protocol + " to " + delegateName + "'s protocol list.");
    }
    return false;
}

std::shared_ptr<GADAdLoader>
GADAdLoader::initWithAdUnitID(const std::string& adUnitID, const std::shared_ptr<platform::ViewController>& root,
                              const std::vector<std::string>& adTypes,
                              const std::vector<std::shared_ptr<GADAdLoaderOptions>>& options) {
    std::shared_ptr<GADAdLoader> loader(new GADAdLoader());
    loader->adLoaderConfiguration_ = GADAdLoaderConfiguration::initWithAdTypes(adTypes, options);
    loader->adUnitID_ = adUnitID;
    loader->rootViewController_ = root;
    loader->slot_ = GADSlot::init();
    if (!loader->slot_) return nullptr;
    loader->slot_->setSlotDelegate(std::static_pointer_cast<GADSlotDelegate>(loader));
    loader->slot_->setAdResponseDelegate(std::static_pointer_cast<GADSlotAdResponseDelegate>(loader));
    loader->slot_->setAdLoadDelegate(std::static_pointer_cast<GADSlotAdLoadDelegate>(loader));
    loader->slot_->setAdUnitID(adUnitID);
    if (loader->adLoaderConfiguration_) {
        for (const auto& option : loader->adLoaderConfiguration_->options()) {
            if (auto correlated = std::dynamic_pointer_cast<GADCorrelatorAdLoaderOptions>(option)) {
                loader->slot_->setCorrelator(correlated->correlator);
                break;
            }
        }
    }
    if (auto adView = loader->slot_->adView()) adView->configureAsBannerAdView();
    loader->slot_->setAdType(GADAdType::initWithAdSize(kGADAdSizeBanner), false);
    return loader;
}

GADAdLoader::~GADAdLoader() {
    if (slot_) slot_->invalidate();
}

void GADAdLoader::setDelegate(const std::shared_ptr<GADAdLoaderDelegate>& delegate) {
    if (delegate == delegate_.lock()) return;
    if (!delegate) {
        delegate_.reset();
        return;
    }
    if (adLoaderConfiguration_) {
        for (const auto& className : adLoaderConfiguration_->adTypeClasses()) {
            platform::Error error;
            if (!GADDelegateConformsToRequiredProtocol(delegate, className, &error)) {
                GADLogger::sharedInstance()->logPublicMessage(error.description);
                return;
            }
        }
    }
    delegate_ = delegate;
}

platform::Rect GADAdLoader::frame() const {
    auto type = slot_ ? slot_->adType() : nullptr;
    if (!type) return platform::Rect::zero();
    platform::Size size = CGSizeFromGADAdSize(type->adSize());
    return platform::Rect{{0, 0}, size};
}

bool GADAdLoader::requestsClass(const std::string& className) const {
    if (!adLoaderConfiguration_) return false;
    const auto& classes = adLoaderConfiguration_->adTypeClasses();
    return std::find(classes.begin(), classes.end(), className) != classes.end();
}

void GADAdLoader::loadRequest(const std::shared_ptr<GADRequest>& request) {
    if (!adLoaderConfiguration_ || adLoaderConfiguration_->adTypeClasses().empty()) {
        std::weak_ptr<GADAdLoader> weakSelf = weak_from_this();
        platform::mainQueue()->async([weakSelf, request] {
            if (auto self = weakSelf.lock())
                self->handleFailedRequestWithRequestError(GADRequestError::errorWithCode(
                    GADRequestErrorInvalidRequest, request, 0, std::string("Must specify at least one ad type.")));
        });
        return;
    }
    platform::Value formatParameters = platform::Value::array();
    std::map<std::string, platform::Value> byClass;
    for (const auto& className : adLoaderConfiguration_->adTypeClasses()) {
        const NativeAdClass* c = nativeAdClassNamed(className);
        if (!c) continue;
        platform::Value parameters = c->requestParameters(*this);
        if (parameters.is_object() && !parameters.empty()) {
            formatParameters.push_back(parameters);
            byClass[className] = parameters;
        }
    }
    adClassRequestParameters_ = std::move(byClass);
    auto copy = request ? request->copy() : GADRequest::request();
    copy->setFormatParameters(formatParameters);
    copy->setResponseType(GADResponseTypeNative);
    slot_->loadRequest(copy);
}

bool GADAdLoader::slotShouldProcessAdResponse(GADSlot&, const std::shared_ptr<GADAd>& ad, platform::Error* error) {
    auto preprocessor = GADAdPreprocessor::initWithAdUnitID(adUnitID_);
    if (!preprocessor) {
        if (error) *error = GADRequestError::errorWithCode(GADRequestErrorInternalError,
                                                           "Ad loader failed to process ad response.");
        return false;
    }
    adPreprocessors_.push_back(preprocessor);
    auto self = shared_from_this();
    preprocessor->preprocessNativeAdJSON(
        ad ? ad->adHTML().value_or("") : "",
        [self, preprocessor](const std::optional<platform::Value>& object, const std::shared_ptr<GADSlot>& slot,
                             const std::optional<platform::Error>&) {
            self->preprocessingFinished(preprocessor, object, slot);
        });
    return false;
}

void GADAdLoader::preprocessingFinished(const std::shared_ptr<GADAdPreprocessor>& preprocessor,
                                        const std::optional<platform::Value>& object,
                                        const std::shared_ptr<GADSlot>& slot) {
    adPreprocessors_.erase(std::remove(adPreprocessors_.begin(), adPreprocessors_.end(), preprocessor),
                           adPreprocessors_.end());
    // A failed preprocessing arrives without an object and ends as an invalid response.
    std::shared_ptr<GADNativeAd> ad;
    std::optional<std::string> className = object ? GADNativeAd::classFromAdConfigurationDictionary(*object) : std::nullopt;
    const NativeAdClass* adClass = className && requestsClass(*className) ? nativeAdClassNamed(*className) : nullptr;
    if (adClass) {
        if (auto first = GADNativeAd::firstAdObjectInAdConfigurationDictionary(*object))
            ad = adClass->fromJSON(*first, adLoaderConfiguration_->options());
    }
    if (ad) {
        auto it = adClassRequestParameters_.find(*className);
        platform::Value parameters = it == adClassRequestParameters_.end() ? platform::Value::object() : it->second;
        if (!ad->hasValidConfigurationForRequestParameters(parameters)) ad.reset();
    }
    if (!ad || !slot) {
        handleFailedRequestWithRequestError(GADRequestError::errorWithCode(GADRequestErrorInvalidResponse));
        return;
    }
    nativeAds_.push_back(ad);
    ad->setAdUnitID(adUnitID_);
    ad->setRootViewController(rootViewController_);
    ad->setSlot(slot);
    if (auto adView = slot->adView()) adView->setViewController(rootViewController_);
    std::weak_ptr<GADAdLoader> weakSelf = weak_from_this();
    std::weak_ptr<GADNativeAd> weakAd = ad;
    ad->loadAssetsWithCompletionHandler([weakSelf, weakAd](const std::optional<platform::Error>& error) {
        auto self = weakSelf.lock();
        auto loaded = weakAd.lock();
        if (!self || !loaded) return;
        if (error) {
            // The ad is no use to anyone now: let it go.
            self->forgetNativeAd(loaded);
            self->handleFailedRequestWithRequestError(
                GADRequestError::errorWithCode(GADRequestErrorInternalError, "Error loading native ad assets."));
            return;
        }
        self->nativeAdDidFinishLoadingAssets(loaded);
    });
}

void GADAdLoader::forgetNativeAd(const std::shared_ptr<GADNativeAd>& ad) {
    nativeAds_.erase(std::remove(nativeAds_.begin(), nativeAds_.end(), ad), nativeAds_.end());
}

void GADAdLoader::nativeAdDidFinishLoadingAssets(const std::shared_ptr<GADNativeAd>& ad) {
    forgetNativeAd(ad);
    auto d = delegate();
    platform::Error error;
    if (!GADDelegateConformsToRequiredProtocol(d, ad->className(), &error)) {
        handleFailedRequestWithRequestError(GADRequestError::errorWithCode(GADRequestErrorInvalidRequest, error));
        return;
    }
    if (const NativeAdClass* c = nativeAdClassNamed(ad->className())) c->deliver(*this, ad);
}

void GADAdLoader::handleFailedRequestWithRequestError(const std::optional<platform::Error>& error) {
    auto d = delegate();
    if (!d) return;
    d->adLoaderDidFailToReceiveAdWithError(*this, error ? *error : GADRequestError::errorWithCode(GADRequestErrorInternalError));
}

void GADAdLoader::slotDidFailToLoadAdContentWithError(GADSlot&, const platform::Error& error) {
    handleFailedRequestWithRequestError(error);
}

bool GADAdLoader::slotShouldProcessMediatedAdResponse(GADSlot&, const std::shared_ptr<GADAd>& ad, platform::Error*) {
    if (ad) ad->setMediationDelegate(std::static_pointer_cast<GADAdMediationDelegate>(shared_from_this()));
    return true;
}

std::string GADAdLoader::connectorClassForAd(const std::shared_ptr<GADAd>&) { return "GADMAdNetworkConnectorNativeAd"; }

std::shared_ptr<GADAdLoaderConfiguration> GADAdLoader::adLoaderConfigurationForAd(const std::shared_ptr<GADAd>&) {
    return adLoaderConfiguration_;
}

void GADAdLoader::adProcessMediatedAdWithCompletionHandler(
    const std::shared_ptr<GADAd>&, const std::shared_ptr<GADMediatedAd>& mediatedAd,
    std::function<void(const std::optional<platform::Error>&)> completionHandler) {
    if (auto native = std::dynamic_pointer_cast<GADMediatedNativeAd>(mediatedAd)) {
        processMediatedNativeAd(native, std::move(completionHandler));
        return;
    }
    const GADMediatedAd* raw = mediatedAd.get();
    std::string name = raw ? GADClassName(typeid(*raw)) : "(null)";
    if (completionHandler)
        completionHandler(gad_errorWithCode(
            GADRequestErrorInternalError, "Ad loader currently isn't able to process returned mediated ad class " + name));
}

void GADAdLoader::processMediatedNativeAd(const std::shared_ptr<GADMediatedNativeAd>& mediatedAd,
                                          std::function<void(const std::optional<platform::Error>&)> completionHandler) {
    auto complete = [completionHandler](const std::optional<platform::Error>& error) {
        if (completionHandler) completionHandler(error);
    };
    auto className = GADNativeAd::classFromMediatedNativeAd(mediatedAd);
    const NativeAdClass* adClass = className ? nativeAdClassNamed(*className) : nullptr;
    if (!adClass) {
        // A network ad of no kind we know is not convertible.
        complete(gad_errorWithCode(GADRequestErrorInternalError, "Ad loader failed to process mediated native ad response."));
        return;
    }
    platform::Error conformance;
    if (!GADDelegateConformsToRequiredProtocol(delegate(), *className, &conformance)) {
        complete(conformance);
        return;
    }
    auto options = adLoaderConfiguration_ ? adLoaderConfiguration_->options() : GADNativeAd::Options{};
    std::shared_ptr<GADNativeAd> ad;
    if (auto own = std::dynamic_pointer_cast<GADMediatedRuzaveNativeAd>(mediatedAd->mediatedNativeAd())) {
        // Served by our own network: the finished ad is taken as it is and keeps the wrapper for its
        // impression and click reports.
        ad = own->takeNativeAd();
        mediatedAd->setMediatedNativeAd(nullptr);
        if (ad) {
            ad->setMediatedNativeAd(mediatedAd);
            ad->setAdNetworkClassName(mediatedAd->adNetworkClassName());
        }
    } else {
        ad = adClass->fromMediated(mediatedAd, options);
    }
    if (!ad) {
        complete(gad_errorWithCode(GADRequestErrorInternalError, "Ad loader failed to process mediated native ad response."));
        return;
    }
    // Owned here until it is delivered; a mediated ad may have no slot of its own.
    nativeAds_.push_back(ad);
    ad->setAdUnitID(adUnitID_);
    ad->setRootViewController(rootViewController_);
    if (auto adSlot = ad->slot()) {
        adSlot->setAdUnitID(adUnitID_);
        if (auto adView = adSlot->adView()) adView->setViewController(rootViewController_);
    }
    std::weak_ptr<GADAdLoader> weakSelf = weak_from_this();
    ad->loadAssetsWithCompletionHandler([weakSelf, ad, complete](const std::optional<platform::Error>& error) {
        auto self = weakSelf.lock();
        if (error) {
            if (self) self->forgetNativeAd(ad);
            complete(error);
            return;
        }
        complete(std::nullopt);
        if (self) self->nativeAdDidFinishLoadingAssets(ad);
    });
}

} // namespace ruzave
