#include "ads/render/GADSendAdReport.h"

#include "ads/core/net/GADURLRequestAdditions.h"
#include "ads/core/sdkcore/GADHosts.h"
#include "platform/base/URL.h"
#include "platform/base/Value.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/net/URLConnection.h"
#include "platform/runloop/OperationQueue.h"

namespace ruzave {

std::optional<std::string> GADAdReportURLString() {
    auto configured = platform::UserDefaults::standard()->string(kGADBadAdReportPathKey);
    if (!configured || configured->empty()) return std::string("https://") + GADHosts::kReportHost + "/s/reportAd";
    return configured;
}

bool GADSendAdReport(const std::optional<std::string>& debugDialog) {
    auto target = GADAdReportURLString();
    auto url = target ? platform::URL::parse(*target) : std::nullopt;
    // Only the web is asked: a report never opens an app or reads a file.
    if (!url || (url->scheme() != "http" && url->scheme() != "https") || url->host().empty()) return false;
    platform::Value body = platform::Value::object();
    body["debugHeader"] = debugDialog ? platform::Value(*debugDialog) : platform::Value(nullptr);
    std::string text;
    try {
        text = body.dump(-1, ' ', false, platform::Value::error_handler_t::replace);
    } catch (const std::exception&) {
        text.clear();
    }
    platform::Bytes bytes(text.begin(), text.end());
    auto request = gad_requestForURL(url, bytes, std::nullopt, std::string("application/json"));
    if (!request) return false;
    request->setCachePolicy(platform::URLRequest::CachePolicy::ReloadIgnoringLocalCacheData);
    platform::URLConnection::sendAsynchronousRequest(*request, platform::TransferOrigin::app(),
                                                     platform::OperationQueue::mainQueue(), [](auto&&...) {});
    return true;
}

} // namespace ruzave
