#include "platform/ui/Image.h"

#include <climits>
#include <cmath>

#include "platform/ui/RenderContext.h"

#define STBI_ONLY_PNG
#define STBI_ONLY_JPEG
#define STBI_ONLY_GIF
#define STBI_NO_STDIO
#define STBI_FAILURE_USERMSG
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#include <stb_image.h>
#pragma GCC diagnostic pop

namespace platform {

namespace {
float sane(float scale) { return std::isfinite(scale) && scale > 0 ? scale : 1.0f; }
} // namespace

Image::Image(Bitmap bitmap, float scale, ImageOrientation orientation)
    : bitmap_(std::move(bitmap)), scale_(sane(scale)), orientation_(orientation) {}

std::shared_ptr<Image> Image::imageWithData(const std::vector<std::uint8_t>& data, float scale) {
    return imageWithData(data.data(), data.size(), scale);
}

std::shared_ptr<Image> Image::imageWithData(const std::uint8_t* data, std::size_t length, float scale) {
    if (data == nullptr || length == 0 || length > static_cast<std::size_t>(INT_MAX)) return nullptr;
    int w = 0, h = 0, channels = 0;
    // Refuse absurd dimensions before decoding allocates for them.
    if (stbi_info_from_memory(data, static_cast<int>(length), &w, &h, &channels) == 0) return nullptr;
    if (w <= 0 || h <= 0 || static_cast<long long>(w) * h > 16LL * 1024 * 1024) return nullptr;
    stbi_uc* pixels = stbi_load_from_memory(data, static_cast<int>(length), &w, &h, &channels, 4);
    if (pixels == nullptr) return nullptr;
    Bitmap bitmap(w, h);
    if (bitmap.empty()) {
        stbi_image_free(pixels);
        return nullptr;
    }
    auto& out = bitmap.bytes();
    for (std::size_t i = 0; i < out.size(); i += 4) {
        unsigned a = pixels[i + 3];
        for (int c = 0; c < 3; ++c) out[i + c] = static_cast<std::uint8_t>((pixels[i + c] * a + 127) / 255);
        out[i + 3] = static_cast<std::uint8_t>(a);
    }
    stbi_image_free(pixels);
    return std::make_shared<Image>(std::move(bitmap), scale, ImageOrientation::Up);
}

std::shared_ptr<Image> Image::imageWithBitmap(Bitmap bitmap, float scale, ImageOrientation orientation) {
    if (bitmap.empty()) return nullptr;
    return std::make_shared<Image>(std::move(bitmap), scale, orientation);
}

Size Image::size() const {
    return {static_cast<float>(bitmap_.width()) / scale_, static_cast<float>(bitmap_.height()) / scale_};
}

void Image::drawInRect(Bitmap& target, const Rect& rect) const {
    RenderContext().drawImage(target, *this, rect);
}

} // namespace platform
