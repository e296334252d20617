#include "platform/testing/Harness.h"

#include <cstdlib>
#include <stdexcept>
#include <vector>

#include "platform/base/Error.h"
#include "platform/base/Log.h"
#include "platform/foundation/Sandbox.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/runloop/Clock.h"
#include "platform/runloop/MainLoop.h"

namespace platform::testing {

namespace {

std::string makeHome() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern =
        std::string((tmp != nullptr && *tmp != '\0') ? tmp : "/tmp") + "/ruzave-test-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    // A test without its own home would share state with others; better to stop at once.
    if (::mkdtemp(buffer.data()) == nullptr) throw std::runtime_error("Harness: cannot make a test home");
    return std::string(buffer.data());
}

} // namespace

Harness::Harness() : home_(makeHome()) {
    ::setenv("RUZAVE_APP_HOME", home_.c_str(), 1);
    UserDefaults::resetStandardForTesting();
    Sandbox::resetForTesting(home_);
    Clock::useVirtualTime();
}

Harness::~Harness() {
    MainLoop::main().runUntilIdle();
    // Drop the defaults first: they may still write into the home being removed.
    UserDefaults::resetStandardForTesting();
    Error error;
    if (!Sandbox::removeItem(home_, &error)) logWarning("Harness: " + error.description);
    Sandbox::resetForTesting("");
    ::unsetenv("RUZAVE_APP_HOME");
    Clock::useRealTime();
}

bool Harness::runUntil(const std::function<bool()>& pred, double realTimeoutSeconds) {
    return MainLoop::main().runUntil(pred, realTimeoutSeconds);
}

void Harness::advance(double seconds) {
    Clock::advance(seconds);
}

std::size_t Harness::runUntilIdle() {
    return MainLoop::main().runUntilIdle();
}

} // namespace platform::testing
