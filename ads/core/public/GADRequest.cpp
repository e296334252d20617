#include "ads/core/public/GADRequest.h"

#include <cmath>

#include "ads/core/public/GADExtras.h"
#include "ads/core/signals/GADApplication.h"
#include "ads/core/signals/GADDevice.h"
#include "ads/core/signals/GADGestureModule.h"
#include "ads/core/util/GADLogger.h"
#include "ads/core/util/GADRunOnMainThread.h"
#include "platform/base/Strings.h"
#include "platform/runloop/DispatchQueue.h"
#include "platform/runloop/MainLoop.h"
#include "platform/services/TimeZone.h"

namespace ruzave {

namespace {

// Proleptic Gregorian calendar, independent of the process locale and C library time zone.
long long daysFromCivil(long long y, long long m, long long d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const long long yoe = y - era * 400;
    const long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void civilFromDays(long long z, long long& y, long long& m, long long& d) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const long long doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp + (mp < 10 ? 3 : -9);
    y = yoe + era * 400 + (m <= 2);
}

// The request signal: the gesture-signal module answers on the main thread only.
std::optional<std::pair<std::string, std::string>> requestSignal() {
    std::optional<std::pair<std::string, std::string>> result;
    auto compute = [&result] {
        static bool versionHanded = false;
        if (!versionHanded) {
            GADGestureModuleSetSDKVersion(GADRequest::sdkVersion());
            versionHanded = true;
        }
        std::string text;
        if (GADGestureModuleRequestParameter(text) != 1) return;
        const auto pieces = platform::split(text, "=");
        if (pieces.size() >= 2 && !pieces[0].empty() && !pieces[1].empty()) result = {{pieces[0], pieces[1]}};
    };
    if (platform::MainLoop::isMainThread()) {
        compute();
    } else {
        platform::mainQueue()->sync(compute);
    }
    return result;
}

void startOnce() {
    static const bool started = [] {
        GADRunOnMainThread([] { GADApplication::sharedInstance()->runEarlyActivities(); });
        return true;
    }();
    (void)started;
}

} // namespace

void GADRequest::willCreateRequest() {
    startOnce();
}

std::shared_ptr<GADRequest> GADRequest::request() {
    willCreateRequest();
    return std::shared_ptr<GADRequest>(new GADRequest());
}

void GADRequest::copyInto(GADRequest& target) const {
    target.networkExtrasMap_ = networkExtrasMap_;
    target.additionalParameters_ = additionalParameters_;
    target.setTestDevices(testDevices_);
    target.setFormatParameters(formatParameters_);
    target.setPrivateMediationExtras(privateMediationExtras_);
    target.setGender(gender_);
    target.setBirthday(birthday_);
    target.setLocation(location_);
    target.setKeywords(keywords_);
    target.setChildDirectedTreatment(childDirectedTreatment_);
    target.setContentURL(contentURL_);
    target.setResponseType(responseType_);
    target.setRequestAgent(requestAgent_);
}

std::shared_ptr<GADRequest> GADRequest::copy() const {
    auto c = request();
    copyInto(*c);
    return c;
}

const std::string& GADRequest::sdkVersion() {
    static const std::string version = kSDKVersion;
    return version;
}

std::string GADRequest::sdkVersionIdentifiers() {
    const std::string ids = kSDKVersionIdentifiers;
    return ids.empty() ? std::string() : "-" + ids;
}

std::string GADRequest::sdkVersionMetadata() {
    const std::string meta = kSDKVersionMetadata;
    return meta.empty() ? std::string() : "+" + meta;
}

const std::string& GADRequest::extendedSDKVersionNumber() {
    static const std::string number = sdkVersion() + sdkVersionIdentifiers() + sdkVersionMetadata();
    return number;
}

int GADRequest::requestTypeFromString(const std::optional<std::string>& text) {
    if (!text) return 0;
    if (*text == "dorur") return 2;
    if (*text == "xfp") return 3;
    if (*text == "adsense") return 1;
    return 0;
}

std::string GADRequest::description() const {
    std::string parts;
    if (gender_ == 1) parts += "\ngender:Male";
    if (gender_ == 2) parts += "\ngender:Female";
    if (birthday_) parts += "\nbirthday:" + platform::formatDouble(*birthday_, 'f', 0);
    if (location_) parts += "\nlocation:" + location_->locationDescription();
    if (keywords_) parts += "\nkeywords:" + platform::toJSON(*keywords_);
    if (auto extras = extrasParameters()) parts += "\nadditionalParameters:" + platform::toJSON(*extras);
    return platform::format("<%s %p: %s>", className().c_str(), static_cast<const void*>(this), parts.c_str());
}

void GADRequest::registerAdNetworkExtras(const std::shared_ptr<GADAdNetworkExtras>& extras) {
    if (!extras) {
        GADLogger::sharedInstance()->logPublicMessage("Must specify extras for registerAdNetworkExtras:.");
        return;
    }
    networkExtrasMap_[extras->extrasClassName()] = extras;
}

std::shared_ptr<GADAdNetworkExtras> GADRequest::adNetworkExtrasFor(const std::string& className) const {
    auto it = networkExtrasMap_.find(className);
    return it == networkExtrasMap_.end() ? nullptr : it->second;
}

void GADRequest::removeAdNetworkExtrasFor(const std::string& className) { networkExtrasMap_.erase(className); }

std::optional<platform::Value> GADRequest::extrasParameters() const {
    auto extras = std::dynamic_pointer_cast<GADExtras>(adNetworkExtrasFor(GADExtras::kClassName));
    if (!extras || extras->additionalParameters().is_null()) return std::nullopt;
    return extras->additionalParameters();
}

std::optional<platform::Value> GADRequest::networkExtrasAdditionalParameters() {
    auto params = extrasParameters();
    if (params && params->is_object()) {
        if (const platform::Value* once = platform::find(*params, "_useOnce"); once && platform::boolValue(*once)) {
            removeAdNetworkExtrasFor(GADExtras::kClassName);
        }
    }
    return params;
}

void GADRequest::addAdditionalParametersFromDictionary(const platform::Value& dictionary) {
    if (!dictionary.is_object()) return;
    for (const auto& [key, value] : dictionary.items()) additionalParameters_[key] = value;
}

std::optional<std::string> GADRequest::genderString() const {
    if (gender_ == 1) return "1";
    if (gender_ == 2) return "2";
    return std::nullopt;
}

std::optional<std::string> GADRequest::birthdayString() const {
    if (!birthday_ || !std::isfinite(*birthday_)) return std::nullopt;
    const double local = *birthday_ + static_cast<double>(platform::TimeZone::local().secondsFromGMT());
    // Far outside any calendar a formatter prints: no text rather than an overflow.
    if (std::fabs(local) > 1.0e15) return std::nullopt;
    const auto days = static_cast<long long>(std::floor(local / 86400.0));
    long long y = 0, m = 0, d = 0;
    civilFromDays(days, y, m, d);
    if (y < 0 || y > 9999) return std::nullopt;
    return platform::format("%04lld%02lld%02lld", y, m, d);
}

std::optional<std::string> GADRequest::contentURLString() const {
    if (!contentURL_) return std::nullopt;
    std::string trimmed = platform::trim(*contentURL_);
    if (trimmed.empty()) return std::nullopt;
    return trimmed;
}

void GADRequest::setBirthdayWithMonth(long month, long day, long year) {
    // Years and days no calendar reaches are refused before any sum could overflow.
    if (year > 1000000 || year < -1000000 || month > 12000000 || month < -12000000 || day > 400000000 ||
        day < -400000000)
        return;
    // Out-of-range components roll over as the calendar does (month 13 is January of the next year).
    const long long monthIndex = static_cast<long long>(month) - 1;
    const long long y = static_cast<long long>(year) + (monthIndex >= 0 ? monthIndex / 12 : (monthIndex - 11) / 12);
    const long long m = ((monthIndex % 12) + 12) % 12 + 1;
    if (std::llabs(y) > 1000000) return;
    const long long days = daysFromCivil(y, m, 1) + static_cast<long long>(day) - 1;
    birthday_ = static_cast<double>(days) * 86400.0 - static_cast<double>(platform::TimeZone::local().secondsFromGMT());
}

void GADRequest::setLocationWithLatitude(float latitude, float longitude, float accuracy) {
    location_ = GADLocation::initWithLatitude(latitude, longitude, accuracy);
}

void GADRequest::setLocationWithDescription(const std::string& description) {
    location_ = GADLocation::initWithLocationDescription(description);
}

bool GADRequest::isATestDevice() const {
    if (!testDevices_ || !testDevices_->is_array()) return false;
    auto device = GADDevice::sharedInstance();
    const std::string identifier = device->isSimulator() ? std::string(kGADSimulatorID) : device->deviceIdentifier();
    for (const auto& entry : *testDevices_) {
        if (entry.is_string() && !entry.get_ref<const std::string&>().empty() && entry.get<std::string>() == identifier) {
            return true;
        }
    }
    return false;
}

platform::Value GADRequest::parameters() const {
    platform::Value p = platform::Value::object();
    if (auto adapters = GADApplication::sharedInstance()->availableAdapterNames()) p["adapters"] = *adapters;
    auto device = GADDevice::sharedInstance();
    const platform::Value deviceParameters = device->parameters();
    for (const auto& [key, value] : deviceParameters.items()) p[key] = value;
    p["js"] = sdkVersion();
    if (auto net = device->network()->networkTypeString()) p["net"] = *net;
    if (auto last = device->network()->lastKnownNetworkTypeString()) p["net_last"] = *last;
    if (device->isSimulator()) p["simulator"] = "1";
    if (isATestDevice()) p["adtest"] = "on";
    if (auto extras = extrasParameters()) p["extras"] = *extras;
    if (auto g = genderString()) p["cust_gender"] = *g;
    if (auto b = birthdayString()) p["cust_age"] = *b;
    if (keywords_) p["kw"] = *keywords_;
    if (childDirectedTreatment_) p["tag_for_child_directed_treatment"] = *childDirectedTreatment_ ? "1" : "0";
    if (auto url = contentURLString()) p["url"] = *url;
    if (requestAgent_) p["request_agent"] = *requestAgent_;
    if (location_) {
        if (auto uule = location_->dictionaryRepresentation()) p["uule"] = *uule;
    }
    if (auto signal = requestSignal()) p[signal->first] = signal->second;
    if (formatParameters_ && formatParameters_->is_array()) {
        std::vector<std::string> formats;
        for (const auto& format : *formatParameters_) {
            if (!format.is_object()) continue;
            if (const platform::Value* ids = platform::find(format, "custom_template_ids");
                ids && ids->is_array() && !ids->empty()) {
                std::vector<std::string> texts;
                for (const auto& id : *ids) texts.push_back(platform::stringValue(id));
                p["native_custom_templates"] = platform::join(texts, ",");
            }
            if (const platform::Value* f = platform::find(format, "format"); f && (f->is_number() || f->is_string())) {
                formats.push_back(std::to_string(platform::integerValue(*f)));
            }
        }
        const std::string joined = platform::join(formats, ",");
        if (!joined.empty() && responseType_ != 0) {
            p["native_templates"] = joined;
            p["native_version"] = responseType_;
        }
    }
    for (const auto& [key, value] : additionalParameters_.items()) p[key] = value;
    return p;
}

} // namespace ruzave
