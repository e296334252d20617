#include "ads/core/telemetry/GADStatisticsCore.h"

#include "platform/base/Strings.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/runloop/DispatchQueue.h"

namespace ruzave {
namespace {

// Changes within this time are saved together: a save copies every list, so saving after each change of
// a long burst (a waterfall of thousands of networks) would cost the square of its length.
constexpr double kSaveDelay = 0.2;

// A stored list as strings: numbers keep their text, anything else is dropped. nullopt when it is no list.
std::optional<platform::Value> stringList(const platform::Value& value) {
    if (!value.is_array()) return std::nullopt;
    platform::Value list = platform::Value::array();
    for (const auto& entry : value) {
        if (entry.is_string()) {
            list.push_back(entry);
        } else if (entry.is_number_integer() || entry.is_number_unsigned()) {
            list.push_back(entry.dump());
        }
    }
    return list;
}

} // namespace

std::shared_ptr<GADStatisticsCore> GADStatisticsCore::init() {
    std::shared_ptr<GADStatisticsCore> core(new GADStatisticsCore());
    core->lockQueue_ = platform::DispatchQueue::createSerial("com.ruzave.ads.statistics");
    // Held, not looked up from the queue: a queued change may still run while the process winds down.
    core->defaults_ = platform::UserDefaults::standard();
    std::weak_ptr<GADStatisticsCore> weak = core;
    core->center_ = platform::NotificationCenter::defaultCenter();
    core->terminateObserver_ = core->center_->addObserver(
        platform::kApplicationWillTerminate, nullptr, nullptr, [weak](const platform::Notification&) {
            if (auto c = weak.lock()) c->applicationWillTerminate();
        });
    core->backgroundObserver_ = core->center_->addObserver(
        platform::kApplicationDidEnterBackground, nullptr, nullptr, [weak](const platform::Notification&) {
            if (auto c = weak.lock()) c->applicationDidEnterBackground();
        });
    return core;
}

GADStatisticsCore::~GADStatisticsCore() {
    center_->removeObserver(terminateObserver_);
    center_->removeObserver(backgroundObserver_);
}

void GADStatisticsCore::setIdentifier(const std::string& identifier) {
    std::optional<std::string> key;
    if (!identifier.empty()) key = kKeyPrefix + identifier;
    auto self = shared_from_this();
    lockQueue_->async([self, key] {
        if (key == self->userDefaultsKey_) return;
        // Changes made under the old key are saved there.
        self->savePendingStatistics();
        self->userDefaultsKey_ = key;
        if (!key) return;
        auto saved = self->defaults_->dictionary(*key);
        if (!saved || !saved->is_object()) return;
        for (auto it = saved->begin(); it != saved->end(); ++it) {
            if (auto list = stringList(it.value())) self->statistics_[it.key()] = *list;
        }
    });
}

std::optional<std::string> GADStatisticsCore::userDefaultsKey() const {
    std::optional<std::string> key;
    lockQueue_->sync([&] { key = userDefaultsKey_; });
    return key;
}

std::optional<std::vector<std::string>> GADStatisticsCore::arrayForKey(const std::string& key) const {
    std::optional<std::vector<std::string>> result;
    lockQueue_->sync([&] {
        auto it = statistics_.find(key);
        if (it == statistics_.end() || !it->is_array()) return;
        result.emplace();
        for (const auto& entry : *it) {
            if (entry.is_string()) result->push_back(entry.get<std::string>());
        }
    });
    return result;
}

void GADStatisticsCore::appendStringToArrayForKey(const std::string& value, const std::string& key) {
    appendStringsToArrayForKey({value}, key);
}

void GADStatisticsCore::appendStringsToArrayForKey(std::vector<std::string> values, const std::string& key) {
    if (values.empty()) return;
    auto self = shared_from_this();
    lockQueue_->async([self, values = std::move(values), key] {
        auto& list = self->statistics_[key];
        if (!list.is_array()) list = platform::Value::array();
        for (const auto& value : values) list.push_back(value);
        self->scheduleSave();
    });
}

void GADStatisticsCore::removeObjectForKey(const std::string& key) {
    auto self = shared_from_this();
    lockQueue_->async([self, key] {
        self->statistics_.erase(key);
        self->scheduleSave();
    });
}

void GADStatisticsCore::scheduleSave() {
    if (savePending_) return;
    savePending_ = true;
    // Holds the store until the save has run, so that its last changes are not lost with it.
    auto self = shared_from_this();
    lockQueue_->asyncAfter(kSaveDelay, [self] { self->savePendingStatistics(); });
}

void GADStatisticsCore::savePendingStatistics() {
    if (!savePending_) return;
    savePending_ = false;
    savePersistentStatistics();
}

void GADStatisticsCore::savePersistentStatistics() {
    if (!userDefaultsKey_) return;
    // The defaults write themselves back shortly after, once for a burst of changes: a file write for
    // every counted event would stall whoever waits on this queue.
    defaults_->set(*userDefaultsKey_, statistics_);
}

void GADStatisticsCore::applicationDidEnterBackground() {
    saveNow();
}

void GADStatisticsCore::applicationWillTerminate() {
    saveNow();
}

void GADStatisticsCore::saveNow() {
    auto self = shared_from_this();
    lockQueue_->sync([self] { self->savePendingStatistics(); });
    // A backgrounded app may be killed before the defaults' own write-back comes.
    defaults_->synchronize();
}

} // namespace ruzave
