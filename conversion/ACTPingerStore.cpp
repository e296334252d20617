#include "conversion/ACTPingerStore.h"

#include "conversion/ACTPinger.h"
#include "platform/foundation/UserDefaults.h"

namespace ruzave {

ACTPingerStore::ACTPingerStore(platform::Value pingers) : transientStore_(platform::Value::object()) {
    if (!pingers.is_object()) return;
    // Only what this store could have written is kept: at most 500 entries of a sane length. A larger
    // or damaged file must not be carried along and rewritten whole on every ping.
    for (auto it = pingers.begin(); it != pingers.end() && transientStore_.size() < kMaxEntries; ++it) {
        if (it.key().size() <= kMaxRequestStringLength) transientStore_[it.key()] = std::move(it.value());
    }
}

std::shared_ptr<ACTPingerStore> ACTPingerStore::initWithPingers(const platform::Value& pingers) {
    return std::make_shared<ACTPingerStore>(pingers);
}

std::shared_ptr<ACTPingerStore> ACTPingerStore::initFromStorage() {
    return initWithPingers(persistedPingers());
}

std::shared_ptr<ACTPingerStore> ACTPingerStore::init() {
    return initWithPingers(platform::Value::object());
}

platform::Value ACTPingerStore::persistedPingers() {
    auto stored = platform::UserDefaults::standard()->dictionary(kACTPingDescriptorStoreKey);
    return stored && stored->is_object() ? *stored : platform::Value::object();
}

void ACTPingerStore::addPinger(const std::shared_ptr<ACTPinger>& pinger) {
    if (!pinger) return;
    auto parameters = pinger->parameters();
    if (!parameters) return;
    const std::string key = pinger->requestString();
    std::unique_lock<std::mutex> lock(mutex_);
    if (transientStore_.size() >= kMaxEntries) return;
    auto it = transientStore_.find(key);
    if (it != transientStore_.end()) {
        if (*it == *parameters) return;
        *it = std::move(*parameters);
        // Only its count changed: the ping itself is already on disk.
        write(lock, Write::Background);
        return;
    }
    transientStore_[key] = std::move(*parameters);
    write(lock, Write::Durable);
}

void ACTPingerStore::removePinger(const std::shared_ptr<ACTPinger>& pinger) {
    if (!pinger) return;
    const std::string key = pinger->requestString();
    std::unique_lock<std::mutex> lock(mutex_);
    if (transientStore_.erase(key) == 0) return;
    // A sent ping resent after a crash is harmless; a lost one is not. So this write may lag.
    write(lock, Write::Background);
}

void ACTPingerStore::persistStore() {
    std::unique_lock<std::mutex> lock(mutex_);
    write(lock, Write::Durable);
}

void ACTPingerStore::write(std::unique_lock<std::mutex>& lock, Write how) {
    // A batch holds back count updates only: a new ping, reported on any thread meanwhile, is on disk
    // before its report returns. That write takes the batch's changes so far along.
    if (batchDepth_ > 0 && how != Write::Durable) {
        pending_ = std::max(pending_, how);
        return;
    }
    pending_ = Write::None;
    auto defaults = platform::UserDefaults::standard();
    defaults->set(kACTPingDescriptorStoreKey, transientStore_);
    lock.unlock();
    // The defaults write their whole file to a new file and rename it: a kill mid-write keeps the old.
    if (how == Write::Durable) defaults->synchronize();
    lock.lock();
}

std::vector<std::shared_ptr<ACTPinger>> ACTPingerStore::allPingers() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::shared_ptr<ACTPinger>> out;
    for (auto it = transientStore_.begin(); it != transientStore_.end(); ++it) {
        auto pinger = ACTPinger::pingerWithRequestString(it.key(), it.value());
        if (pinger) out.push_back(std::move(pinger));
    }
    return out;
}

bool ACTPingerStore::hasPendingPingWithDeduplicationKey(const std::string& key) const {
    if (key.empty()) return false;
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& descriptor : transientStore_) {
        if (!descriptor.is_object()) continue;
        auto flag = descriptor.find(kACTPingDeduplicationKey);
        if (flag != descriptor.end() && flag->is_string() && flag->get_ref<const std::string&>() == key) return true;
    }
    return false;
}

std::size_t ACTPingerStore::count() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return transientStore_.size();
}

platform::Value ACTPingerStore::transientStore() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return transientStore_;
}

ACTPingerStore::Batch::Batch(std::shared_ptr<ACTPingerStore> store) : store_(std::move(store)) {
    std::lock_guard<std::mutex> lock(store_->mutex_);
    ++store_->batchDepth_;
}

ACTPingerStore::Batch::~Batch() {
    std::unique_lock<std::mutex> lock(store_->mutex_);
    if (--store_->batchDepth_ > 0) return;
    const Write how = store_->pending_;
    store_->pending_ = Write::None;
    if (how != Write::None) store_->write(lock, how);
}

} // namespace ruzave
