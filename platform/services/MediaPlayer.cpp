#include "platform/services/MediaPlayer.h"

#include <algorithm>
#include <cmath>

#include "platform/foundation/NotificationCenter.h"
#include "platform/runloop/Clock.h"
#include "platform/runloop/DispatchQueue.h"

namespace platform {
namespace {

// Times handed to observers use nanoseconds.
constexpr std::int32_t reportTimescale = 1000000000;

} // namespace

std::shared_ptr<MediaPlayer> MediaPlayer::playerWithURL(const std::string& url) {
    return playerWithPlayerItem(MediaPlayerItem::playerItemWithURL(url));
}

std::shared_ptr<MediaPlayer> MediaPlayer::playerWithPlayerItem(const std::shared_ptr<MediaPlayerItem>& item) {
    std::shared_ptr<MediaPlayer> player(new MediaPlayer());
    player->anchorClock_ = Clock::now();
    if (item && !player->replaceCurrentItemWithPlayerItem(item)) return nullptr;
    return player;
}

MediaPlayer::~MediaPlayer() { cancelScheduled(); }

MediaPlayer::Status MediaPlayer::status() const {
    if (!item_) return Unknown;
    switch (item_->status()) {
    case MediaPlayerItem::ReadyToPlay: return ReadyToPlay;
    case MediaPlayerItem::Failed: return Failed;
    default: return Unknown;
    }
}

bool MediaPlayer::replaceCurrentItemWithPlayerItem(const std::shared_ptr<MediaPlayerItem>& item) {
    if (item == item_) return true;
    if (item) {
        auto owner = item->player_.lock();
        if (owner && owner.get() != this) return false;
    }
    cancelScheduled();
    if (item_) item_->player_.reset();
    item_ = item;
    if (item_) item_->player_ = weak_from_this();
    anchorSeconds_ = 0;
    anchorClock_ = Clock::now();
    reschedule();
    notify(keyPathCurrentItem);
    notify(keyPathStatus);
    return true;
}

bool MediaPlayer::isRunning() const {
    return rate_ > 0 && item_ && item_->status() == MediaPlayerItem::ReadyToPlay;
}

double MediaPlayer::currentSeconds() const {
    double t = anchorSeconds_;
    if (isRunning()) t += (Clock::now() - anchorClock_) * rate_;
    if (item_) {
        auto d = item_->duration();
        if (d.isNumeric()) t = std::min(t, d.seconds());
    }
    return std::max(t, 0.0);
}

MediaTime MediaPlayer::currentTime() const { return MediaTime::fromSeconds(currentSeconds(), reportTimescale); }

void MediaPlayer::anchor() {
    anchorSeconds_ = currentSeconds();
    anchorClock_ = Clock::now();
}

void MediaPlayer::setRate(float rate) {
    if (!std::isfinite(rate) || rate < 0) rate = 0;
    if (rate == rate_) return;
    bool wasRunning = isRunning();
    anchor();
    rate_ = rate;
    reschedule();
    if (wasRunning != isRunning()) announceTime({});
    notify(keyPathRate);
}

void MediaPlayer::seekToTime(MediaTime time) {
    if (!time.isNumeric()) return;
    double s = std::max(time.seconds(), 0.0);
    if (item_) {
        auto d = item_->duration();
        if (d.isNumeric()) s = std::min(s, d.seconds());
    }
    anchorSeconds_ = s;
    anchorClock_ = Clock::now();
    reschedule();
    if (item_) announceTime({});
}

void MediaPlayer::setVolume(float volume) {
    if (std::isnan(volume)) return;
    volume_ = std::clamp(volume, 0.0f, 1.0f);
}

MediaPlayer::TimeObserverToken MediaPlayer::addPeriodicTimeObserver(MediaTime interval,
                                                                    std::shared_ptr<DispatchQueue> queue,
                                                                    std::function<void(MediaTime)> block) {
    if (!interval.isNumeric() || !(interval.seconds() > 0) || !block) return 0;
    auto token = nextToken_++;
    timeObservers_[token] = TimeObserver{interval.seconds(), std::move(queue), std::move(block), 0, 0};
    scheduleObserver(token, true);
    return token;
}

void MediaPlayer::removeTimeObserver(TimeObserverToken token) {
    auto it = timeObservers_.find(token);
    if (it == timeObservers_.end()) return;
    if (it->second.task) MainLoop::main().cancel(it->second.task);
    timeObservers_.erase(it);
}

void MediaPlayer::addObserver(const std::weak_ptr<MediaPlayerObserver>& observer) {
    if (observer.expired()) return;
    observers_.push_back(observer);
}

void MediaPlayer::removeObserver(const std::shared_ptr<MediaPlayerObserver>& observer) {
    std::erase_if(observers_, [&](const auto& o) {
        auto s = o.lock();
        return !s || s == observer;
    });
}

void MediaPlayer::cancelScheduled() {
    if (endTask_) MainLoop::main().cancel(endTask_);
    endTask_ = 0;
    for (auto& [token, o] : timeObservers_) {
        if (o.task) MainLoop::main().cancel(o.task);
        o.task = 0;
    }
}

void MediaPlayer::reschedule() {
    cancelScheduled();
    if (!isRunning()) return;
    double now = currentSeconds();
    auto d = item_->duration();
    if (d.isNumeric() && d.seconds() > now) {
        std::weak_ptr<MediaPlayer> weak = weak_from_this();
        endTask_ = MainLoop::main().postAfter((d.seconds() - now) / rate_, [weak] {
            if (auto self = weak.lock()) self->reachedEnd();
        });
    }
    for (auto& [token, o] : timeObservers_) scheduleObserver(token, true);
}

void MediaPlayer::scheduleObserver(TimeObserverToken token, bool fromNow) {
    auto it = timeObservers_.find(token);
    if (it == timeObservers_.end() || !isRunning()) return;
    auto& o = it->second;
    double now = currentSeconds();
    if (fromNow) {
        // The next multiple of the interval strictly after now; the small slack absorbs rounding.
        o.target = (std::floor(now / o.interval + 1e-9) + 1) * o.interval;
    } else {
        o.target += o.interval;
    }
    auto d = item_->duration();
    if (d.isNumeric() && o.target > d.seconds() + 1e-9) return; // the end comes first
    std::weak_ptr<MediaPlayer> weak = weak_from_this();
    double delay = std::max(o.target - now, 0.0) / rate_;
    o.task = MainLoop::main().postAfter(delay, [weak, token] {
        if (auto self = weak.lock()) self->fireObserver(token, true);
    });
}

void MediaPlayer::fireObserver(TimeObserverToken token, bool thenReschedule) {
    auto found = timeObservers_.find(token);
    if (found == timeObservers_.end()) return;
    found->second.task = 0;
    auto time = MediaTime::fromSeconds(found->second.target, reportTimescale);
    auto block = found->second.block;
    auto queue = found->second.queue;
    auto self = shared_from_this(); // the block may drop the last other reference
    if (!queue || queue == DispatchQueue::main())
        block(time);
    else
        queue->async([block, time] { block(time); });
    if (thenReschedule) scheduleObserver(token, false);
}

void MediaPlayer::announceTime(const std::vector<TimeObserverToken>& except) {
    auto time = MediaTime::fromSeconds(currentSeconds(), reportTimescale);
    std::weak_ptr<MediaPlayer> weak = weak_from_this();
    for (auto& [token, o] : timeObservers_) {
        if (std::find(except.begin(), except.end(), token) != except.end()) continue;
        if (!o.queue || o.queue == DispatchQueue::main()) {
            // Later on the main loop, and only while the observer is still registered.
            MainLoop::main().post([weak, token = token, time] {
                auto self = weak.lock();
                if (!self) return;
                auto it = self->timeObservers_.find(token);
                if (it == self->timeObservers_.end()) return;
                auto block = it->second.block;
                block(time);
            });
        } else {
            o.queue->async([block = o.block, time] { block(time); });
        }
    }
}

void MediaPlayer::reachedEnd() {
    endTask_ = 0;
    if (!item_) return;
    anchor();
    // A call due exactly at the end still happens, before the end is announced.
    double end = currentSeconds();
    std::vector<TimeObserverToken> due;
    for (auto& [token, o] : timeObservers_)
        if (o.task && o.target <= end + 1e-9) due.push_back(token);
    cancelScheduled();
    for (auto token : due) fireObserver(token, false);
    // Playback stops here: the others hear the end time too, unless their last mark was the end.
    for (auto& [token, o] : timeObservers_)
        if (std::abs(o.target - end) <= 1e-9) due.push_back(token);
    announceTime(due);
    auto item = item_;
    // Keep the item, pause at its end: the platform's default action at the end of an item.
    NotificationCenter::defaultCenter()->post(MediaPlayerItem::didPlayToEndTimeNotification, item.get());
    if (item_ == item && rate_ != 0) {
        anchor();
        rate_ = 0;
        notify(keyPathRate);
    }
}

void MediaPlayer::itemDidLoad(MediaPlayerItem& item) {
    if (item_.get() != &item) return;
    reschedule();
    if (isRunning()) announceTime({});
    notify(keyPathItemStatus);
    notify(keyPathStatus);
    notify(keyPathItemDuration);
    notify(keyPathItemLikelyToKeepUp);
    notify(keyPathItemBufferEmpty);
    notify(keyPathItemBufferFull);
}

void MediaPlayer::notify(const std::string& keyPath) {
    std::vector<std::shared_ptr<MediaPlayerObserver>> live;
    std::erase_if(observers_, [](const auto& o) { return o.expired(); });
    for (auto& o : observers_)
        if (auto s = o.lock()) live.push_back(std::move(s));
    for (auto& o : live) o->playerDidChangeValueForKeyPath(*this, keyPath);
}

} // namespace platform
