#pragma once
// Reports uncaught C++ exceptions that involve the SDK's own code to the ad server, one GET ping each,
// then hands the exception on to whatever terminate handler was installed before. The handler sits in
// front of that one (std::set_terminate); signals are not caught. The report is put in the pinger's
// persistent retry store before it is sent, so one that cannot go out before the process ends goes out
// on a later launch. enableReporting / disableReporting: main thread; the handler: any thread.
#include <atomic>
#include <cstddef>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/URL.h"
#include "platform/base/Value.h"

namespace ruzave {

class GADPinger;

class GADCrashReporter {
public:
    static constexpr const char* kRetryGroupKey = "/ruzave/ads/crash_reporting";
    static constexpr const char* kExperimentIDKey = "/ruzave/ads/prefetch_experiment_id";
    static constexpr const char* kReportPath = "/pagead/gen_204";
    // Characters (not bytes) of the stack text that are sent.
    static constexpr std::size_t kMaximumStackTextLength = 500;

    // What the handler knows of an exception.
    struct Exception {
        std::string name;
        std::optional<std::string> reason;
        std::vector<std::string> callStackSymbols;
    };

    static std::shared_ptr<GADCrashReporter> sharedInstance();

    // Installs the handler in front of the current one, once; does nothing after disableReporting. The
    // fixed report values are read here, so the handler never waits on another thread or queue.
    void enableReporting();
    // Final for the process: puts the previous handler back when ours is still the installed one.
    void disableReporting();
    bool isReportingEnabled() const;

    // The stack text of an exception that involves the SDK: name, sanitised reason (or "filtered"),
    // then each sanitised stack line, joined with "-" and cut to 500 characters. nullopt when neither
    // the reason nor the stack mentions the SDK. An empty process name replaces nothing.
    static std::optional<std::string> stackTextForException(const Exception& exception, const std::string& processName);
    // Every run of white space, "-", "+", "[", "]" and ":" replaced by one "_".
    static std::string sanitize(const std::string& text);
    // The report URL: the fixed values (empty ones left out), the stack text, then "eids" when given.
    static std::optional<platform::URL> reportURL(const platform::Value& fixedParameters, const std::string& stackText,
                                                  const std::optional<std::string>& experimentID);

    // Stores and sends the report of one exception; true when it involved the SDK and a URL was formed.
    // Runs on the caller's thread and takes only the pinger's store lock. Requires enableReporting.
    bool reportException(const Exception& exception);

private:
    GADCrashReporter() = default;
    static void terminateHandler();

    mutable std::mutex mutex_;  // enable / disable against each other; the handler takes no lock
    std::atomic<bool> enabled_{true};
    std::atomic<bool> installed_{false};
    // Read once at enable; read-only after.
    platform::Value fixedParameters_ = platform::Value::object();
    std::string processName_;
    std::shared_ptr<GADPinger> pinger_;
};

} // namespace ruzave
