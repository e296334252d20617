#include "platform/services/PlayerLayerView.h"

#include <algorithm>

namespace platform {

std::shared_ptr<PlayerLayerView> PlayerLayerView::playerLayerWithPlayer(const std::shared_ptr<MediaPlayer>& player,
                                                                         Rect frame) {
    std::shared_ptr<PlayerLayerView> view(new PlayerLayerView(frame));
    view->player_ = player;
    return view;
}

Rect PlayerLayerView::videoRect() const {
    auto item = player_ ? player_->currentItem() : nullptr;
    Size video = item ? item->presentationSize() : Size::zero();
    Rect b = bounds();
    if (video.width <= 0 || video.height <= 0 || b.size.width <= 0 || b.size.height <= 0) return Rect::zero();
    if (gravity_ == VideoGravity::Resize) return b;
    float sx = b.size.width / video.width, sy = b.size.height / video.height;
    float s = gravity_ == VideoGravity::ResizeAspect ? std::min(sx, sy) : std::max(sx, sy);
    Size fitted{video.width * s, video.height * s};
    return Rect(b.origin.x + (b.size.width - fitted.width) / 2, b.origin.y + (b.size.height - fitted.height) / 2,
                fitted.width, fitted.height);
}

} // namespace platform
