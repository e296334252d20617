#include "ads/render/GADVideoPlayer.h"

#include <cmath>
#include <cstdio>

#include "ads/render/GADAdView.h"
#include "platform/services/MediaAsset.h"
#include "platform/services/MediaPlayerItem.h"

namespace ruzave {
namespace {

std::string secondsText(double seconds) {
    char text[64];
    std::snprintf(text, sizeof text, "%f", seconds);
    return text;
}

} // namespace

std::shared_ptr<GADVideoPlayer> GADVideoPlayer::initWithAdView(const std::shared_ptr<GADAdView>& adView,
                                                               const std::shared_ptr<GADVideoPlayerDelegate>& delegate) {
    std::shared_ptr<GADVideoPlayer> player(new GADVideoPlayer());
    player->adView_ = adView;
    player->delegate_ = delegate;
    return player;
}

GADVideoPlayer::~GADVideoPlayer() {
    stopObservingPlayer();
    if (endToken_) platform::NotificationCenter::defaultCenter()->removeObserver(*endToken_);
}

void GADVideoPlayer::setSourceURL(const std::optional<platform::URL>& url) {
    // A source that did not parse plays nothing rather than a stale or empty URL.
    std::optional<platform::URL> source = url && url->isValid() ? url : std::nullopt;
    sourceURL_ = source;
    auto item = source ? platform::MediaPlayerItem::playerItemWithURL(source->absoluteString()) : nullptr;
    // A new source can be ready to play again, so its page hears "canplaythrough" again.
    hasPostedCanPlayThrough_ = false;
    if (player_) {
        if (endToken_) platform::NotificationCenter::defaultCenter()->removeObserver(*endToken_);
        endToken_.reset();
        player_->replaceCurrentItemWithPlayerItem(item);
    } else {
        player_ = platform::MediaPlayer::playerWithPlayerItem(item);
        if (!player_) return;
        observePlayer();
        if (auto delegate = delegate_.lock()) delegate->playerDidCreateMediaPlayer(*this, player_);
    }
    applyVolumeAndMute();
    listenForEnd();
}

void GADVideoPlayer::applyVolumeAndMute() {
    if (!player_) return;
    if (player_->hasVolumeControl()) {
        player_->setVolume(volume_);
        player_->setMuted(muted_);
    } else {
        // The audio mix belongs to the item, so each new one needs it again.
        setAudioMixVolume(muted_ ? 0.0f : volume_);
    }
}

void GADVideoPlayer::listenForEnd() {
    if (!player_ || !player_->currentItem()) return;
    std::weak_ptr<GADVideoPlayer> weak = weak_from_this();
    endToken_ = platform::NotificationCenter::defaultCenter()->addObserver(
        platform::MediaPlayerItem::didPlayToEndTimeNotification, player_->currentItem().get(), nullptr,
        [weak](const platform::Notification&) {
            if (auto self = weak.lock()) self->itemDidPlayToEnd();
        });
}

void GADVideoPlayer::play() {
    if (player_) player_->play();
}

void GADVideoPlayer::pause() {
    if (player_) player_->pause();
}

void GADVideoPlayer::setVolume(float volume) {
    if (player_ && player_->hasVolumeControl()) {
        player_->setVolume(volume);
    } else if (!muted_) {
        // Without the player's own mute the mix is the mute: while muted the volume waits for the unmute.
        setAudioMixVolume(volume);
    }
    volume_ = volume;
}

void GADVideoPlayer::setMuted(bool muted) {
    if (player_ && player_->hasVolumeControl()) {
        player_->setMuted(muted);
    } else {
        setAudioMixVolume(muted ? 0.0f : volume_);
    }
    muted_ = muted;
}

bool GADVideoPlayer::seekToTime(double seconds) {
    if (!player_ || !std::isfinite(seconds) || seconds < 0) return false;
    player_->seekToTime(platform::MediaTime::fromSeconds(seconds, 1000000000));
    return true;
}

void GADVideoPlayer::setAudioMixVolume(float volume) {
    if (!(volume >= 0.0f && volume <= 1.0f) || !player_) return;
    auto item = player_->currentItem();
    if (!item) return;
    if (volume == 1.0f) {
        item->setAudioMix(std::nullopt);
        return;
    }
    platform::AudioMix mix;
    if (item->asset()) {
        for (const auto& track : item->asset()->tracksWithMediaType(platform::MediaAssetTrack::mediaTypeAudio)) {
            mix.inputParameters.push_back({track.trackID, volume, 0});
        }
    }
    item->setAudioMix(mix);
}

void GADVideoPlayer::observePlayer() {
    if (isObserving_ || !player_) return;
    isObserving_ = true;
    player_->addObserver(std::static_pointer_cast<platform::MediaPlayerObserver>(shared_from_this()));
    std::weak_ptr<GADVideoPlayer> weak = weak_from_this();
    timeObserver_ = player_->addPeriodicTimeObserver(platform::MediaTime::fromSeconds(kTimeUpdateInterval, 600), nullptr,
                                                     [weak](platform::MediaTime time) {
                                                         if (auto self = weak.lock()) self->notifyVideoPlayerWithTime(time);
                                                     });
}

void GADVideoPlayer::stopObservingPlayer() {
    if (!isObserving_ || !player_) return;
    isObserving_ = false;
    // removeObserver takes a shared pointer; during destruction there is none, and the player
    // drops expired observers itself.
    if (auto self = weak_from_this().lock()) player_->removeObserver(self);
    if (timeObserver_) player_->removeTimeObserver(*timeObserver_);
    timeObserver_.reset();
}

void GADVideoPlayer::itemDidPlayToEnd() { send({{"event", "ended"}}); }

void GADVideoPlayer::notifyVideoPlayerWithTime(platform::MediaTime time) {
    double seconds = time.seconds();
    send({{"event", "timeupdate"}, {"time", secondsText(std::isfinite(seconds) ? seconds : 0)}});
}

void GADVideoPlayer::notifyVideoReadyToPlay() {
    auto item = player_ ? player_->currentItem() : nullptr;
    double duration = item ? item->duration().seconds() : 0;
    float width = -1;
    float height = -1;
    if (item && item->asset()) {
        for (const auto& track : item->asset()->tracksWithMediaType(platform::MediaAssetTrack::mediaTypeVideo)) {
            if (track.naturalSize.width != 0 || track.naturalSize.height != 0) {
                width = track.naturalSize.width;
                height = track.naturalSize.height;
            }
        }
    }
    send({{"event", "canplaythrough"},
          {"duration", secondsText(std::isfinite(duration) ? duration : 0)},
          {"videoWidth", width},
          {"videoHeight", height}});
}

void GADVideoPlayer::notifyVideoPlayerWithNewStatus(platform::MediaPlayer::Status status) {
    if (status != platform::MediaPlayer::ReadyToPlay) send({{"event", "error"}});
}

void GADVideoPlayer::notifyVideoRateChanged() {
    if (!player_) return;
    send({{"event", player_->rate() != 0 ? "play" : "pause"}});
}

void GADVideoPlayer::playerDidChangeValueForKeyPath(platform::MediaPlayer& player, const std::string& keyPath) {
    if (&player != player_.get()) return;
    if (keyPath == platform::MediaPlayer::keyPathStatus) {
        notifyVideoPlayerWithNewStatus(player.status());
    } else if (keyPath == platform::MediaPlayer::keyPathRate) {
        notifyVideoRateChanged();
    } else if ((keyPath == platform::MediaPlayer::keyPathItemLikelyToKeepUp ||
                keyPath == platform::MediaPlayer::keyPathItemBufferFull ||
                keyPath == platform::MediaPlayer::keyPathItemDuration) &&
               !hasPostedCanPlayThrough_) {
        auto item = player.currentItem();
        platform::MediaTime duration = item ? item->duration() : platform::MediaTime::make(0, 0);
        bool known = duration.valid && duration.timescale >= 1;
        if (known && item && (item->isPlaybackBufferFull() || item->isPlaybackLikelyToKeepUp())) {
            hasPostedCanPlayThrough_ = true;
            notifyVideoReadyToPlay();
        }
    }
}

void GADVideoPlayer::send(platform::Value event) {
    if (auto view = adView_.lock()) view->postJSNotification("onVideoEvent", event);
    if (observer_) observer_(event);
}

} // namespace ruzave
