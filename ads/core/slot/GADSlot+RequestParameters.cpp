// The slot as a requester of the SDK core: the request-parameter dictionary the core page turns into an
// ad URL, and the page's answers.
#include <cmath>
#include <cstdio>

#include "ads/core/public/GADAdType.h"
#include "ads/core/public/GADBannerView.h"
#include "ads/core/public/GADInterstitial.h"
#include "ads/core/public/GADRequest.h"
#include "ads/core/public/GADRequestError.h"
#include "ads/core/signals/GADApplication.h"
#include "ads/core/signals/GADTokenDispenser.h"
#include "ads/core/slot/GADAd.h"
#include "ads/core/slot/GADSlot.h"
#include "ads/core/slot/GADSlotDelegate.h"
#include "ads/core/telemetry/GADStatisticDictionary.h"
#include "ads/core/util/GADRectConversions.h"
#include "ads/render/GADBannerAdViewDelegate.h"
#include "ads/render/GADOpener.h"
#include "platform/base/URL.h"
#include "platform/foundation/UserDefaults.h"

namespace ruzave {
namespace {

constexpr const char* kUseHTTPSKey = "/ruzave/ads/use_https";
constexpr const char* kContentURLFingerprintKey = "/ruzave/ads/content_url_fingerprint";
constexpr const char* kPrefetchExperimentIDKey = "/ruzave/ads/prefetch_experiment_id";
constexpr const char* kPrefetchEnabledKey = "/ruzave/ads/prefetch_enabled";

bool nonEmpty(const std::optional<platform::Value>& value) {
    return value && (value->is_object() || value->is_array()) && !value->empty();
}

// A size for "%lu": the fraction is dropped; what no unsigned number can stand for reads 0.
unsigned long dimension(float value) {
    if (!std::isfinite(value) || value < 0) return 0;
    return static_cast<unsigned long>(value);
}

// The statistics' counters after a "request_scenario" of the ad-URL answer; nobody is notified.
void applyRequestScenario(const std::string& scenario) {
    auto statistics = GADApplication::sharedInstance()->statistics();
    auto copySequenceNumber = [&] {
        // A counter that does not exist yet counts as 0.
        statistics->setObject(statistics->objectForKey("seq_num").value_or(platform::Value(0)), "losn", false);
    };
    if (scenario == "offline_empty") {
        statistics->incrementNumberForKey("oar", false);
        copySequenceNumber();
    } else if (scenario == "offline_buffer") {
        statistics->incrementNumberForKey("bas_off", false);
        statistics->incrementNumberForKey("oar", false);
        copySequenceNumber();
    } else if (scenario == "online_buffer") {
        statistics->incrementNumberForKey("bas_on", false);
    }
}

} // namespace

std::string GADSlot::multipleAdSizeParameterFromSizes(const platform::Value& sizes) {
    if (!sizes.is_array()) return {};
    std::string text;
    for (const auto& boxed : sizes) {
        // Anything that is not a boxed size unboxes as the invalid size and is skipped with it.
        GADAdSize size = GADAdSizeFromNSValue(boxed);
        if (GADAdSizeEqualToSize(size, kGADAdSizeInvalid)) continue;
        platform::Size cg = CGSizeFromGADAdSize(size);
        char piece[64];
        std::snprintf(piece, sizeof piece, "%lux%lu", dimension(cg.width), dimension(cg.height));
        if (!text.empty()) text += "|";
        text += piece;
    }
    return text;
}

std::optional<platform::Value> GADSlot::requestParameters() {
    // The core controller's queue: only the snapshot taken on the main thread at load is read here.
    const RequestSnapshot snapshot = requestSnapshot();
    const std::optional<std::string> requestID = this->requestID();
    auto defaults = platform::UserDefaults::standard();

    platform::Value p = snapshot.request ? snapshot.request->parameters() : platform::Value::object();
    if (!p.is_object()) p = platform::Value::object();

    // 1.
    if (snapshot.correlationID != 0) p["correlation_id"] = snapshot.correlationID;

    // 2. Quality signals.
    auto application = GADApplication::sharedInstance();
    platform::Value quality = platform::Value::object();
    if (nonEmpty(snapshot.applicationStatistics)) quality["app"] = *snapshot.applicationStatistics;
    if (platform::Value slots = application->slotStatisticsDictionary(); !slots.empty()) quality["slots"] = std::move(slots);
    if (snapshot.request && nonEmpty(snapshot.request->privateMediationExtras()))
        quality["request"] = *snapshot.request->privateMediationExtras();
    {
        // Kept by the slot until the request's outcome says whether they went out.
        GADStatisticDictionarySet pending = application->pendingAdStatistics();
        platform::Value ads = platform::Value::array();
        for (const auto& statistics : pending) ads.push_back(statistics->dictionary());
        setPendingAdStatistics(std::move(pending));
        if (!ads.empty()) quality["ads"] = std::move(ads);
    }
    if (!quality.empty()) p["quality_signals"] = std::move(quality);

    // 3.
    if (!snapshot.adUnitID.empty()) p["slotname"] = snapshot.adUnitID;

    // 4, 5. Format, size and frame.
    const GADAdSize adSize = snapshot.adType ? snapshot.adType->adSize() : kGADAdSizeInvalid;
    if (!snapshot.adType || snapshot.adType->isInterstitial()) {
        p["format"] = "interstitial_mb";
    } else {
        if (GADAdSizeIsFluid(adSize)) {
            p["format"] = "320x50_mb";
            p["fluid"] = "height";
        } else if (snapshot.validAdSizes) {
            std::string sizes = multipleAdSizeParameterFromSizes(*snapshot.validAdSizes);
            if (!sizes.empty()) p["sz"] = sizes;
        }
        p["ad_frame"] = GADDictionaryFromRect(snapshot.ownerFrame.value_or(snapshot.adViewFrame));
        p["ad_bounds"] = GADDictionaryFromRect(snapshot.ownerBounds.value_or(snapshot.adViewBounds));
        if (GADAdSizeIsFullWidth(adSize)) {
            p["smart_w"] = "full";
            if (GADAdSizeIsSmartBanner(adSize)) p["smart_h"] = "auto";
        }
    }

    // 6 to 9.
    if (requestID) p["request_id"] = *requestID;
    if (snapshot.coordinatesOfContentInScreen && !snapshot.coordinatesOfContentInScreen->is_null())
        p["ad_pos"] = *snapshot.coordinatesOfContentInScreen;
    if (snapshot.calledLoadAndDisplayRequest) p["cladr"] = "1";
    if (snapshot.manualImpressionsEnabled) p["d_imp_hdr"] = "1";

    // 10.
    if (snapshot.inAppPurchaseDelegateSet) p["iap_set"] = "1";

    // 11.
    if (!defaults->object(kUseHTTPSKey) || defaults->boolean(kUseHTTPSKey)) p["force_https"] = "1";

    // 12. The best on-screen content's fingerprint, remembered; else the one last remembered.
    if (auto served = GADApplication::sharedInstance()->fingerprintWithServedPenaltyDeduction()) {
        defaults->set(kContentURLFingerprintKey, *served);
    }
    if (auto fingerprint = defaults->string(kContentURLFingerprintKey)) {
        platform::Value info = platform::Value::object();
        info["fingerprint"] = *fingerprint;
        info["v"] = 1;
        p["content_info"] = std::move(info);
    }

    // 13.
    if (auto token = GADTokenDispenser::sharedInstance()->token()) {
        platform::Value pan = platform::Value::object();
        pan["token"] = *token;
        p["pan"] = std::move(pan);
        p["force_https"] = "1";
    }

    // 14 to 16.
    if (snapshot.viewHierarchy && !snapshot.viewHierarchy->is_null()) p["view_hierarchy"] = *snapshot.viewHierarchy;
    if (auto experiment = defaults->string(kPrefetchExperimentIDKey)) p["eid"] = *experiment;
    if (defaults->boolean(kPrefetchEnabledKey)) p["_forcePrefetch"] = "1";
    return p;
}

std::int32_t GADSlot::requestedAdType() {
    auto owner = slotDelegate();
    if (dynamic_cast<GADBannerView*>(owner.get()) != nullptr) return 1;
    if (dynamic_cast<GADInterstitial*>(owner.get()) != nullptr) return 2;
    return 0;
}

void GADSlot::loadAdURLWithParameters(const platform::Value& parameters) {
    // Only the request the slot is waiting for is answered; a cancelled, replaced or ended one is not.
    if (state_ != GADSlotStateRequestingAdURL) return;
    if (const std::string* id = platform::findString(parameters, "request_id"); id != nullptr && *id != requestID())
        return;
    auto self = shared_from_this();
    didReceiveAdURL();
    if (parameters.is_object() && parameters.contains("errors")) {
        didFailToReceiveAdWithError(GADRequestError::errorWithCode(GADRequestErrorInvalidRequest, request_), false);
        return;
    }
    if (const std::string* scenario = platform::findString(parameters, "request_scenario"))
        applyRequestScenario(*scenario);
    if (const std::string* protection = platform::findString(parameters, "enable_auto_click_protection");
        protection != nullptr && *protection == "1" && adViewDelegate_) {
        if (auto opener = adViewDelegate_->opener()) opener->setAutoClickProtected(true);
    }
    auto ad = GADAd::init();
    if (const std::string* url = platform::findString(parameters, "url")) ad->setAdURL(platform::URL::parse(*url));
    loadAd(ad, std::nullopt);
}

bool GADSlot::isWaitingForRequestID(const std::string& requestID) {
    return state_ == GADSlotStateRequestingAdURL && this->requestID() == requestID;
}

void GADSlot::invalidJavaScriptRequest() {
    if (state_ != GADSlotStateRequestingAdURL) return;
    auto self = shared_from_this();
    didFailToReceiveAdWithError(GADRequestError::errorWithCode(GADRequestErrorInvalidRequest, request_), false);
}

void GADSlot::failedJavaScriptFile() {
    if (state_ != GADSlotStateRequestingAdURL) return;
    auto self = shared_from_this();
    didFailToRetrieveSDKCoreWithError(GADRequestError::errorWithCode(GADRequestErrorNetworkError));
}

} // namespace ruzave
