#include "ads/native/GADNativeAd.h"

#include "ads/core/public/GADInternalErrorAdditions.h"
#include "ads/core/slot/GADSlot.h"
#include "ads/core/util/GADJSONAdditions.h"
#include "ads/core/util/GADRunOnMainThread.h"
#include "ads/mediation/GADMediatedRuzaveNativeAd.h"
#include "ads/native/GADAdLoaderAdTypes.h"
#include "ads/native/GADMediatedNativeAppInstallAd.h"
#include "ads/native/GADMediatedNativeContentAd.h"
#include "ads/native/GADNativeAdDelegate.h"
#include "ads/render/GADAdView.h"
#include "ads/render/GADClickTrackerCollection.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/runloop/DispatchQueue.h"

namespace ruzave {

namespace {

std::set<std::string> stringSet(const platform::Value* array) {
    std::set<std::string> out;
    if (!array || !array->is_array()) return out;
    for (const auto& item : *array)
        if (item.is_string()) out.insert(item.get<std::string>());
    return out;
}

// The built-in support page, kept out of plain sight in the binary: each byte is stored plus one.
std::string defaultSupportURLString() {
    static const char scrambled[] = "iuuqt;00teldpsf/sv{bwf/fybnqmf0nbet0tubujd0nbe0tel0obujwf0obujwf`bet/iunm";
    std::string text;
    for (const char* p = scrambled; *p; ++p) text.push_back(static_cast<char>(*p - 1));
    return text;
}

} // namespace

GADNativeAd::~GADNativeAd() {
    auto center = platform::NotificationCenter::defaultCenter();
    for (auto token : observerTokens_) center->removeObserver(token);
}

std::optional<platform::Value> GADNativeAd::firstAdObjectInAdConfigurationDictionary(const platform::Value& configuration) {
    const platform::Value* ads = platform::find(configuration, "ads");
    if (!ads || !ads->is_array() || ads->empty()) return std::nullopt;
    const platform::Value& first = (*ads)[0];
    if (!first.is_object()) return std::nullopt;
    return first;
}

std::optional<std::string> GADNativeAd::classFromAdConfigurationDictionary(const platform::Value& configuration) {
    auto ad = firstAdObjectInAdConfigurationDictionary(configuration);
    if (!ad) return std::nullopt;
    const std::string* type = platform::findString(*ad, "type");
    const platform::Value* templateID = platform::find(*ad, "template_id");
    if (!type || !templateID) return std::nullopt;
    // The id compares as the decimal text of an integer, whether it came as a number or a string.
    long long id = templateID->is_string() ? platform::integerValue(templateID->get<std::string>())
                                           : platform::integerValue(*templateID);
    return GADNativeAdClassForFormat(*type, id);
}

std::optional<std::string>
GADNativeAd::classFromMediatedNativeAd(const std::shared_ptr<GADMediatedNativeAd>& wrapper) {
    auto ad = wrapper ? wrapper->mediatedNativeAd() : nullptr;
    // An ad of our own network arrives finished: its class is its own.
    if (auto own = std::dynamic_pointer_cast<GADMediatedRuzaveNativeAd>(ad)) {
        if (auto native = own->nativeAd()) return native->className();
        return std::nullopt;
    }
    if (std::dynamic_pointer_cast<GADMediatedNativeAppInstallAd>(ad)) return kGADNativeAppInstallAdClassName;
    if (std::dynamic_pointer_cast<GADMediatedNativeContentAd>(ad)) return kGADNativeContentAdClassName;
    return std::nullopt;
}

platform::URL GADNativeAd::supportHTMLURL() {
    if (auto text = platform::UserDefaults::standard()->string(kSupportURLDefaultsKey)) {
        auto url = platform::URL::parse(*text);
        if (url && !url->absoluteString().empty() && !url->scheme().empty()) return *url;
    }
    return *platform::URL::parse(defaultSupportURLString());
}

void GADNativeAd::setUpWithDictionary(const platform::Value& dictionary) {
    adConfiguration_ = dictionary;
    const platform::Value* tracking = platform::find(dictionary, "tracking_urls_and_actions");
    if (tracking && tracking->is_object()) {
        if (const std::string* click = platform::findString(*tracking, "ruzave_click_tracking_url"))
            ruzaveClickTrackingURLString_ = *click;
        thirdPartyClickTrackingURLs_ = stringSet(platform::find(*tracking, "third_party_click_tracking_urls"));
        impressionTrackingURLs_ = stringSet(platform::find(*tracking, "impression_tracking_urls"));
        const platform::Value* actions = platform::find(*tracking, "click_actions");
        if (actions && actions->is_array()) clickActions_ = *actions;
    }
    adNetworkClassName_ = kOwnAdapterClassName;
}

void GADNativeAd::setUpWithMediatedNativeAd(const std::shared_ptr<GADMediatedNativeAd>& wrapper) {
    mediatedNativeAd_ = wrapper;
    if (!wrapper) return;
    adNetworkClassName_ = wrapper->adNetworkClassName();
    if (auto ad = wrapper->mediatedNativeAd()) extraAssets_ = ad->extraAssets();
}

void GADNativeAd::observeNotificationsFromMediatedNativeAd() {
    auto ad = mediatedNativeAd_ ? mediatedNativeAd_->mediatedNativeAd() : nullptr;
    if (!ad) return;
    auto center = platform::NotificationCenter::defaultCenter();
    std::weak_ptr<GADNativeAd> weakSelf = weak_from_this();
    auto observe = [&](const char* name, void (GADNativeAdDelegate::*method)(GADNativeAd&)) {
        observerTokens_.push_back(center->addObserver(name, ad.get(), nullptr, [weakSelf, method](const platform::Notification&) {
            if (auto self = weakSelf.lock()) self->tellDelegate(method);
        }));
    };
    observe(kWillPresentScreenNotification, &GADNativeAdDelegate::nativeAdWillPresentScreen);
    observe(kWillDismissScreenNotification, &GADNativeAdDelegate::nativeAdWillDismissScreen);
    observe(kDidDismissScreenNotification, &GADNativeAdDelegate::nativeAdDidDismissScreen);
    observe(kWillLeaveApplicationNotification, &GADNativeAdDelegate::nativeAdWillLeaveApplication);
}

void GADNativeAd::tellDelegate(void (GADNativeAdDelegate::*method)(GADNativeAd&)) {
    if (auto d = delegate()) ((*d).*method)(*this);
}

void GADNativeAd::setSlot(const std::shared_ptr<GADSlot>& slot) {
    if (slot == slot_) return;
    slot_ = slot;
    if (slot_) slot_->setAdEventDelegate(std::static_pointer_cast<GADSlotAdEventDelegate>(shared_from_this()));
}

void GADNativeAd::performClickOnView(const std::shared_ptr<platform::View>&, const std::optional<std::string>& assetName,
                                     const platform::Value& environment) {
    if (!assetName || !adConfiguration_) return;
    platform::Value message = environment.is_object() ? environment : platform::Value::object();
    message["ad"] = *adConfiguration_;
    message["click"] = platform::Value{
        {"template", clickActionTemplateID()}, {"asset", *assetName}, {"sdk_version", kSDKVersion}};
    if (!gad_isValidJSONObject(message)) return;
    // Script-safe JSON: U+2028 and U+2029 are escaped so the text cannot break the call.
    std::string script = "ruzave.zudo.nativeAds.handleClickGmsg(" + platform::toScriptJSON(message) + ")";
    auto slot = slot_;
    GADRunOnMainThread([slot, script] {
        if (!slot) return;
        if (auto adView = slot->adView()) adView->stringByEvaluatingJavaScriptFromString(script);
    });
}

void GADNativeAd::recordImpression() {
    if (hasRecordedImpression_) return;
    hasRecordedImpression_ = true;
    std::vector<std::string> urls(impressionTrackingURLs_.begin(), impressionTrackingURLs_.end());
    GADClickTrackerCollection::sharedInstance()->trackURLs(urls, false);
}

void GADNativeAd::loadAssetsWithCompletionHandler(AssetLoadCompletionHandler handler) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        assetLoadCompletionHandlers_.push_back(std::move(handler));
    }
    // A later turn of the main queue: every asset the subclass names in this call is counted first.
    auto self = shared_from_this();
    platform::mainQueue()->async([self] {
        {
            std::lock_guard<std::mutex> guard(self->lock_);
            self->assetLoadingStarted_ = true;
        }
        if (self->failedToLoadARequiredAsset_) {
            // A later caller hears the failure that ended the loading, not silence.
            self->callAndClearAssetLoadCompletionHandlersWithError(self->requiredAssetError_);
            return;
        }
        self->notifyLoadingDelegateIfAllRequestedAssetsHaveLoaded();
    });
}

bool GADNativeAd::shouldLoadAssets() {
    std::lock_guard<std::mutex> guard(lock_);
    return !assetLoadingStarted_;
}

void GADNativeAd::addAssetWithNameToRequestedAssets(const std::string& name) { requestedAssets_.insert(name); }

void GADNativeAd::finishedLoadingAssetWithName(const std::optional<std::string>& name) {
    if (name) completedAssets_.insert(*name);
    notifyLoadingDelegateIfAllRequestedAssetsHaveLoaded();
}

void GADNativeAd::failedToLoadAssetWithName(const std::optional<std::string>& name) {
    if (name) completedAssets_.insert(*name);
    auto required = requiredAssets();
    if (!failedToLoadARequiredAsset_ && name && required && required->count(*name)) {
        failedToLoadARequiredAsset_ = true;
        requiredAssetError_ = gad_errorWithCode(kRequiredAssetFailedCode, "Failed to load a required asset.");
        callAndClearAssetLoadCompletionHandlersWithError(requiredAssetError_);
        return;
    }
    notifyLoadingDelegateIfAllRequestedAssetsHaveLoaded();
}

void GADNativeAd::notifyLoadingDelegateIfAllRequestedAssetsHaveLoaded() {
    if (failedToLoadARequiredAsset_) return;
    {
        std::lock_guard<std::mutex> guard(lock_);
        // Before the start mark, more assets may still be named.
        if (!assetLoadingStarted_) return;
    }
    for (const auto& name : requestedAssets_)
        if (!completedAssets_.count(name)) return;
    callAndClearAssetLoadCompletionHandlersWithError(std::nullopt);
}

void GADNativeAd::callAndClearAssetLoadCompletionHandlersWithError(const std::optional<platform::Error>& error) {
    std::vector<AssetLoadCompletionHandler> handlers;
    {
        std::lock_guard<std::mutex> guard(lock_);
        handlers.swap(assetLoadCompletionHandlers_);
    }
    for (auto& handler : handlers) {
        if (!handler) continue;
        platform::mainQueue()->async([handler, error] { handler(error); });
    }
}

void GADNativeAd::relayOnMainThread(void (GADNativeAdDelegate::*method)(GADNativeAd&)) {
    auto self = shared_from_this();
    GADRunOnMainThread([self, method] { self->tellDelegate(method); });
}

void GADNativeAd::slotWillPresentScreen(GADSlot&) { relayOnMainThread(&GADNativeAdDelegate::nativeAdWillPresentScreen); }
void GADNativeAd::slotWillDismissScreen(GADSlot&) { relayOnMainThread(&GADNativeAdDelegate::nativeAdWillDismissScreen); }
void GADNativeAd::slotDidDismissScreen(GADSlot&) { relayOnMainThread(&GADNativeAdDelegate::nativeAdDidDismissScreen); }
void GADNativeAd::slotWillLeaveApplication(GADSlot&) {
    relayOnMainThread(&GADNativeAdDelegate::nativeAdWillLeaveApplication);
}

} // namespace ruzave
