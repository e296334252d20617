#include <cstdint>
#include <string>
#include <vector>

#include "platform/ui/Bitmap.h"
#include "platform/ui/Image.h"

using namespace platform;

namespace {

// A minimal PNG encoder: 8-bit RGBA, stored (uncompressed) deflate blocks.
std::uint32_t crc32(const std::uint8_t* data, std::size_t n, std::uint32_t crc = 0) {
    crc = ~crc;
    for (std::size_t i = 0; i < n; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) out.push_back(std::uint8_t(v >> s));
}

void chunk(std::vector<std::uint8_t>& out, const char* type, const std::vector<std::uint8_t>& data) {
    put32(out, std::uint32_t(data.size()));
    std::vector<std::uint8_t> body(type, type + 4);
    body.insert(body.end(), data.begin(), data.end());
    out.insert(out.end(), body.begin(), body.end());
    put32(out, crc32(body.data(), body.size()));
}

std::vector<std::uint8_t> encodePNG(int w, int h, const std::vector<std::uint32_t>& rgba) {
    std::vector<std::uint8_t> raw;
    for (int y = 0; y < h; ++y) {
        raw.push_back(0); // filter: none
        for (int x = 0; x < w; ++x) put32(raw, rgba[std::size_t(y * w + x)]);
    }
    std::vector<std::uint8_t> z{0x78, 0x01};
    std::size_t pos = 0;
    do {
        std::size_t len = std::min<std::size_t>(65535, raw.size() - pos);
        bool last = pos + len == raw.size();
        z.push_back(last ? 1 : 0);
        z.push_back(std::uint8_t(len));
        z.push_back(std::uint8_t(len >> 8));
        z.push_back(std::uint8_t(~len));
        z.push_back(std::uint8_t(~len >> 8));
        z.insert(z.end(), raw.begin() + std::ptrdiff_t(pos), raw.begin() + std::ptrdiff_t(pos + len));
        pos += len;
    } while (pos < raw.size());
    std::uint32_t a = 1, b = 0;
    for (auto c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    put32(z, b << 16 | a);

    std::vector<std::uint8_t> png{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    std::vector<std::uint8_t> ihdr;
    put32(ihdr, std::uint32_t(w));
    put32(ihdr, std::uint32_t(h));
    ihdr.insert(ihdr.end(), {8, 6, 0, 0, 0});
    chunk(png, "IHDR", ihdr);
    chunk(png, "IDAT", z);
    chunk(png, "IEND", {});
    return png;
}

} // namespace

TEST_CASE("Image: decodes PNG bytes with size, scale and premultiplied pixels") {
    // 4 x 2: red, green, blue, half-transparent white; second row opaque black.
    std::vector<std::uint32_t> px = {0xFF0000FF, 0x00FF00FF, 0x0000FFFF, 0xFFFFFF80,
                                     0x000000FF, 0x000000FF, 0x000000FF, 0x000000FF};
    auto image = Image::imageWithData(encodePNG(4, 2, px), 2.0f);
    REQUIRE(image);
    CHECK(image->pixelWidth() == 4);
    CHECK(image->pixelHeight() == 2);
    CHECK(image->scale() == 2.0f);
    CHECK(image->size() == Size{2, 1});
    CHECK(image->imageOrientation() == ImageOrientation::Up);
    CHECK(image->bitmap().pixel(0, 0) == 0xFF0000FFu);
    CHECK(image->bitmap().pixel(2, 0) == 0x0000FFFFu);
    CHECK(image->bitmap().pixel(3, 0) == 0x80808080u); // premultiplied
    CHECK(image->bitmap().countPixels(0x000000FFu) == 4);
}

TEST_CASE("Image: drawn scaled into a bitmap") {
    std::vector<std::uint32_t> px = {0xFF0000FF, 0x0000FFFF};
    auto image = Image::imageWithData(encodePNG(2, 1, px));
    REQUIRE(image);
    Bitmap target(10, 10);
    image->drawInRect(target, Rect(0, 0, 8, 4));
    CHECK(target.countPixels(Color::red()) == 16);
    CHECK(target.countPixels(Color::blue()) == 16);
    CHECK(target.countOpaquePixels() == 32);
}

TEST_CASE("Image: bytes that are not an image give nullptr") {
    std::string text = "<html>not an image</html>";
    CHECK(Image::imageWithData(std::vector<std::uint8_t>(text.begin(), text.end())) == nullptr);
    CHECK(Image::imageWithData(std::vector<std::uint8_t>{}) == nullptr);
    CHECK(Image::imageWithData(nullptr, 10) == nullptr);
    // A PNG cut short.
    auto png = encodePNG(3, 3, std::vector<std::uint32_t>(9, 0xFFFFFFFF));
    png.resize(png.size() / 2);
    CHECK(Image::imageWithData(png) == nullptr);
    CHECK(Image::imageWithBitmap(Bitmap(0, 5)) == nullptr);
}
