#pragma once
// A slot's record of the mediation adapters it has tried since its last report: one duration and one
// exit code per adapter, kept in the user defaults under the ad unit so that a report after a restart
// still carries them. The slot's and the mediation manager's thread (main), one call at a time.
#include <cstddef>
#include <memory>
#include <optional>
#include <string>

#include "ads/core/telemetry/GADStatistics.h"

namespace ruzave {

class GADSlotStatistics : public GADStatistics {
  public:
    static constexpr const char* kAdapterTimingCategory = "adapter";
    static constexpr const char* kAdapterDurationKey = "adapter_duration";
    static constexpr const char* kAdapterExitKey = "adapter_exit";

    static std::shared_ptr<GADSlotStatistics> init();

    const std::string& identifier() const { return identifier_; }
    // An equal identifier changes nothing; otherwise the store and the timings follow it ("" keeps them
    // in memory only).
    void setIdentifier(const std::string& identifier);

    void startTimingAdapter();
    // Appends the adapter timing's milliseconds ("0" when no adapter is timed) and the code.
    void endTimingAdapterWithExitCode(long exitCode);
    // Records `count` adapters that ended as soon as they started, with no timing of their own: "0" and
    // the code for each, in two changes however many there are.
    void endAdaptersWithoutTimingWithExitCode(std::size_t count, long exitCode);
    void resetTimingAdapters();
    // The lists joined by ","; nullopt when there is none.
    std::optional<std::string> adapterDurationsParameter() const;
    std::optional<std::string> adapterExitCodesParameter() const;

  private:
    GADSlotStatistics() = default;
    std::optional<std::string> joined(const char* key) const;

    std::string identifier_;
};

} // namespace ruzave
