#include "platform/services/MediaPlayerItem.h"

#include "platform/runloop/MainLoop.h"
#include "platform/services/MediaPlayer.h"

namespace platform {

std::shared_ptr<MediaPlayerItem> MediaPlayerItem::playerItemWithURL(const std::string& url) {
    return playerItemWithAsset(MediaAsset::assetWithURL(url));
}

std::shared_ptr<MediaPlayerItem> MediaPlayerItem::playerItemWithAsset(const std::shared_ptr<MediaAsset>& asset) {
    if (!asset) return nullptr;
    std::shared_ptr<MediaPlayerItem> item(new MediaPlayerItem(asset));
    item->startLoading();
    return item;
}

MediaPlayerItem::MediaPlayerItem(std::shared_ptr<MediaAsset> asset) : asset_(std::move(asset)) {}

MediaTime MediaPlayerItem::duration() const {
    return status_ == ReadyToPlay ? asset_->duration() : MediaTime::invalid();
}

Size MediaPlayerItem::presentationSize() const {
    if (status_ != ReadyToPlay) return Size::zero();
    for (const auto& t : asset_->tracksWithMediaType(MediaAssetTrack::mediaTypeVideo)) return t.naturalSize;
    return Size::zero();
}

void MediaPlayerItem::startLoading() {
    std::weak_ptr<MediaPlayerItem> weak = weak_from_this();
    auto done = [weak] {
        if (auto self = weak.lock()) self->finishLoading();
    };
    double delay = asset_->script().loadDelay;
    if (delay > 0)
        MainLoop::main().postAfter(delay, done);
    else
        MainLoop::main().post(done);
}

void MediaPlayerItem::finishLoading() {
    auto player = player_.lock();
    if (player) player->anchor(); // time starts running from here, not from the item's creation
    const auto& script = asset_->script();
    if (script.fails) {
        status_ = Failed;
        error_ = Error("MediaErrorDomain", -11800, "The media could not be loaded.");
    } else {
        status_ = ReadyToPlay;
        likelyToKeepUp_ = script.playbackLikelyToKeepUp;
        bufferFull_ = script.playbackBufferFull;
        bufferEmpty_ = !(likelyToKeepUp_ || bufferFull_);
    }
    if (player) player->itemDidLoad(*this);
}

void MediaPlayerItem::setBufferStateForTesting(bool empty, bool likelyToKeepUp, bool full) {
    bool changedEmpty = empty != bufferEmpty_, changedLikely = likelyToKeepUp != likelyToKeepUp_,
         changedFull = full != bufferFull_;
    bufferEmpty_ = empty;
    likelyToKeepUp_ = likelyToKeepUp;
    bufferFull_ = full;
    auto player = player_.lock();
    if (!player) return;
    if (changedEmpty) player->notify(MediaPlayer::keyPathItemBufferEmpty);
    if (changedLikely) player->notify(MediaPlayer::keyPathItemLikelyToKeepUp);
    if (changedFull) player->notify(MediaPlayer::keyPathItemBufferFull);
}

} // namespace platform
