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
    // Without a timing the duration is unknown, but a missing entry would pair every later duration
    // with the wrong exit code: "0" keeps the two lists in step.
    statistics_->appendStringToArrayForKey(timing ? timing->elapsedMillisecondsString() : std::string("0"),
                                           kAdapterDurationKey);
    statistics_->appendStringToArrayForKey(std::to_string(exitCode), kAdapterExitKey);
}

void GADSlotStatistics::endAdaptersWithoutTimingWithExitCode(std::size_t count, long exitCode) {
    statistics_->appendStringsToArrayForKey(std::vector<std::string>(count, "0"), kAdapterDurationKey);
    statistics_->appendStringsToArrayForKey(std::vector<std::string>(count, std::to_string(exitCode)),
                                            kAdapterExitKey);
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
