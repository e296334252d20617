// The application statistics: request, click and sequence counters, the per-ad statistics that go out
// with the next request, and the return from an ad click that left the app.
#include <cmath>

#include "ads/core/signals/GADApplication.h"
#include "ads/core/slot/GADAd.h"
#include "ads/core/slot/GADSlot.h"
#include "ads/core/telemetry/GADAbsoluteTime.h"
#include "ads/core/telemetry/GADStatisticDictionary.h"
#include "platform/runloop/DispatchQueue.h"

namespace ruzave {
namespace {

// A counter or time stamp of the statistics as an integer; nullopt when absent or not a number.
std::optional<long long> integerOf(const std::optional<platform::Value>& v) {
    if (!v || !v->is_number()) return std::nullopt;
    double d = v->get<double>();
    if (!std::isfinite(d)) return std::nullopt;
    return static_cast<long long>(d);
}

} // namespace

platform::Value GADApplication::nextRequestStatisticsDictionaryForSlot(const GADSlot& slot) {
    // Read here, on the slot's own thread: the slot's state is not the statistics queue's to read.
    return nextRequestStatisticsDictionary(slot.isMediating());
}

platform::Value GADApplication::nextRequestStatisticsDictionaryForSlot(const std::shared_ptr<GADSlot>& slot) {
    return nextRequestStatisticsDictionary(slot && slot->isMediating());
}

platform::Value GADApplication::nextRequestStatisticsDictionary(bool slotIsMediating) {
    platform::Value snapshot;
    statisticsSerialQueue_->sync([&] {
        const std::uint64_t now = GADAbsoluteTime::absoluteTimeInMilliseconds();
        statistics_->setObject(platform::Value(now), "currts", false);
        if (!statistics_->objectForKey("basets")) statistics_->setObject(platform::Value(now), "basets", false);
        incrementSequenceNumber();
        if (slotIsMediating) {
            decrementTotalAdRequestCount();
        } else {
            incrementTotalAdRequestCount();
        }
        // The dictionary's queue runs the changes above in order before this read.
        snapshot = statistics_->dictionary();
    });
    return snapshot;
}

std::string GADApplication::nextSequenceNumberAsString() {
    std::string text;
    statisticsSerialQueue_->sync([&] {
        incrementSequenceNumber();
        // The request counter, not "seq_num": that is the number the mediation pings carry.
        text = std::to_string(integerOf(statistics_->objectForKey("preqs")).value_or(0));
    });
    return text;
}

std::string GADApplication::nextUniqueSequenceNumberAsString() {
    std::string text;
    statisticsSerialQueue_->sync([&] {
        incrementSequenceNumber();
        // The dictionary's queue runs the change above before this read.
        text = std::to_string(integerOf(statistics_->objectForKey("seq_num")).value_or(0));
    });
    return text;
}

void GADApplication::incrementTotalAdRequestCount() { statistics_->incrementNumberForKey("preqs", false); }
void GADApplication::decrementTotalAdRequestCount() { statistics_->decrementNumberForKey("preqs", false); }
void GADApplication::incrementTotalAdClickCount() { statistics_->incrementNumberForKey("pclick", false); }
void GADApplication::incrementSequenceNumber() { statistics_->incrementNumberForKey("seq_num", false); }

std::uint64_t GADApplication::timeSinceFirstAdRequestInMilliseconds() const {
    auto base = integerOf(statistics_->objectForKey("basets"));
    if (!base) return 0;
    const std::uint64_t now = GADAbsoluteTime::absoluteTimeInMilliseconds();
    if (*base < 0 || static_cast<std::uint64_t>(*base) > now) return 0;
    return now - static_cast<std::uint64_t>(*base);
}

GADStatisticDictionarySet GADApplication::pendingAdStatistics() {
    GADStatisticDictionarySet taken;
    notificationSerialQueue_->sync([&] { taken.swap(adStatistics_); });
    return taken;
}

void GADApplication::didNotSendAdStatistics(const GADStatisticDictionarySet& statistics) {
    if (statistics.empty()) return;
    notificationSerialQueue_->sync([&] { adStatistics_.insert(statistics.begin(), statistics.end()); });
}

void GADApplication::didUpdateStatisticDictionary(const std::shared_ptr<GADStatisticDictionary>& dictionary) {
    // Delivered on the notification queue, which guards the set.
    if (dictionary) adStatistics_.insert(dictionary);
}

void GADApplication::willLeaveApplicationDueToClickOnAd(const std::shared_ptr<GADAd>& ad) {
    auto self = shared_from_this();
    statisticsSerialQueue_->async([self, ad] { self->backgroundingAd_ = ad; });
}

void GADApplication::didBecomeActive() {
    std::shared_ptr<GADAd> ad;
    statisticsSerialQueue_->sync([&] { ad.swap(backgroundingAd_); });
    if (!ad || !ad->statistics()) return;
    const std::uint64_t now = GADAbsoluteTime::absoluteTimeInMilliseconds();
    auto click = ad->statistics()->objectForKey("tclickcurr");
    if (!click) return;
    ad->statistics()->addObject(platform::Value::array({*click, platform::Value(now)}), "tclick", true);
}

std::shared_ptr<GADStatisticDictionary> GADApplication::slotStatisticsForSlotID(const std::optional<std::string>& slotID) {
    if (!slotID) return nullptr;
    std::shared_ptr<GADStatisticDictionary> found;
    statisticsSerialQueue_->sync([&] {
        for (const auto& [id, stats] : slotStatistics_) {
            if (id == *slotID) found = stats;
        }
        if (!found) {
            found = GADStatisticDictionary::init();
            slotStatistics_.emplace_back(*slotID, found);
        }
    });
    return found;
}

platform::Value GADApplication::slotStatisticsDictionary() {
    platform::Value out = platform::Value::object();
    statisticsSerialQueue_->sync([&] {
        for (const auto& [id, stats] : slotStatistics_) out[id] = stats->dictionary();
    });
    return out;
}

} // namespace ruzave
