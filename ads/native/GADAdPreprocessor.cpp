#include "ads/native/GADAdPreprocessor.h"

#include "ads/core/public/GADExtras.h"
#include "ads/core/public/GADInternalErrorAdditions.h"
#include "ads/core/public/GADRequest.h"
#include "ads/core/public/GADRequestError.h"
#include "ads/core/slot/GADSlot.h"
#include "ads/core/util/GADJSONAdditions.h"
#include "ads/native/GADNativeAd.h"
#include "ads/render/GADAdView.h"
#include "platform/runloop/DispatchQueue.h"

namespace ruzave {

namespace {

// The text as received, except that U+2028 and U+2029, valid raw in JSON strings but line ends to an
// older script engine, are written as escapes: the value stays the same and the call still parses.
std::string scriptSafe(const std::string& json) {
    std::string out;
    out.reserve(json.size());
    for (std::size_t i = 0; i < json.size(); ++i) {
        if (i + 2 < json.size() && json[i] == '\xE2' && json[i + 1] == '\x80' &&
            (json[i + 2] == '\xA8' || json[i + 2] == '\xA9')) {
            out += json[i + 2] == '\xA8' ? "\\u2028" : "\\u2029";
            i += 2;
            continue;
        }
        out.push_back(json[i]);
    }
    return out;
}

} // namespace

std::shared_ptr<GADAdPreprocessor> GADAdPreprocessor::initWithAdUnitID(const std::string& adUnitID) {
    std::shared_ptr<GADAdPreprocessor> p(new GADAdPreprocessor());
    p->slot_ = GADSlot::init();
    if (!p->slot_) return nullptr;
    p->slot_->setAdLoadDelegate(std::static_pointer_cast<GADSlotAdLoadDelegate>(p));
    p->slot_->setAdUnitID(adUnitID);
    return p;
}

GADAdPreprocessor::~GADAdPreprocessor() {
    if (observer_) platform::NotificationCenter::defaultCenter()->removeObserver(*observer_);
}

std::string GADAdPreprocessor::environmentJSONString() {
    platform::Value environment = {{"sdk_version", GADNativeAd::kSDKVersion}};
    return gad_JSONStringPretty(environment, false).value_or("{}");
}

void GADAdPreprocessor::preprocessNativeAdJSON(const std::string& json, CompletionHandler handler) {
    platform::Error error;
    auto decoded = gad_decodedJSONObjectError(json, &error);
    // The whole text must be one JSON value the writer accepts: it is spliced into script as it stands,
    // so anything else could run as code in the support page.
    if (!decoded || !decoded->is_object() || !gad_isValidJSONObject(*decoded)) {
        if (decoded) error = GADRequestError::errorWithCode(GADRequestErrorInvalidResponse);
        if (handler) platform::mainQueue()->async([handler, error] { handler(std::nullopt, nullptr, error); });
        return;
    }
    nativeAdJSON_ = json;
    // Whichever of answer, failure and time-out comes first wins; later ones are dropped.
    auto ran = std::make_shared<bool>(false);
    completionHandler_ = [handler, ran](const std::optional<platform::Value>& object,
                                        const std::shared_ptr<GADSlot>& slot,
                                        const std::optional<platform::Error>& err) {
        platform::mainQueue()->async([handler, ran, object, slot, err] {
            if (*ran) return;
            *ran = true;
            if (handler) handler(object, slot, err);
        });
    };
    auto request = GADRequest::request();
    auto extras = GADExtras::init();
    extras->setAdditionalParameters({{"_requestUrl", GADNativeAd::supportHTMLURL().absoluteString()}});
    request->registerAdNetworkExtras(extras);
    scheduleTimeout(kOverallTimeoutSeconds);
    slot_->loadRequest(request);
    // A load the slot refuses (inactive app, unsupported system) would never call back.
    if (!slot_->isMakingRequest() && slot_->state() != GADSlotStateValidAd)
        complete(std::nullopt, nullptr, GADRequestError::errorWithCode(GADRequestErrorInternalError,
                                                                     "Native support page request refused."));
}

void GADAdPreprocessor::scheduleTimeout(double seconds) {
    std::weak_ptr<GADAdPreprocessor> weakSelf = weak_from_this();
    platform::mainQueue()->asyncAfter(seconds, [weakSelf] {
        auto self = weakSelf.lock();
        if (!self || !self->completionHandler_) return;
        self->complete(std::nullopt, nullptr, gad_errorWithCode(kTimedOutCode, "Timed out."));
    });
}

void GADAdPreprocessor::complete(const std::optional<platform::Value>& object, const std::shared_ptr<GADSlot>& slot,
                                 const std::optional<platform::Error>& error) {
    // Taken, not kept: the first outcome wins, and a handler that holds this preprocessor lets it go.
    CompletionHandler handler = std::move(completionHandler_);
    completionHandler_ = nullptr;
    if (handler) handler(object, slot, error);
}

void GADAdPreprocessor::slotFinishedLoadingAdContent(GADSlot& slot) {
    auto adView = slot.adView();
    if (!adView) return;
    if (!observer_) {
        std::weak_ptr<GADAdPreprocessor> weakSelf = weak_from_this();
        observer_ = platform::NotificationCenter::defaultCenter()->addObserver(
            kPreProcessMessage, adView.get(), nullptr, [weakSelf](const platform::Notification& note) {
                if (auto self = weakSelf.lock()) self->handlePreprocessorNotification(note);
            });
    }
    adView->stringByEvaluatingJavaScriptFromString("ruzave.zudo.nativeAds.preProcessJsonGmsg(" + scriptSafe(nativeAdJSON_) +
                                                   ", " + environmentJSONString() + ")");
    scheduleTimeout(kAnswerTimeoutSeconds);
}

void GADAdPreprocessor::slotDidFailToLoadAdContentWithError(GADSlot&, const platform::Error& error) {
    complete(std::nullopt, nullptr, error);
}

void GADAdPreprocessor::handlePreprocessorNotification(const platform::Notification& notification) {
    const std::string* success = platform::findString(notification.userInfo, "success");
    auto decoded = success ? gad_decodedJSONObjectError(*success) : std::nullopt;
    if (decoded) {
        complete(decoded, slot_, std::nullopt);
        return;
    }
    complete(std::nullopt, nullptr, GADRequestError::errorWithCode(GADRequestErrorInvalidResponse));
}

} // namespace ruzave
