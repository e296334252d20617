#include "ads/core/telemetry/GADCSIVariableTiming.h"

namespace ruzave {

std::shared_ptr<GADCSIVariableTiming> GADCSIVariableTiming::initWithName(const std::string& name, double startTime) {
    std::shared_ptr<GADCSIVariableTiming> v(new GADCSIVariableTiming(name, startTime));
    std::weak_ptr<GADCSIVariableTiming> weak = v;
    v->center_ = platform::NotificationCenter::defaultCenter();
    v->observer_ = v->center_->addObserver(
        platform::kApplicationWillResignActive, nullptr, nullptr, [weak](const platform::Notification&) {
            if (auto variable = weak.lock()) variable->resigningActive();
        });
    return v;
}

GADCSIVariableTiming::~GADCSIVariableTiming() {
    center_->removeObserver(observer_);
}

void GADCSIVariableTiming::resigningActive() {
    if (length() < 0) start_ = -1.0;
}

} // namespace ruzave
