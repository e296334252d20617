#include "ads/core/telemetry/GADCSIReporter.h"

#include <cmath>
#include <cstdint>

#include "ads/core/util/GADNSURLUtilities.h"
#include "platform/net/URLConnection.h"
#include "platform/net/URLRequest.h"
#include "platform/runloop/MainLoop.h"

namespace ruzave {
namespace {

// Seconds as whole milliseconds; nullopt when the value cannot be a duration at all.
std::optional<std::uint32_t> milliseconds(double seconds) {
    double ms = std::round(seconds * 1000.0);
    if (!std::isfinite(ms) || ms < 0 || ms > static_cast<double>(UINT32_MAX)) return std::nullopt;
    return static_cast<std::uint32_t>(ms);
}

std::string joined(const std::vector<std::string>& items) {
    std::string text;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i) text += ",";
        text += items[i];
    }
    return text;
}

} // namespace

std::shared_ptr<GADCSIReporter> GADCSIReporter::initWithConfiguration(const std::shared_ptr<GADCSIConfiguration>& c) {
    if (!c) return nullptr;
    std::shared_ptr<GADCSIReporter> r(new GADCSIReporter());
    r->configuration_ = c;
    return r;
}

bool GADCSIReporter::isAcceptableParameterName(const std::string& name) {
    if (name.empty() || name.size() > 64) return false;
    for (unsigned char c : name) {
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '.' ||
                  c == '-';
        if (!ok) return false;
    }
    return true;
}

std::optional<platform::URL> GADCSIReporter::URLForTimeRecorder(const std::shared_ptr<GADCSITimeRecorder>& recorder) {
    if (!recorder) return std::nullopt;
    auto completed = recorder->completedVariables();
    if (completed.empty()) return std::nullopt;

    std::vector<std::string> it, irt;
    const bool reportIRT = recorder->reportIRT();
    const double recorderStart = reportIRT ? recorder->startTime() : 0;
    for (const auto& [key, variable] : completed) {
        // Whatever the outcome, a variable is reported at most once: invalid ones would otherwise sit in
        // the recorder for the life of the process.
        recorder->removeCompletedVariableForKey(key);
        if (!variable->isValid()) continue;
        auto length = milliseconds(variable->length());
        if (!length || *length == 0) continue;
        it.push_back(variable->name() + "." + std::to_string(*length));
        if (reportIRT) {
            if (auto at = milliseconds(variable->start() + variable->length() - recorderStart))
                irt.push_back(variable->name() + "." + std::to_string(*at));
        }
    }
    if (it.empty()) return std::nullopt;

    platform::Value parameters = platform::Value::object();
    parameters["s"] = configuration_->serviceName();
    parameters["v"] = std::to_string(configuration_->version());
    parameters["action"] = recorder->action();
    auto custom = recorder->customizedParameters();
    for (auto entry = custom.begin(); entry != custom.end(); ++entry) parameters[entry.key()] = entry.value();
    if (auto ids = recorder->experimentIDs(); !ids.empty()) parameters["e"] = joined(ids);
    parameters["it"] = joined(it);
    if (!irt.empty()) parameters["irt"] = joined(irt);
    auto server = platform::URL::parse(configuration_->server());
    if (!server) return std::nullopt;
    return gad_appendQueryParameters(*server, parameters);
}

void GADCSIReporter::reportTimeRecorder(const std::shared_ptr<GADCSITimeRecorder>& recorder, Completion completion) {
    if (!configuration_->reportingEnabled()) return;
    auto url = URLForTimeRecorder(recorder);
    if (!url) return;
    platform::URLRequest request(*url);
    request.setValue(configuration_->userAgent(), "User-Agent");
    // Started from the main loop, where its answer arrives too: a report built on a worker queue while
    // the process winds down is then simply never sent.
    platform::MainLoop::main().post([request, completion] {
        platform::URLConnection::sendAsynchronousRequest(
            request, platform::TransferOrigin::app(), nullptr,
            [completion](std::optional<platform::HTTPURLResponse> response, platform::Bytes,
                         std::optional<platform::Error> error) {
                if (completion) completion(response, error);
            });
    });
}

} // namespace ruzave
