#pragma once
// The timed stages of one action: running and completed variables, experiment ids and extra
// parameters, all kept on the recorder's own serial queue. Any thread.
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ads/core/telemetry/GADCSIVariableTiming.h"
#include "platform/base/Value.h"

namespace platform {
class DispatchQueue;
}

namespace ruzave {

class GADCSITimeRecorder : public std::enable_shared_from_this<GADCSITimeRecorder> {
  public:
    using Variables = std::map<std::string, std::shared_ptr<GADCSIVariableTiming>>;

    static std::shared_ptr<GADCSITimeRecorder> initWithAction(const std::string& action);

    // Seconds on the monotonic clock.
    static double currentTime();
    void startTimeRecorder();

    void startTimingVariableWithName(const std::string& name, const std::string& key);
    // Reads the clock at the call and completes the variable before returning.
    void endTimingVariableWithName(const std::string& name, const std::string& key);
    void cancelTimingVariableWithName(const std::string& name, const std::string& key);
    void startTimingVariableWithName(const std::string& name) { startTimingVariableWithName(name, name); }
    void endTimingVariableWithName(const std::string& name) { endTimingVariableWithName(name, name); }
    void cancelTimingVariableWithName(const std::string& name) { cancelTimingVariableWithName(name, name); }

    void addCompletedVariable(const std::shared_ptr<GADCSIVariableTiming>& variable);
    void addCompletedVariable(const std::shared_ptr<GADCSIVariableTiming>& variable, const std::string& key);
    void removeCompletedVariableForKey(const std::string& key);

    void addExperimentID(const std::string& experimentID);
    void removeExperimentID(const std::string& experimentID);
    void setCustomizedParameterValue(const platform::Value& value, const std::string& key);

    // Copies, read on the queue.
    Variables completedVariables() const;
    Variables ongoingVariables() const;
    std::vector<std::string> experimentIDs() const;
    platform::Value customizedParameters() const;

    const std::string& action() const { return action_; }
    double startTime() const;
    bool reportIRT() const { return reportIRT_; }
    void setReportIRT(bool report) { reportIRT_ = report; }

  private:
    explicit GADCSITimeRecorder(std::string action);

    Variables completedVariables_;  // queue only
    Variables ongoingVariables_;    // queue only
    std::vector<std::string> experimentIDs_;  // queue only
    platform::Value customizedParameters_ = platform::Value::object();  // queue only
    std::shared_ptr<platform::DispatchQueue> lockQueue_;
    bool reportIRT_ = false;
    const std::string action_;
    double startTime_ = 0;  // queue only
};

} // namespace ruzave
