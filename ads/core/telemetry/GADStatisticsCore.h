#pragma once
// Named lists of strings kept in the user defaults under "ruzave_stats_<identifier>". Changes are
// queued on its serial queue, reads wait on it; the changes of a short while are saved together, and
// at once when the identifier changes, the application enters the background (where it may be killed
// without notice) or terminates. Any thread.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/Value.h"
#include "platform/foundation/NotificationCenter.h"

namespace platform {
class DispatchQueue;
class UserDefaults;
}

namespace ruzave {

class GADStatisticsCore : public std::enable_shared_from_this<GADStatisticsCore> {
  public:
    static constexpr const char* kKeyPrefix = "ruzave_stats_";

    static std::shared_ptr<GADStatisticsCore> init();
    ~GADStatisticsCore();

    // Empty stops persistence. Lists saved under the new key are merged in (saved lists win).
    void setIdentifier(const std::string& identifier);
    std::optional<std::string> userDefaultsKey() const;

    std::optional<std::vector<std::string>> arrayForKey(const std::string& key) const;
    void appendStringToArrayForKey(const std::string& value, const std::string& key);
    // Appends the values in order, as one change.
    void appendStringsToArrayForKey(std::vector<std::string> values, const std::string& key);
    void removeObjectForKey(const std::string& key);
    // Wait for every queued change and save what is not saved yet, to disk.
    void applicationDidEnterBackground();
    void applicationWillTerminate();

  private:
    GADStatisticsCore() = default;
    void scheduleSave();
    void savePendingStatistics();
    void savePersistentStatistics();
    void saveNow();

    std::shared_ptr<platform::DispatchQueue> lockQueue_;
    std::shared_ptr<platform::UserDefaults> defaults_;
    // Queue only.
    platform::Value statistics_ = platform::Value::object();
    std::optional<std::string> userDefaultsKey_;
    bool savePending_ = false;
    std::shared_ptr<platform::NotificationCenter> center_;
    platform::NotificationCenter::Token terminateObserver_{};
    platform::NotificationCenter::Token backgroundObserver_{};
};

} // namespace ruzave
