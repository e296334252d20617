#include "ads/core/telemetry/GADCSI.h"

#include "ads/core/public/GADRequest.h"
#include "ads/core/telemetry/GADCSIReporter.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/runloop/Clock.h"
#include "platform/runloop/DispatchQueue.h"

namespace ruzave {

GADCSI::GADCSI() : lockQueue_(platform::DispatchQueue::createSerial("com.ruzave.ads.csi-lock")) {
    float probability = static_cast<float>(GADCSIConfiguration::kDefaultReportingProbability);
    if (auto stored = platform::UserDefaults::standard()->object(kProbabilityKey); stored && !stored->is_null())
        probability = static_cast<float>(platform::doubleValue(*stored));
    configuration_ = GADCSIConfiguration::initWithServiceName(kServiceName);
    configuration_->setReportingProbability(probability);
}

std::shared_ptr<GADCSI> GADCSI::sharedInstance() {
    // Lives for the process, as its sampling draw does.
    static auto* instance = new std::shared_ptr<GADCSI>(new GADCSI());
    return *instance;
}

std::shared_ptr<GADCSITimeRecorder> GADCSI::timeRecorderForAction(const std::optional<std::string>& action) {
    if (!configuration_->reportingEnabled() || !action) return nullptr;
    std::shared_ptr<GADCSITimeRecorder> recorder;
    auto queryID = GWSQueryID();
    lockQueue_->sync([&] {
        auto it = timeRecorders_.find(*action);
        if (it == timeRecorders_.end()) return;
        recorder = it->second;
        if (queryID) recorder->setCustomizedParameterValue(platform::Value(*queryID), "gqi");
    });
    if (recorder) return recorder;
    recorder = GADCSITimeRecorder::initWithAction(*action);
    const std::string& version = GADRequest::sdkVersion();
    recorder->setCustomizedParameterValue(platform::Value(version), "sdkVersion");
    recorder->addExperimentID(version);
    lockQueue_->async([this, recorder, key = *action] { timeRecorders_[key] = recorder; });
    return recorder;
}

void GADCSI::startLoadAdStage(const std::string& name, const std::string& key) {
    if (auto recorder = sharedInstance()->timeRecorderForAction(std::string(kLoadAdAction)))
        recorder->startTimingVariableWithName(name, key);
}

void GADCSI::endLoadAdStage(const std::string& name, const std::string& key) {
    if (auto recorder = sharedInstance()->timeRecorderForAction(std::string(kLoadAdAction)))
        recorder->endTimingVariableWithName(name, key);
}

void GADCSI::cancelLoadAdStage(const std::string& name, const std::string& key) {
    if (auto recorder = sharedInstance()->timeRecorderForAction(std::string(kLoadAdAction)))
        recorder->cancelTimingVariableWithName(name, key);
}

void GADCSI::recordTimestampForLabel(const std::string& label) {
    setTimestamp(static_cast<std::int64_t>(platform::Clock::wallTime() * 1000.0), label);
}

void GADCSI::setTimestamp(std::int64_t milliseconds, const std::string& label) {
    if (label.empty()) return;
    lockQueue_->async([this, milliseconds, label] { timestamps_[label] = milliseconds; });
}

std::int64_t GADCSI::timestampForLabel(const std::string& label) const {
    std::int64_t stamp = 0;
    if (label.empty()) return stamp;
    lockQueue_->sync([&] {
        auto it = timestamps_.find(label);
        if (it != timestamps_.end()) stamp = it->second;
    });
    return stamp;
}

void GADCSI::sendReport() {
    lockQueue_->async([this] {
        for (const auto& [action, recorder] : timeRecorders_) {
            if (auto reporter = GADCSIReporter::initWithConfiguration(configuration_))
                reporter->reportTimeRecorder(recorder, nullptr);
        }
        timestamps_.clear();
    });
}

std::optional<std::string> GADCSI::GWSQueryID() const {
    std::lock_guard lock(queryIDMutex_);
    return gwsQueryID_;
}

void GADCSI::setGWSQueryID(const std::optional<std::string>& queryID) {
    std::lock_guard lock(queryIDMutex_);
    gwsQueryID_ = queryID;
}

} // namespace ruzave
