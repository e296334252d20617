#include "ads/core/telemetry/GADSlotStatistics.h"

#include "ads/core/telemetry/GADTiming.h"
#include "platform/foundation/UserDefaults.h"

namespace ruzave {

std::shared_ptr<GADSlotStatistics> GADSlotStatistics::init() {
    return std::shared_ptr<GADSlotStatistics>(new GADSlotStatistics());
}

void GADSlotStatistics::setIdentifier(const std::string& identifier) {
    std::lock_guard lock(mutex_);
    if (identifier == identifier_ && userDefaultsKey_) return;
    identifier_ = identifier;
    std::optional<std::string> key;
    if (!identifier.empty()) key = "ruzave_stats_" + identifier;
    if (key == userDefaultsKey_) return;
    userDefaultsKey_ = key;
    if (!key) return;
    // Saved lists win over in-memory lists of the same name; the others are kept.
    if (auto saved = platform::UserDefaults::standard()->dictionary(*key)) {
        for (auto it = saved->begin(); it != saved->end(); ++it) {
            if (it.value().is_array()) statistics_[it.key()] = it.value();
        }
    }
}

void GADSlotStatistics::startTimingAdapter() {
    auto timing = GADTiming::initWithCategory(std::string(kAdapterTimingCategory));
    timing->setExplicitEnd(true);
    timing->start();
    std::lock_guard lock(mutex_);
    adapterTiming_ = timing;
}

void GADSlotStatistics::endTimingAdapterWithExitCode(long exitCode) {
    std::shared_ptr<GADTiming> timing;
    {
        std::lock_guard lock(mutex_);
        timing = std::move(adapterTiming_);
    }
    std::lock_guard lock(mutex_);
    if (timing) {
        timing->end();
        append(kAdapterDurationKey, timing->elapsedMillisecondsString());
    }
    append(kAdapterExitKey, std::to_string(exitCode));
    save();
}

void GADSlotStatistics::resetTimingAdapters() {
    std::lock_guard lock(mutex_);
    statistics_.erase(kAdapterExitKey);
    statistics_.erase(kAdapterDurationKey);
    save();
}

std::optional<std::string> GADSlotStatistics::adapterDurationsParameter() const {
    std::lock_guard lock(mutex_);
    return joined(kAdapterDurationKey);
}

std::optional<std::string> GADSlotStatistics::adapterExitCodesParameter() const {
    std::lock_guard lock(mutex_);
    return joined(kAdapterExitKey);
}

std::optional<std::string> GADSlotStatistics::joined(const char* key) const {
    auto it = statistics_.find(key);
    if (it == statistics_.end() || !it->is_array()) return std::nullopt;
    std::string text;
    for (const auto& entry : *it) {
        if (!entry.is_string()) continue;
        if (!text.empty()) text += ",";
        text += entry.get<std::string>();
    }
    return text;
}

void GADSlotStatistics::append(const char* key, const std::string& value) {
    auto& list = statistics_[key];
    if (!list.is_array()) list = platform::Value::array();
    list.push_back(value);
}

void GADSlotStatistics::save() {
    if (!userDefaultsKey_) return;
    platform::UserDefaults::standard()->set(*userDefaultsKey_, statistics_);
}

} // namespace ruzave
