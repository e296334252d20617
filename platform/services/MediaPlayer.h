#pragma once
// Plays one item at a time. Nothing is decoded: the item's time advances with the Clock (virtual time in
// tests) while the rate is above 0 and the item is ready, up to its duration, where the player posts the
// item's played-to-end notification and pauses. Periodic time observers run on their queue at each
// multiple of their interval of item time reached while playing, and also with the current time when
// playback starts or stops and after a seek. Property changes go to the observers by
// key path. Main thread.
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/runloop/MainLoop.h"
#include "platform/services/MediaPlayerItem.h"
#include "platform/services/MediaPlayerObserver.h"
#include "platform/services/MediaTime.h"

namespace platform {

class DispatchQueue;

class MediaPlayer : public std::enable_shared_from_this<MediaPlayer> {
public:
    enum Status { Unknown = 0, ReadyToPlay = 1, Failed = 2 };
    using TimeObserverToken = std::uint64_t;

    // Key paths announced to observers.
    static constexpr const char* keyPathStatus = "status";
    static constexpr const char* keyPathRate = "rate";
    static constexpr const char* keyPathCurrentItem = "currentItem";
    static constexpr const char* keyPathItemStatus = "currentItem.status";
    static constexpr const char* keyPathItemDuration = "currentItem.duration";
    static constexpr const char* keyPathItemLikelyToKeepUp = "currentItem.playbackLikelyToKeepUp";
    static constexpr const char* keyPathItemBufferEmpty = "currentItem.playbackBufferEmpty";
    static constexpr const char* keyPathItemBufferFull = "currentItem.playbackBufferFull";

    static std::shared_ptr<MediaPlayer> playerWithURL(const std::string& url);
    static std::shared_ptr<MediaPlayer> playerWithPlayerItem(const std::shared_ptr<MediaPlayerItem>& item);
    ~MediaPlayer();

    // Follows the current item: unknown until it is ready, failed when it fails.
    Status status() const;
    std::shared_ptr<MediaPlayerItem> currentItem() const { return item_; }
    // An item already playing in another player is refused (false).
    bool replaceCurrentItemWithPlayerItem(const std::shared_ptr<MediaPlayerItem>& item);

    float rate() const { return rate_; }
    // Negative, NaN and infinite rates read as 0.
    void setRate(float rate);
    void play() { setRate(1.0f); }
    void pause() { setRate(0.0f); }
    MediaTime currentTime() const;
    // Clamped to the item's duration; an invalid time is ignored.
    void seekToTime(MediaTime time);

    // Older platforms have no player volume or muting; tests switch it off to reach the audio-mix road.
    bool hasVolumeControl() const { return hasVolumeControl_; }
    void setHasVolumeControlForTesting(bool has) { hasVolumeControl_ = has; }
    float volume() const { return volume_; }
    // Clamped to 0...1, NaN ignored.
    void setVolume(float volume);
    bool isMuted() const { return muted_; }
    void setMuted(bool muted) { muted_ = muted; }

    // `queue` nullptr: the main queue. The block gets the item time. The token removes it.
    TimeObserverToken addPeriodicTimeObserver(MediaTime interval, std::shared_ptr<DispatchQueue> queue,
                                              std::function<void(MediaTime)> block);
    void removeTimeObserver(TimeObserverToken token);
    void addObserver(const std::weak_ptr<MediaPlayerObserver>& observer);
    void removeObserver(const std::shared_ptr<MediaPlayerObserver>& observer);

private:
    friend class MediaPlayerItem;
    struct TimeObserver {
        double interval = 0;
        std::shared_ptr<DispatchQueue> queue;
        std::function<void(MediaTime)> block;
        MainLoop::TaskId task = 0;
        // Item seconds of the next call.
        double target = 0;
    };

    MediaPlayer() = default;
    bool isRunning() const;
    double currentSeconds() const;
    // Freezes the running time into the anchor before a change.
    void anchor();
    // Re-plans the end of the item and the time observers' next calls.
    void reschedule();
    void scheduleObserver(TimeObserverToken token, bool fromNow);
    void fireObserver(TimeObserverToken token, bool thenReschedule);
    void cancelScheduled();
    // Tells the time observers (but `except`) the current time, on their queues, after this call.
    void announceTime(const std::vector<TimeObserverToken>& except);
    void reachedEnd();
    void itemDidLoad(MediaPlayerItem& item);
    void notify(const std::string& keyPath);

    std::shared_ptr<MediaPlayerItem> item_;
    float rate_ = 0;
    bool hasVolumeControl_ = true;
    float volume_ = 1.0f;
    bool muted_ = false;
    double anchorSeconds_ = 0;
    double anchorClock_ = 0;
    MainLoop::TaskId endTask_ = 0;
    std::map<TimeObserverToken, TimeObserver> timeObservers_;
    TimeObserverToken nextToken_ = 1;
    std::vector<std::weak_ptr<MediaPlayerObserver>> observers_;
};

} // namespace platform
