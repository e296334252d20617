#include "ads/core/telemetry/GADCSITimeRecorder.h"

#include <algorithm>
#include <cstdint>

#include "platform/base/Crypto.h"
#include "platform/runloop/Clock.h"
#include "platform/runloop/DispatchQueue.h"

namespace ruzave {

GADCSITimeRecorder::GADCSITimeRecorder(std::string action)
    : lockQueue_(platform::DispatchQueue::createSerial("com.ruzave.ads.csi-time-recorder")), action_(std::move(action)) {}

std::shared_ptr<GADCSITimeRecorder> GADCSITimeRecorder::initWithAction(const std::string& action) {
    return std::shared_ptr<GADCSITimeRecorder>(new GADCSITimeRecorder(action));
}

double GADCSITimeRecorder::currentTime() {
    // Full resolution of the monotonic clock, moved one second on so that no reading is 0: a variable
    // started at the clock's origin must still count as started.
    return platform::Clock::now() + 1.0;
}

void GADCSITimeRecorder::startTimeRecorder() {
    double now = currentTime();
    auto self = shared_from_this();
    lockQueue_->async([self, now] { self->startTime_ = now; });
}

double GADCSITimeRecorder::startTime() const {
    double t = 0;
    lockQueue_->sync([&] { t = startTime_; });
    return t;
}

void GADCSITimeRecorder::startTimingVariableWithName(const std::string& name, const std::string& key) {
    if (name.empty() || key.empty()) return;
    auto variable = GADCSIVariableTiming::initWithName(name, currentTime());
    auto self = shared_from_this();
    lockQueue_->async([self, variable, key] { self->ongoingVariables_[key] = variable; });
}

void GADCSITimeRecorder::endTimingVariableWithName(const std::string& name, const std::string& key) {
    if (name.empty() || key.empty()) return;
    // The end is taken when it is reported and settled before the call returns: a queued end would
    // measure the queue's delay, and a resign-active arriving meanwhile would spoil a finished stage.
    const double now = currentTime();
    lockQueue_->sync([&] {
        auto it = ongoingVariables_.find(key);
        if (it == ongoingVariables_.end()) return;
        auto variable = it->second;
        ongoingVariables_.erase(it);
        variable->setLength(now - variable->start());
        std::string completedKey = key;
        while (completedVariables_.count(completedKey)) {
            completedKey = key + std::to_string(static_cast<std::int32_t>(platform::uniformRandom(UINT32_MAX)));
        }
        completedVariables_[completedKey] = variable;
    });
}

void GADCSITimeRecorder::cancelTimingVariableWithName(const std::string&, const std::string& key) {
    if (key.empty()) return;
    auto self = shared_from_this();
    lockQueue_->async([self, key] { self->ongoingVariables_.erase(key); });
}

void GADCSITimeRecorder::addCompletedVariable(const std::shared_ptr<GADCSIVariableTiming>& variable) {
    if (variable) addCompletedVariable(variable, variable->name());
}

void GADCSITimeRecorder::addCompletedVariable(const std::shared_ptr<GADCSIVariableTiming>& variable,
                                              const std::string& key) {
    if (!variable || key.empty()) return;
    auto self = shared_from_this();
    lockQueue_->async([self, variable, key] { self->completedVariables_[key] = variable; });
}

void GADCSITimeRecorder::removeCompletedVariableForKey(const std::string& key) {
    if (key.empty()) return;
    auto self = shared_from_this();
    lockQueue_->async([self, key] { self->completedVariables_.erase(key); });
}

void GADCSITimeRecorder::addExperimentID(const std::string& experimentID) {
    auto self = shared_from_this();
    lockQueue_->async([self, experimentID] { self->experimentIDs_.push_back(experimentID); });
}

void GADCSITimeRecorder::removeExperimentID(const std::string& experimentID) {
    auto self = shared_from_this();
    lockQueue_->async([self, experimentID] {
        auto& ids = self->experimentIDs_;
        ids.erase(std::remove(ids.begin(), ids.end(), experimentID), ids.end());
    });
}

void GADCSITimeRecorder::setCustomizedParameterValue(const platform::Value& value, const std::string& key) {
    if (key.empty() || value.is_null()) return;
    auto self = shared_from_this();
    lockQueue_->async([self, value, key] { self->customizedParameters_[key] = value; });
}

GADCSITimeRecorder::Variables GADCSITimeRecorder::completedVariables() const {
    Variables copy;
    lockQueue_->sync([&] { copy = completedVariables_; });
    return copy;
}

GADCSITimeRecorder::Variables GADCSITimeRecorder::ongoingVariables() const {
    Variables copy;
    lockQueue_->sync([&] { copy = ongoingVariables_; });
    return copy;
}

std::vector<std::string> GADCSITimeRecorder::experimentIDs() const {
    std::vector<std::string> copy;
    lockQueue_->sync([&] { copy = experimentIDs_; });
    return copy;
}

platform::Value GADCSITimeRecorder::customizedParameters() const {
    platform::Value copy;
    lockQueue_->sync([&] { copy = customizedParameters_; });
    return copy;
}

} // namespace ruzave
