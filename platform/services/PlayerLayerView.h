#pragma once
// A view that shows a media player's video, fitted into its bounds by the video gravity. Main thread.
#include <memory>

#include "platform/services/MediaPlayer.h"
#include "platform/ui/View.h"

namespace platform {

class PlayerLayerView : public View {
public:
    enum class VideoGravity { ResizeAspect, ResizeAspectFill, Resize };

    static std::shared_ptr<PlayerLayerView> playerLayerWithPlayer(const std::shared_ptr<MediaPlayer>& player,
                                                                   Rect frame = Rect::zero());

    std::shared_ptr<MediaPlayer> player() const { return player_; }
    void setPlayer(std::shared_ptr<MediaPlayer> player) { player_ = std::move(player); }
    VideoGravity videoGravity() const { return gravity_; }
    void setVideoGravity(VideoGravity gravity) { gravity_ = gravity; }
    // Where the video shows in the bounds; zero while there is no video size.
    Rect videoRect() const;

protected:
    explicit PlayerLayerView(Rect frame) : View(frame) {}

private:
    std::shared_ptr<MediaPlayer> player_;
    VideoGravity gravity_ = VideoGravity::ResizeAspect;
};

} // namespace platform
