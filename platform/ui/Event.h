#pragma once
// A touch event: the touches of one moment with its timestamp (Clock seconds). Main thread.
#include <memory>
#include <vector>

namespace platform {

class Touch;

class Event {
public:
    Event(double timestamp, std::vector<std::shared_ptr<Touch>> touches)
        : timestamp_(timestamp), touches_(std::move(touches)) {}

    double timestamp() const { return timestamp_; }
    const std::vector<std::shared_ptr<Touch>>& allTouches() const { return touches_; }

private:
    double timestamp_;
    std::vector<std::shared_ptr<Touch>> touches_;
};

} // namespace platform
