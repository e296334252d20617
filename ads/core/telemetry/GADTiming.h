#pragma once
// One named stopwatch on the millisecond clock, with a little user data. Changes are queued on the
// timing's serial queue and reads wait on it, so a read after a change on one thread sees it.
// Any thread.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/base/Value.h"

namespace platform {
class DispatchQueue;
}

namespace ruzave {

class GADTiming : public std::enable_shared_from_this<GADTiming> {
public:
    // An empty category becomes "GADTiming (<address>)".
    static std::shared_ptr<GADTiming> initWithCategory(const std::optional<std::string>& category);
    static std::shared_ptr<GADTiming> init() { return initWithCategory(std::nullopt); }
    // "category", "start", "end" and optional "userData"; missing or unreadable stamps give 0.
    static std::shared_ptr<GADTiming> initWithDictionaryRepresentation(const platform::Value& dictionary);

    platform::Value dictionaryRepresentation() const;
    // An independent timing with the same representation (and explicitEnd off).
    std::shared_ptr<GADTiming> copy() const;

    void start();
    void end();
    void reset();

    std::uint64_t startTimestamp() const;
    std::uint64_t endTimestamp() const;
    void setStartTimestamp(std::uint64_t stamp);
    void setEndTimestamp(std::uint64_t stamp);
    std::uint32_t elapsedMilliseconds() const;
    std::string elapsedMillisecondsString() const;
    bool isActive() const;

    bool explicitEnd() const;
    void setExplicitEnd(bool value);
    const std::string& category() const { return category_; }

    // User data.
    void setValue(const platform::Value& value, const std::string& key);
    std::optional<platform::Value> valueForKey(const std::string& key) const;
    void removeValueForKey(const std::string& key);

    std::string description() const;

private:
    GADTiming() = default;

    std::string category_;
    std::shared_ptr<platform::DispatchQueue> lockQueue_;
    // Touched only on lockQueue_.
    platform::Value userData_ = platform::Value::object();
    bool explicitEnd_ = false;
    std::uint64_t startTimestamp_ = 0;
    std::uint64_t endTimestamp_ = 0;
};

} // namespace ruzave
