#include "conversion/ACTConversionReporterPrivate.h"

#include "conversion/ACTApplication.h"
#include "conversion/ACTDevice.h"
#include "conversion/ACTEndpoints.h"
#include "conversion/ACTLog.h"
#include "conversion/ACTPingerStore.h"
#include "platform/foundation/UserDefaults.h"

namespace ruzave {

namespace {

std::optional<std::string> stringEntry(const platform::Value& v, const char* key) {
    if (!v.is_object()) return std::nullopt;
    auto it = v.find(key);
    if (it == v.end() || !it->is_string()) return std::nullopt;
    return it->get<std::string>();
}

bool nonEmpty(const std::optional<std::string>& s) {
    return s && !s->empty();
}

} // namespace

std::shared_ptr<ACTConversionReporterPrivate> ACTConversionReporterPrivate::initWithValue(
    const std::optional<std::string>& value, const std::string& referrerKeySuffix, bool isRepeatable) {
    auto reporter = std::make_shared<ACTConversionReporterPrivate>();
    if (!reporter->initialise(value, referrerKeySuffix, isRepeatable)) return nullptr;
    return act_selfDelegating(reporter);
}

bool ACTConversionReporterPrivate::initialise(const std::optional<std::string>& value,
                                              const std::string& referrerKeySuffix, bool isRepeatable) {
    if (referrerKeySuffix.empty()) return false;
    isRepeatable_ = isRepeatable;
    value_ = value;
    if (auto referrer = referrerComponentsForReferrerKeyWithSuffix(referrerKeySuffix)) {
        clickID_ = stringEntry(*referrer, "gclid");
        clickString_ = stringEntry(*referrer, "ai");
    }
    return true;
}

std::string ACTConversionReporterPrivate::pingDeduplicationKey() const {
    return isRepeatable_ ? std::string() : deduplicationID();
}

bool ACTConversionReporterPrivate::shouldReport() {
    if (isRepeatable_) return true;
    const std::string key = deduplicationID();
    if (key.empty()) return true;
    if (platform::UserDefaults::standard()->boolean(key)) {
        ACTLog::logPublicMessage("already sent successful ping.", className());
        return false;
    }
    // The stored ping is resent by the retries; a second one would count the conversion twice.
    if (ACTApplication::sharedApplication()->pingerStore()->hasPendingPingWithDeduplicationKey(key)) {
        ACTLog::logPublicMessage("ping already pending.", className());
        return false;
    }
    return true;
}

platform::Value ACTConversionReporterPrivate::queryParameters() {
    platform::Value p = platform::Value::object();
    p["lat"] = ACTDevice::currentDevice()->isAdvertisingTrackingEnabled() ? "0" : "1";
    if (value_) p["value"] = *value_;
    if (nonEmpty(clickID_) && nonEmpty(clickString_)) {
        p["gclid"] = *clickID_;
        p["ai"] = *clickString_;
    }
    return p;
}

std::string ACTConversionReporterPrivate::reportingURLPrefix() {
    return std::string(ACTEndpoints::kConversionBaseURL) + "/?";
}

void ACTConversionReporterPrivate::pingDidSucceed(const std::shared_ptr<ACTPinger>&) {
    const std::string key = deduplicationID();
    if (isRepeatable_ || key.empty()) return;
    auto defaults = platform::UserDefaults::standard();
    defaults->set(key, true);
    defaults->synchronize();
}

void ACTConversionReporterPrivate::ping(const std::shared_ptr<ACTPinger>&, const platform::Error&) {}

std::mutex& ACTConversionReporterPrivate::referrerLock() {
    static std::mutex lock;
    return lock;
}

std::string ACTConversionReporterPrivate::clickReferrerUserDefaultKey(const std::string& conversionID) {
    return std::string(kACTClickReferrerKeyPrefix) + ":" + conversionID;
}

std::optional<platform::Value> ACTConversionReporterPrivate::referrerComponentsForReferrerKeyWithSuffix(
    const std::string& suffix) {
    if (suffix.empty()) return std::nullopt;
    return platform::UserDefaults::standard()->object(clickReferrerUserDefaultKey(suffix));
}

bool ACTConversionReporterPrivate::saveReferrerComponents(const std::optional<platform::Value>& components) {
    if (!components) return false;
    auto conv = stringEntry(*components, "conv");
    auto gclid = stringEntry(*components, "gclid");
    auto ai = stringEntry(*components, "ai");
    if (!nonEmpty(conv) || !nonEmpty(gclid) || !nonEmpty(ai)) return false;
    const std::string key = clickReferrerUserDefaultKey(*conv);
    auto defaults = platform::UserDefaults::standard();
    {
        std::lock_guard<std::mutex> lock(referrerLock());
        if (!defaults->object(key)) {
            const long long count = defaults->integer(kACTClickReferrerCountKey);
            // ">=": a count raised past the limit by hand or by an older build must not reopen the store.
            if (count >= kMaxClickReferrers) return false;
            defaults->set(kACTClickReferrerCountKey, count + 1);
        }
        defaults->set(key, platform::Value{{"gclid", *gclid}, {"ai", *ai}});
    }
    defaults->synchronize();
    ACTLog::logPublicMessage("Registering click referrer for converison ID \"" + *conv + "\" with click ID \"" + *gclid +
                             "\" and click string \"" + *ai + "\".");
    return true;
}

} // namespace ruzave
