#pragma once
// The shared timing reporter: one time recorder per action, wall-clock time stamps by label, the ad
// server's query id of the last response, and the once-per-process draw of whether to report at all.
// When the draw says no, no recorder is handed out and timing costs nothing. Any thread.
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "ads/core/telemetry/GADCSIConfiguration.h"
#include "ads/core/telemetry/GADCSITimeRecorder.h"

namespace platform {
class DispatchQueue;
}

namespace ruzave {

class GADCSI {
  public:
    static constexpr const char* kServiceName = "diri_sdk";
    static constexpr const char* kProbabilityKey = "/ruzave/ads/csi_reporting_probability";
    static constexpr const char* kLoadAdAction = "load_ad_ios";
    static constexpr const char* kMakeWebViewAction = "make_wv";
    // Time stamps of an ad's life: its slot made, its page loaded, its full screen shown.
    static constexpr const char* kViewCreateLabel = "native:view_create";
    static constexpr const char* kViewLoadLabel = "native:view_load";
    static constexpr const char* kViewShowLabel = "native:view_show";

    static std::shared_ptr<GADCSI> sharedInstance();

    std::shared_ptr<GADCSIConfiguration> configuration() const { return configuration_; }
    // nullptr while reporting is off.
    std::shared_ptr<GADCSITimeRecorder> timeRecorderForAction(const std::optional<std::string>& action);

    void recordTimestampForLabel(const std::string& label);
    void setTimestamp(std::int64_t milliseconds, const std::string& label);
    // 0 when none is stored.
    std::int64_t timestampForLabel(const std::string& label) const;

    // The ad-load report's stages, timed by whoever sees them start and end; nothing while reporting is
    // off. The key tells concurrent loads apart (the stage name and the requester's CSI identifier).
    static void startLoadAdStage(const std::string& name, const std::string& key);
    static void endLoadAdStage(const std::string& name, const std::string& key);
    static void cancelLoadAdStage(const std::string& name, const std::string& key);
    static std::string loadAdStageKey(const std::string& name, std::int32_t CSIIdentifier) {
        return name + std::to_string(CSIIdentifier);
    }

    // Reports every recorder (its valid completed variables) and forgets the time stamps.
    void sendReport();

    std::optional<std::string> GWSQueryID() const;
    void setGWSQueryID(const std::optional<std::string>& queryID);

  private:
    GADCSI();

    std::shared_ptr<GADCSIConfiguration> configuration_;
    std::shared_ptr<platform::DispatchQueue> lockQueue_;
    std::map<std::string, std::shared_ptr<GADCSITimeRecorder>> timeRecorders_;  // queue only
    std::map<std::string, std::int64_t> timestamps_;                          // queue only
    mutable std::mutex queryIDMutex_;
    std::optional<std::string> gwsQueryID_;
};

} // namespace ruzave
