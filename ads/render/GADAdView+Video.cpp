#include "ads/render/GADAdView.h"
#include "ads/render/GADVideoPlayer.h"
#include "platform/services/PlayerLayerView.h"

namespace ruzave {
namespace {

// Puts the new player's video under the page's content.
class VideoLayerMaker : public GADVideoPlayerDelegate {
  public:
    explicit VideoLayerMaker(std::function<void(const std::shared_ptr<platform::MediaPlayer>&)> make)
        : make_(std::move(make)) {}
    void playerDidCacheFileAtURL(GADVideoPlayer&, const platform::URL&) override {}
    void playerDidCreateMediaPlayer(GADVideoPlayer&, const std::shared_ptr<platform::MediaPlayer>& media) override {
        make_(media);
    }

  private:
    std::function<void(const std::shared_ptr<platform::MediaPlayer>&)> make_;
};

} // namespace

void GADAdView::setUpVideoPlayerWithURL(const std::optional<platform::URL>& url) {
    if (!videoPlayer_) {
        std::weak_ptr<GADAdView> weak = std::static_pointer_cast<GADAdView>(weak_from_this().lock());
        videoPlayerDelegate_ = std::make_shared<VideoLayerMaker>([weak](const std::shared_ptr<platform::MediaPlayer>& media) {
            auto self = weak.lock();
            if (!self || self->videoPlayerLayer_) return;
            self->videoPlayerLayer_ = platform::PlayerLayerView::playerLayerWithPlayer(media);
            self->videoPlayerLayer_->setVideoGravity(platform::PlayerLayerView::VideoGravity::ResizeAspect);
            self->insertSubview(self->videoPlayerLayer_, 0);
            self->setVideoPlayerFrame(self->cachedVideoPlayerFrame_);
        });
        videoPlayer_ = GADVideoPlayer::initWithAdView(std::static_pointer_cast<GADAdView>(weak_from_this().lock()),
                                                      videoPlayerDelegate_);
    }
    videoPlayer_->setSourceURL(url);
}

void GADAdView::setVideoPlayerFrame(platform::Rect frame) {
    if (!videoPlayerLayer_) return;
    bool zero = frame.origin.x == 0 && frame.origin.y == 0 && frame.size.width == 0 && frame.size.height == 0;
    videoPlayerLayer_->setFrame(zero ? bounds() : frame);
}

void GADAdView::setCachedVideoPlayerFrame(platform::Rect frame) {
    cachedVideoPlayerFrame_ = frame;
    setNeedsLayout();
    setVideoPlayerFrame(frame);
}

void GADAdView::hideVideo() {
    if (videoPlayerLayer_) videoPlayerLayer_->setHidden(true);
}

void GADAdView::showVideo() {
    if (videoPlayerLayer_) videoPlayerLayer_->setHidden(false);
}

} // namespace ruzave
