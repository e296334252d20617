#pragma once
// Where and as whom timing reports go, and whether this process reports at all. Set up once by the
// shared reporter, then read from its queue. Any thread (the fields are written before sharing).
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace ruzave {

class GADCSIConfiguration {
  public:
    static constexpr double kDefaultReportingProbability = 0.05;

    static std::shared_ptr<GADCSIConfiguration> initWithServiceName(const std::string& serviceName);

    // One draw in 1000: reporting is on when it falls below p x 1000. p is clamped to [0, 1]; NaN means
    // the default.
    void setReportingProbability(float probability);
    // The draw, for tests: on when `draw` (0..999) is below the probability's share.
    void setReportingProbability(float probability, std::uint32_t draw);
    bool reportingEnabled() const { return reportingEnabled_.load(); }
    void setReportingEnabled(bool enabled) { reportingEnabled_ = enabled; }

    const std::string& server() const { return server_; }
    void setServer(const std::string& server) { server_ = server; }
    const std::string& serviceName() const { return serviceName_; }
    std::int32_t version() const { return version_; }
    void setVersion(std::int32_t version) { version_ = version; }

    // "Simulator", or the machine name with "/" before its first digit and "." for ",": "iPhone/5.2".
    static std::string deviceVersionString();
    // "RuzaveCsi/1.0 (<device>; U; CPU <system> <version>; <locale>) <bundle name>/<bundle version>", built once.
    std::string userAgent();

  private:
    GADCSIConfiguration() = default;

    std::mutex userAgentMutex_;
    std::string cachedUserAgentString_;
    std::atomic<bool> reportingEnabled_{true};
    std::string server_;
    std::string serviceName_;
    std::int32_t version_ = 3;
};

} // namespace ruzave
