#include "ads/core/telemetry/GADTimingManager.h"

#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/runloop/DispatchQueue.h"

namespace ruzave {

std::shared_ptr<GADTimingManager> GADTimingManager::init() {
    std::shared_ptr<GADTimingManager> m(new GADTimingManager());
    m->savingQueue_ = platform::DispatchQueue::createSerial("com.ruzave.ads.timing");
    std::weak_ptr<GADTimingManager> weak = m;
    platform::NotificationCenter::defaultCenter()->addObserver(
        platform::kApplicationWillTerminate, nullptr, nullptr,
        [weak](const platform::Notification&) {
            if (auto self = weak.lock()) self->applicationWillTerminate();
        },
        m.get());
    return m;
}

GADTimingManager::~GADTimingManager() {
    platform::NotificationCenter::defaultCenter()->removeObserver(static_cast<const void*>(this));
    savingQueue_->sync([] {});
}

void GADTimingManager::setIdentifier(const std::string& identifier) {
    // Reloading the same key would replace running timings with their idle saved copies.
    if (userDefaultsKey_ && identifier == identifier_) return;
    identifier_ = identifier;
    // Without an identifier the timings stay in memory: a key shared by every unnamed owner would mix
    // their timings.
    if (identifier.empty()) {
        userDefaultsKey_.reset();
        return;
    }
    userDefaultsKey_ = "ruzave_timing_" + identifier;
    loadPersistentTimings();
}

std::vector<std::shared_ptr<GADTiming>> GADTimingManager::timings() const {
    std::vector<std::shared_ptr<GADTiming>> out;
    for (const auto& [category, timing] : timings_) out.push_back(timing);
    return out;
}

std::vector<std::string> GADTimingManager::categories() const {
    std::vector<std::string> out;
    for (const auto& [category, timing] : timings_) out.push_back(category);
    return out;
}

void GADTimingManager::loadPersistentTimings() {
    if (!userDefaultsKey_) return;
    auto saved = platform::UserDefaults::standard()->dictionary(*userDefaultsKey_);
    if (!saved || !saved->is_object()) return;
    for (const auto& [category, representation] : saved->items()) {
        if (!representation.is_object()) continue;
        auto timing = GADTiming::initWithDictionaryRepresentation(representation);
        // A timing still running when it was saved started on the clock of an earlier process, which
        // means nothing now: it comes back idle. Ended timings keep their stamps and so their duration.
        if (timing->isActive()) timing->reset();
        timings_[category] = timing;
    }
}

void GADTimingManager::savePersistentTimings() {
    if (!userDefaultsKey_) return;
    auto snapshot = timings_;
    const std::string key = *userDefaultsKey_;
    savingQueue_->async([snapshot = std::move(snapshot), key] {
        platform::Value saved = platform::Value::object();
        for (const auto& [category, timing] : snapshot) saved[category] = timing->dictionaryRepresentation();
        auto defaults = platform::UserDefaults::standard();
        // Written back with the defaults' next coalesced write, not one file write per change.
        defaults->set(key, saved);
    });
}

void GADTimingManager::addTiming(const std::shared_ptr<GADTiming>& timing) {
    if (timing) timings_[timing->category()] = timing;
    savePersistentTimings();
}

std::shared_ptr<GADTiming> GADTimingManager::addTimingWithCategory(const std::string& category) {
    auto timing = GADTiming::initWithCategory(category);
    addTiming(timing);
    return timing;
}

std::shared_ptr<GADTiming> GADTimingManager::timingForCategory(const std::string& category) const {
    auto it = timings_.find(category);
    return it == timings_.end() ? nullptr : it->second;
}

void GADTimingManager::removeTiming(const std::shared_ptr<GADTiming>& timing) {
    if (timing) timings_.erase(timing->category());
}

void GADTimingManager::removeTimingForCategory(const std::string& category) { timings_.erase(category); }

void GADTimingManager::removeTimingsForCategories(const std::vector<std::string>& categories) {
    for (const auto& c : categories) timings_.erase(c);
}

void GADTimingManager::removeAllTimings() { timings_.clear(); }

void GADTimingManager::applicationWillTerminate() { savingQueue_->sync([] {}); }

} // namespace ruzave
