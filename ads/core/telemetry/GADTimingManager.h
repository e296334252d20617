#pragma once
// Timings by category, saved in the user defaults under "ruzave_timing_<identifier>". The set itself
// is used from its owner's thread, one call at a time; saves are written on a serial queue from a
// snapshot. Owner's thread.
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ads/core/telemetry/GADTiming.h"

namespace platform {
class DispatchQueue;
}

namespace ruzave {

class GADTimingManager {
public:
    static std::shared_ptr<GADTimingManager> init();
    ~GADTimingManager();

    const std::string& identifier() const { return identifier_; }
    // Loads the timings saved under the identifier; setting the same identifier again loads nothing,
    // and an empty one keeps the timings in memory only.
    void setIdentifier(const std::string& identifier);
    const std::optional<std::string>& userDefaultsKey() const { return userDefaultsKey_; }

    std::vector<std::shared_ptr<GADTiming>> timings() const;
    std::vector<std::string> categories() const;

    // Saved timings come back idle: clock readings of another process mean nothing here.
    void loadPersistentTimings();
    void savePersistentTimings();
    void addTiming(const std::shared_ptr<GADTiming>& timing);
    std::shared_ptr<GADTiming> addTimingWithCategory(const std::string& category);
    std::shared_ptr<GADTiming> timingForCategory(const std::string& category) const;
    void removeTiming(const std::shared_ptr<GADTiming>& timing);
    void removeTimingForCategory(const std::string& category);
    void removeTimingsForCategories(const std::vector<std::string>& categories);
    void removeAllTimings();
    // Waits for queued saves; starts none.
    void applicationWillTerminate();

private:
    GADTimingManager() = default;

    std::string identifier_;
    std::optional<std::string> userDefaultsKey_;
    std::map<std::string, std::shared_ptr<GADTiming>> timings_;
    std::shared_ptr<platform::DispatchQueue> savingQueue_;
};

} // namespace ruzave
