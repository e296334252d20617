#pragma once
// One timed stage: a start and a length, -1 while it runs. A stage still running when the app resigns
// active is spoilt (its start becomes -1) and never becomes valid. Any thread.
#include <atomic>
#include <memory>
#include <string>

#include "platform/foundation/NotificationCenter.h"

namespace ruzave {

class GADCSIVariableTiming : public std::enable_shared_from_this<GADCSIVariableTiming> {
  public:
    // Seconds, for stages the recorder times itself and for script ticks alike.
    static std::shared_ptr<GADCSIVariableTiming> initWithName(const std::string& name, double startTime);
    ~GADCSIVariableTiming();

    const std::string& name() const { return name_; }
    double start() const { return start_.load(); }
    void setStart(double start) { start_ = start; }
    double length() const { return length_.load(); }
    void setLength(double length) { length_ = length; }
    bool isValid() const { return start() > 0 && length() > 0; }
    void resigningActive();

  private:
    explicit GADCSIVariableTiming(std::string name, double start) : name_(std::move(name)), start_(start) {}

    const std::string name_;
    std::atomic<double> start_;
    std::atomic<double> length_{-1.0};
    // Kept so that a variable released on a worker queue late in the process finds its center.
    std::shared_ptr<platform::NotificationCenter> center_;
    platform::NotificationCenter::Token observer_{};
};

} // namespace ruzave
