#pragma once
// A slot's record of the mediation adapters it has tried since its last report: one duration and one
// exit code per adapter, kept in the user defaults under the ad unit so that a report after a restart
// still carries them. Any thread (calls are serialised by its own lock).
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/base/Value.h"

namespace ruzave {

class GADTiming;

class GADSlotStatistics {
  public:
    static constexpr const char* kAdapterTimingCategory = "adapter";
    static constexpr const char* kAdapterDurationKey = "adapter_duration";
    static constexpr const char* kAdapterExitKey = "adapter_exit";

    static std::shared_ptr<GADSlotStatistics> init();

    const std::string& identifier() const { return identifier_; }
    // Persistence follows the identifier: lists saved under it are merged in; "" keeps them in memory.
    void setIdentifier(const std::string& identifier);

    void startTimingAdapter();
    // Ends the running adapter timing (if any) and appends its milliseconds and the code.
    void endTimingAdapterWithExitCode(long exitCode);
    void resetTimingAdapters();
    // The lists joined by ","; nullopt when there is none.
    std::optional<std::string> adapterDurationsParameter() const;
    std::optional<std::string> adapterExitCodesParameter() const;

  private:
    GADSlotStatistics() = default;
    std::optional<std::string> joined(const char* key) const;
    void append(const char* key, const std::string& value);
    void save();

    mutable std::mutex mutex_;
    std::string identifier_;
    std::optional<std::string> userDefaultsKey_;
    platform::Value statistics_ = platform::Value::object();
    std::shared_ptr<GADTiming> adapterTiming_;
};

} // namespace ruzave
