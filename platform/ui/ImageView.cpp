#include "platform/ui/ImageView.h"

#include <algorithm>

#include "platform/ui/Image.h"
#include "platform/ui/RenderContext.h"

namespace platform {

ImageView::ImageView(Rect frame) : View(frame) { setUserInteractionEnabled(false); }

std::shared_ptr<ImageView> ImageView::create(Rect frame) { return std::shared_ptr<ImageView>(new ImageView(frame)); }

std::shared_ptr<ImageView> ImageView::createWithImage(std::shared_ptr<Image> image) {
    Size s = image ? image->size() : Size{};
    auto view = create(Rect(0, 0, s.width, s.height));
    view->setImage(std::move(image));
    return view;
}

void ImageView::setImage(std::shared_ptr<Image> image) {
    image_ = std::move(image);
    invalidateIntrinsicContentSize();
}

Size ImageView::intrinsicContentSize() const {
    if (!image_) return {kViewNoIntrinsicMetric, kViewNoIntrinsicMetric};
    return image_->size();
}

Size ImageView::sizeThatFits(Size) const { return image_ ? image_->size() : bounds().size; }

void ImageView::draw(Bitmap& bitmap, const RenderContext& context) const {
    if (!image_) return;
    Rect b = bounds();
    Size s = image_->size();
    if (s.width <= 0 || s.height <= 0 || b.isEmpty()) return;
    Rect target = b;
    switch (contentMode()) {
    case ContentMode::ScaleAspectFit:
    case ContentMode::ScaleAspectFill: {
        float fx = b.width() / s.width, fy = b.height() / s.height;
        float f = contentMode() == ContentMode::ScaleAspectFit ? std::min(fx, fy) : std::max(fx, fy);
        Size t{s.width * f, s.height * f};
        target = Rect(b.midX() - t.width / 2, b.midY() - t.height / 2, t.width, t.height);
        break;
    }
    case ContentMode::Center:
        target = Rect(b.midX() - s.width / 2, b.midY() - s.height / 2, s.width, s.height);
        break;
    default:
        break;
    }
    RenderContext c = contentMode() == ContentMode::ScaleToFill ? context : context.clipped(b);
    c.drawImage(bitmap, *image_, target);
}

} // namespace platform
