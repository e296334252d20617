#pragma once
// The identity of one run of the process: a random 64-bit number in decimal. Any thread.
#include <memory>
#include <string>

namespace ruzave {

class GADSession {
public:
    static std::shared_ptr<GADSession> init();
    const std::string& uniqueID() const { return uniqueID_; }

private:
    GADSession() = default;
    std::string uniqueID_;
};

} // namespace ruzave
