#pragma once
// The base of the public reporters: wraps one private reporter, which does the work. Reports on the
// caller's thread (normally the main thread at launch).
#include <memory>
#include <string>

namespace ruzave {

class ACTReporterPrivate;

class ACTReporter {
public:
    // Refuses: logs "Instantiate ACTReporter subclasses only." and gives nullptr.
    static std::shared_ptr<ACTReporter> init();
    // "ct-sdk-i-v3.1.1"
    static const std::string& SDKVersion();
    // Switches on automated usage reporting for the reporter's conversion identifier, when it has one,
    // on the main queue.
    static void trackUsageWithReporter(const std::shared_ptr<ACTReporterPrivate>& reporter);

    virtual ~ACTReporter() = default;
    // True when a ping was handed to a pinger.
    bool report();
    const std::shared_ptr<ACTReporterPrivate>& reporter() const { return reporter_; }

protected:
    explicit ACTReporter(std::shared_ptr<ACTReporterPrivate> reporter) : reporter_(std::move(reporter)) {}
    // nullptr for a null private reporter; otherwise tracks usage, then wraps it.
    template <typename Public, typename Private>
    static std::shared_ptr<Public> initWithReporter(std::shared_ptr<Private> reporter) {
        if (!reporter) return nullptr;
        trackUsageWithReporter(reporter);
        return std::shared_ptr<Public>(new Public(std::move(reporter)));
    }

private:
    std::shared_ptr<ACTReporterPrivate> reporter_;
};

} // namespace ruzave
