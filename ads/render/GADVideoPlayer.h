#pragma once
// Wraps the platform media player for an ad's inline video: keeps the source, volume and muting, and
// reports playback to the ad view as "onVideoEvent" ("canplaythrough", "timeupdate", "play", "pause",
// "ended", "error"). Main thread.
#include <functional>
#include <memory>
#include <optional>

#include "platform/base/URL.h"
#include "platform/base/Value.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/services/MediaPlayer.h"

namespace ruzave {

class GADAdView;
class GADVideoPlayer;

class GADVideoPlayerDelegate {
  public:
    virtual ~GADVideoPlayerDelegate() = default;
    virtual void playerDidCacheFileAtURL(GADVideoPlayer& player, const platform::URL& url) = 0;
    virtual void playerDidCreateMediaPlayer(GADVideoPlayer& player, const std::shared_ptr<platform::MediaPlayer>& media) = 0;
};

class GADVideoPlayer : public platform::MediaPlayerObserver, public std::enable_shared_from_this<GADVideoPlayer> {
  public:
    static constexpr double kTimeUpdateInterval = 0.25;

    static std::shared_ptr<GADVideoPlayer> initWithAdView(const std::shared_ptr<GADAdView>& adView,
                                                          const std::shared_ptr<GADVideoPlayerDelegate>& delegate);
    ~GADVideoPlayer() override;

    // nullopt (or a URL that did not parse) gives a player with no item.
    void setSourceURL(const std::optional<platform::URL>& url);
    void load() {}
    void play();
    void pause();
    void setVolume(float volume);
    void setMuted(bool muted);
    // Negative and non-finite times are refused (false).
    bool seekToTime(double seconds);
    void setAudioMixVolume(float volume);

    void observePlayer();
    void stopObservingPlayer();
    void itemDidPlayToEnd();

    void notifyVideoPlayerWithTime(platform::MediaTime time);
    void notifyVideoReadyToPlay();
    void notifyVideoPlayerWithNewStatus(platform::MediaPlayer::Status status);
    void notifyVideoRateChanged();

    void playerDidChangeValueForKeyPath(platform::MediaPlayer& player, const std::string& keyPath) override;

    // Every event also goes to this observer (diagnostics and tests).
    void setEventObserver(std::function<void(const platform::Value&)> observer) { observer_ = std::move(observer); }

    const std::shared_ptr<platform::MediaPlayer>& player() const { return player_; }
    const std::optional<platform::URL>& sourceURL() const { return sourceURL_; }
    float volume() const { return volume_; }
    bool muted() const { return muted_; }
    bool hasPostedCanPlayThrough() const { return hasPostedCanPlayThrough_; }

  private:
    GADVideoPlayer() = default;
    void send(platform::Value event);
    void listenForEnd();
    // Hands the page's volume and mute to a new player or item, which start out loud.
    void applyVolumeAndMute();

    std::weak_ptr<GADAdView> adView_;
    std::weak_ptr<GADVideoPlayerDelegate> delegate_;
    std::shared_ptr<platform::MediaPlayer> player_;
    std::optional<platform::URL> sourceURL_;
    float volume_ = 1.0f;
    bool muted_ = false;
    std::optional<platform::MediaPlayer::TimeObserverToken> timeObserver_;
    bool isObserving_ = false;
    bool hasPostedCanPlayThrough_ = false;
    std::optional<platform::NotificationCenter::Token> endToken_;
    std::function<void(const platform::Value&)> observer_;
};

} // namespace ruzave
