#pragma once
// Every unsent conversion ping, kept in the user defaults under "ruzave_ping_descriptor_store" as a
// dictionary from the ping's URL (with its retry marker) to its descriptor, so that it survives a
// relaunch. A new ping is on disk before add returns (the defaults write a new file and rename it, so a
// crash mid-write keeps the old one); retry-count updates are written in the background.
// Any thread (guarded by a mutex).
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/base/Value.h"

namespace ruzave {

class ACTPinger;

inline constexpr const char* kACTPingDescriptorStoreKey = "ruzave_ping_descriptor_store";

class ACTPingerStore {
public:
    static constexpr std::size_t kMaxEntries = 500;
    // Longer stored URLs are dropped when loading: no ping of ours is that long.
    static constexpr std::size_t kMaxRequestStringLength = 16 * 1024;

    // A descriptor dictionary; anything else reads as empty, and only its first 500 entries of a sane
    // length are kept.
    static std::shared_ptr<ACTPingerStore> initWithPingers(const platform::Value& pingers);
    static std::shared_ptr<ACTPingerStore> initFromStorage();
    static std::shared_ptr<ACTPingerStore> init();
    // The stored dictionary (an empty one when missing or of the wrong type).
    static platform::Value persistedPingers();

    std::size_t maxEntries() const { return kMaxEntries; }
    // Sets the pinger's entry while fewer than 500 are stored (an existing entry is not updated at 500).
    void addPinger(const std::shared_ptr<ACTPinger>& pinger);
    void removePinger(const std::shared_ptr<ACTPinger>& pinger);
    // Writes the whole dictionary and synchronises the defaults.
    void persistStore();
    // One pinger per entry whose URL rebuilds; at most 500.
    std::vector<std::shared_ptr<ACTPinger>> allPingers() const;
    // Whether a stored ping carries the once-only flag `key`.
    bool hasPendingPingWithDeduplicationKey(const std::string& key) const;
    std::size_t count() const;
    platform::Value transientStore() const;

    // While one is alive, count updates and removals are written once, when the last ends (a retry
    // batch); a new ping is still written at once.
    class Batch {
    public:
        explicit Batch(std::shared_ptr<ACTPingerStore> store);
        ~Batch();
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;

    private:
        std::shared_ptr<ACTPingerStore> store_;
    };

    explicit ACTPingerStore(platform::Value pingers);

private:
    enum class Write { None, Background, Durable };
    void write(std::unique_lock<std::mutex>& lock, Write how);

    mutable std::mutex mutex_;
    platform::Value transientStore_;
    int batchDepth_ = 0;
    Write pending_ = Write::None;
};

} // namespace ruzave
