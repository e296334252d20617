#pragma once
// What a media player plays: an asset, its load status, duration, buffer state and audio mix. The status
// moves from unknown to ready or failed on the main loop after the asset's scripted delay. Main thread.
#include <memory>
#include <optional>

#include "platform/base/Error.h"
#include "platform/services/AudioMix.h"
#include "platform/services/MediaAsset.h"

namespace platform {

class MediaPlayer;

class MediaPlayerItem : public std::enable_shared_from_this<MediaPlayerItem> {
public:
    enum Status { Unknown = 0, ReadyToPlay = 1, Failed = 2 };
    // Posted with the item as object when playback reaches its end.
    static constexpr const char* didPlayToEndTimeNotification = "MediaPlayerItemDidPlayToEndTimeNotification";

    static std::shared_ptr<MediaPlayerItem> playerItemWithURL(const std::string& url);
    static std::shared_ptr<MediaPlayerItem> playerItemWithAsset(const std::shared_ptr<MediaAsset>& asset);

    const std::shared_ptr<MediaAsset>& asset() const { return asset_; }
    Status status() const { return status_; }
    const std::optional<Error>& error() const { return error_; }
    // Invalid until ready.
    MediaTime duration() const;
    // The video's size once ready; zero before or without video.
    Size presentationSize() const;
    bool isPlaybackLikelyToKeepUp() const { return likelyToKeepUp_; }
    bool isPlaybackBufferEmpty() const { return bufferEmpty_; }
    bool isPlaybackBufferFull() const { return bufferFull_; }
    const std::optional<AudioMix>& audioMix() const { return audioMix_; }
    void setAudioMix(std::optional<AudioMix> mix) { audioMix_ = std::move(mix); }
    // The player it is the current item of, if any.
    std::shared_ptr<MediaPlayer> player() const { return player_.lock(); }

    // Tests: the network's buffering, announced to the player's observers.
    void setBufferStateForTesting(bool empty, bool likelyToKeepUp, bool full);

private:
    friend class MediaPlayer;
    explicit MediaPlayerItem(std::shared_ptr<MediaAsset> asset);
    void startLoading();
    void finishLoading();

    std::shared_ptr<MediaAsset> asset_;
    Status status_ = Unknown;
    std::optional<Error> error_;
    bool likelyToKeepUp_ = false;
    bool bufferEmpty_ = true;
    bool bufferFull_ = false;
    std::optional<AudioMix> audioMix_;
    std::weak_ptr<MediaPlayer> player_;
};

} // namespace platform
