#pragma once
// A view showing an image, scaled by its content mode (fill, fit, fill-and-crop, centre). Main thread.
#include <memory>

#include "platform/ui/View.h"

namespace platform {

class Image;

class ImageView : public View {
public:
    static std::shared_ptr<ImageView> create(Rect frame = Rect::zero());
    // Sized to the image (zero rect for none).
    static std::shared_ptr<ImageView> createWithImage(std::shared_ptr<Image> image);

    std::shared_ptr<Image> image() const { return image_; }
    void setImage(std::shared_ptr<Image> image);

    Size intrinsicContentSize() const override;
    Size sizeThatFits(Size size) const override;
    void draw(Bitmap& bitmap, const RenderContext& context) const override;

protected:
    explicit ImageView(Rect frame);

private:
    std::shared_ptr<Image> image_;
};

} // namespace platform
