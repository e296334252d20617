#include "ads/core/telemetry/GADSlotStatistics.h"

namespace ruzave {

std::shared_ptr<GADSlotStatistics> GADSlotStatistics::init() {
    std::shared_ptr<GADSlotStatistics> stats(new GADSlotStatistics());
    stats->statistics_ = GADStatisticsCore::init();
    stats->timingManager_ = GADTimingManager::init();
    return stats;
}

void GADSlotStatistics::setIdentifier(const std::string& identifier) {
    if (identifier == identifier_) return;
    identifier_ = identifier;
    statistics_->setIdentifier(identifier);
    timingManager_->setIdentifier(identifier);
}

void GADSlotStatistics::startTimingAdapter() {
    startTimingNamed(kAdapterTimingCategory, true);
}

void GADSlotStatistics::endTimingAdapterWithExitCode(long exitCode) {
    endTimingNamed(kAdapterTimingCategory);
    auto timing = timingNamed(kAdapterTimingCategory);
    // Without a timing there is no duration to record; the exit code is still kept. The mediation
    // manager starts a timing before every network, so the lists stay in step in practice.
    if (timing) statistics_->appendStringToArrayForKey(timing->elapsedMillisecondsString(), kAdapterDurationKey);
    statistics_->appendStringToArrayForKey(std::to_string(exitCode), kAdapterExitKey);
}

void GADSlotStatistics::resetTimingAdapters() {
    statistics_->removeObjectForKey(kAdapterExitKey);
    statistics_->removeObjectForKey(kAdapterDurationKey);
}

std::optional<std::string> GADSlotStatistics::adapterExitCodesParameter() const {
    return joined(kAdapterExitKey);
}

std::optional<std::string> GADSlotStatistics::adapterDurationsParameter() const {
    return joined(kAdapterDurationKey);
}

std::optional<std::string> GADSlotStatistics::joined(const char* key) const {
    auto list = statistics_->arrayForKey(key);
    if (!list) return std::nullopt;
    std::string text;
    for (std::size_t i = 0; i < list->size(); ++i) {
        if (i) text += ",";
        text += (*list)[i];
    }
    return text;
}

} // namespace ruzave
