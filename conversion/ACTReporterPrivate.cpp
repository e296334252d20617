#include "conversion/ACTReporterPrivate.h"

#include "conversion/ACTDevice.h"
#include "conversion/ACTLog.h"
#include "conversion/ACTPinger.h"
#include "conversion/ACTPingerDelegate.h"
#include "conversion/ACTQueryParametersAdditions.h"
#include "conversion/ACTReporter.h"
#include "conversion/ACTReportingInfoDelegate.h"
#include "conversion/ACTTimestampAdditions.h"
#include "platform/net/URLRequest.h"

namespace ruzave {

namespace {
constexpr double kPingTimeoutSeconds = 60.0;
} // namespace

bool ACTReporterPrivate::report() {
    auto info = reportingInfoDelegate();
    if (!info || !info->shouldReport()) return false;
    auto common = commonQueryParameters();
    if (!common) return false;
    auto token = deviceToken(*common);
    if (!token || token->empty()) return false;
    auto url = reportingURLWithQueryParameters(*common);
    if (!url) {
        ACTLog::logPublicMessage("not sending ping. Invalid URL.", className());
        return false;
    }
    ACTLog::logPublicMessage("sending ping: " + url->absoluteString() + ".", className());
    platform::URLRequest request(*url, platform::URLRequest::CachePolicy::ReloadIgnoringLocalCacheData,
                                 kPingTimeoutSeconds);
    auto pinger = ACTPinger::initWithRequest(request);
    pinger->setDelegate(pingerDelegate());
    pinger->setDeduplicationKey(pingDeduplicationKey());
    pinger->ping();
    return true;
}

std::optional<platform::Value> ACTReporterPrivate::commonQueryParameters() const {
    auto device = ACTDevice::currentDevice();
    auto muid = device->deviceID();
    if (!muid) return std::nullopt;
    platform::Value timestamp = act_secondsSince1970();
    if (!timestamp.is_number()) return std::nullopt;
    return platform::Value{
        {"muid", *muid},
        {"timestamp", timestamp},
        {"bundleid", device->bundleID()},
        {"appversion", device->appVersion()},
        {"osversion", device->OSVersion()},
        {"sdkversion", ACTReporter::SDKVersion()},
    };
}

std::optional<std::string> ACTReporterPrivate::deviceToken(const platform::Value& common) const {
    auto it = common.find("muid");
    if (it == common.end() || !it->is_string()) return std::nullopt;
    return it->get<std::string>();
}

std::optional<platform::URL> ACTReporterPrivate::reportingURLWithQueryParameters(const platform::Value& common) const {
    auto info = reportingInfoDelegate();
    if (!info) return std::nullopt;
    platform::Value parameters = common.is_object() ? common : platform::Value::object();
    platform::Value own = info->queryParameters();
    if (own.is_object()) {
        for (auto it = own.begin(); it != own.end(); ++it) parameters[it.key()] = it.value();
    }
    const std::string query = act_queryParametersJoinedByString(parameters, info->queryParameterSeparator());
    return platform::URL::parse(info->reportingURLPrefix() + query);
}

} // namespace ruzave
