#include "platform/ui/Image.h"

#include <algorithm>
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

bool sideways(ImageOrientation o) {
    return o == ImageOrientation::Left || o == ImageOrientation::Right || o == ImageOrientation::LeftMirrored ||
           o == ImageOrientation::RightMirrored;
}

// The orientation tag of a JPEG's EXIF block (camera photos keep their pixels as the sensor saw them
// and say here how to turn them). Up when there is none or it cannot be read.
ImageOrientation exifOrientation(const std::uint8_t* data, std::size_t length) {
    if (length < 4 || data[0] != 0xFF || data[1] != 0xD8) return ImageOrientation::Up;
    std::size_t pos = 2;
    while (pos + 4 <= length && data[pos] == 0xFF) {
        std::uint8_t marker = data[pos + 1];
        if (marker == 0xFF) {  // fill byte
            ++pos;
            continue;
        }
        if (marker == 0xDA || marker == 0xD9) break;  // image data or end: no more headers
        std::size_t segment = std::size_t(data[pos + 2]) << 8 | data[pos + 3];
        if (segment < 2 || pos + 2 + segment > length) break;
        const std::uint8_t* body = data + pos + 4;
        std::size_t size = segment - 2;
        if (marker == 0xE1 && size >= 14 && std::equal(body, body + 6, "Exif\0\0")) {
            const std::uint8_t* tiff = body + 6;
            std::size_t n = size - 6;
            bool little = tiff[0] == 'I' && tiff[1] == 'I';
            if (!little && !(tiff[0] == 'M' && tiff[1] == 'M')) break;
            auto u16 = [&](std::size_t at) -> unsigned {
                return little ? tiff[at] | tiff[at + 1] << 8 : tiff[at] << 8 | tiff[at + 1];
            };
            auto u32 = [&](std::size_t at) -> std::size_t {
                return little ? std::size_t(u16(at)) | std::size_t(u16(at + 2)) << 16
                              : std::size_t(u16(at)) << 16 | std::size_t(u16(at + 2));
            };
            if (u16(2) != 42) break;
            std::size_t ifd = u32(4);
            if (ifd > n || n - ifd < 2) break;
            unsigned entries = u16(ifd);
            for (unsigned i = 0; i < entries; ++i) {
                std::size_t entry = ifd + 2 + std::size_t(i) * 12;
                if (entry + 12 > n) break;
                if (u16(entry) != 0x0112) continue;
                if (u16(entry + 2) != 3) break;  // a SHORT, or it is not the tag we know
                switch (u16(entry + 8)) {
                case 2: return ImageOrientation::UpMirrored;
                case 3: return ImageOrientation::Down;
                case 4: return ImageOrientation::DownMirrored;
                case 5: return ImageOrientation::LeftMirrored;
                case 6: return ImageOrientation::Right;
                case 7: return ImageOrientation::RightMirrored;
                case 8: return ImageOrientation::Left;
                default: return ImageOrientation::Up;
                }
            }
            break;
        }
        pos += 2 + segment;
    }
    return ImageOrientation::Up;
}
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
    return std::make_shared<Image>(std::move(bitmap), scale, exifOrientation(data, length));
}

std::shared_ptr<Image> Image::imageWithBitmap(Bitmap bitmap, float scale, ImageOrientation orientation) {
    if (bitmap.empty()) return nullptr;
    return std::make_shared<Image>(std::move(bitmap), scale, orientation);
}

Size Image::size() const {
    Size s{static_cast<float>(bitmap_.width()) / scale_, static_cast<float>(bitmap_.height()) / scale_};
    if (sideways(orientation_)) std::swap(s.width, s.height);
    return s;
}

Point Image::sourcePoint(float u, float v) const {
    switch (orientation_) {
    case ImageOrientation::Up: return {u, v};
    case ImageOrientation::Down: return {1 - u, 1 - v};
    case ImageOrientation::Left: return {1 - v, u};
    case ImageOrientation::Right: return {v, 1 - u};
    case ImageOrientation::UpMirrored: return {1 - u, v};
    case ImageOrientation::DownMirrored: return {u, 1 - v};
    case ImageOrientation::LeftMirrored: return {v, u};
    case ImageOrientation::RightMirrored: return {1 - v, 1 - u};
    }
    return {u, v};
}

void Image::drawInRect(Bitmap& target, const Rect& rect) const {
    RenderContext().drawImage(target, *this, rect);
}

} // namespace platform
