#include "ads/core/telemetry/GADCacheSet.h"

#include "platform/runloop/DispatchQueue.h"

namespace ruzave {

GADCacheSet::GADCacheSet(std::uint32_t maxCapacity)
    : maxCapacity_(maxCapacity), lockQueue_(platform::DispatchQueue::createSerial("com.ruzave.ads.cache-set")) {}

std::shared_ptr<GADCacheSet> GADCacheSet::initWithMaxCapacity(std::uint32_t maxCapacity) {
    std::shared_ptr<GADCacheSet> pool(new GADCacheSet(maxCapacity));
    pool->observeMemoryWarnings();
    return pool;
}

void GADCacheSet::observeMemoryWarnings() {
    std::weak_ptr<GADCacheSet> weak = weak_from_this();
    center_ = platform::NotificationCenter::defaultCenter();
    observer_ = center_->addObserver(
        platform::kApplicationDidReceiveMemoryWarning, nullptr, platform::DispatchQueue::main(),
        [weak](const platform::Notification&) {
            if (auto pool = weak.lock()) pool->removeAllObjects();
        });
}

GADCacheSet::~GADCacheSet() {
    if (center_) center_->removeObserver(observer_);
}

void GADCacheSet::addObject(const std::shared_ptr<void>& object) {
    if (!object) return;
    auto self = shared_from_this();
    lockQueue_->async([self, object] {
        if (self->set_.size() >= self->maxCapacity_) return;
        self->set_.insert(object);
    });
}

std::shared_ptr<void> GADCacheSet::anyObject() {
    std::shared_ptr<void> object;
    lockQueue_->sync([&] {
        if (set_.empty()) return;
        object = *set_.begin();
        set_.erase(set_.begin());
    });
    return object;
}

void GADCacheSet::removeAllObjects() {
    // Released outside the queue: an object's destructor may use the pool again.
    std::set<std::shared_ptr<void>> dropped;
    lockQueue_->sync([&] { dropped.swap(set_); });
}

std::size_t GADCacheSet::count() const {
    std::size_t n = 0;
    lockQueue_->sync([&] { n = set_.size(); });
    return n;
}

} // namespace ruzave
