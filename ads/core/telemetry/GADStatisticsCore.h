#pragma once
// Named lists of strings kept in the user defaults under "ruzave_stats_<identifier>". Changes are
// queued on its serial queue, reads wait on it; a change is saved at once. Any thread.
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
    void removeObjectForKey(const std::string& key);
    // Waits for every queued change and save.
    void applicationWillTerminate();

  private:
    GADStatisticsCore() = default;
    void savePersistentStatistics();

    std::shared_ptr<platform::DispatchQueue> lockQueue_;
    std::shared_ptr<platform::UserDefaults> defaults_;
    // Queue only.
    platform::Value statistics_ = platform::Value::object();
    std::optional<std::string> userDefaultsKey_;
    std::shared_ptr<platform::NotificationCenter> center_;
    platform::NotificationCenter::Token terminateObserver_{};
};

} // namespace ruzave
