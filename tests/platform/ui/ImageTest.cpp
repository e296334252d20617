#include <doctest/doctest.h>

#include <algorithm>
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

// A baseline greyscale JPEG of uniform mid-grey, `w` x 8 pixels (w a multiple of 8): every block has a
// zero DC difference and no AC terms, so one one-bit code per table is enough. With `orientation` set,
// an EXIF block carrying it goes first, in the byte order given.
std::vector<std::uint8_t> greyJPEG(int w, int orientation = 0, bool bigEndian = false) {
    std::vector<std::uint8_t> j{0xFF, 0xD8};
    auto segment = [&](std::uint8_t marker, const std::vector<std::uint8_t>& body) {
        j.insert(j.end(), {0xFF, marker, std::uint8_t((body.size() + 2) >> 8), std::uint8_t(body.size() + 2)});
        j.insert(j.end(), body.begin(), body.end());
    };
    if (orientation != 0) {
        std::vector<std::uint8_t> exif{'E', 'x', 'i', 'f', 0, 0};
        auto o = std::uint8_t(orientation);
        std::vector<std::uint8_t> tiff =
            bigEndian ? std::vector<std::uint8_t>{'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1, 0x01, 0x12, 0, 3, 0, 0, 0, 1, 0, o, 0, 0, 0, 0, 0, 0}
                      : std::vector<std::uint8_t>{'I', 'I', 42, 0, 8, 0, 0, 0, 1, 0, 0x12, 0x01, 3, 0, 1, 0, 0, 0, o, 0, 0, 0, 0, 0, 0, 0};
        exif.insert(exif.end(), tiff.begin(), tiff.end());
        segment(0xE1, exif);
    }
    std::vector<std::uint8_t> dqt{0};
    dqt.insert(dqt.end(), 64, 1);
    segment(0xDB, dqt);
    segment(0xC0, {8, 0, 8, std::uint8_t(w >> 8), std::uint8_t(w), 1, 1, 0x11, 0});
    // One code of length 1, for symbol 0 (DC: no difference, AC: end of block).
    std::vector<std::uint8_t> dc{0x00, 1}, ac{0x10, 1};
    dc.insert(dc.end(), 15, 0);
    ac.insert(ac.end(), 15, 0);
    dc.push_back(0);
    ac.push_back(0);
    segment(0xC4, dc);
    segment(0xC4, ac);
    segment(0xDA, {1, 1, 0x00, 0, 63, 0});
    // Two bits a block, the rest of the last byte filled with ones.
    int bits = 2 * (w / 8);
    for (int b = 0; b < bits; b += 8) {
        int n = std::min(8, bits - b);
        j.push_back(std::uint8_t(0xFF >> n));
    }
    j.insert(j.end(), {0xFF, 0xD9});
    return j;
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

TEST_CASE("Image: a JPEG's EXIF orientation turns its shown size, in either byte order") {
    auto plain = Image::imageWithData(greyJPEG(16));
    REQUIRE(plain);
    CHECK(plain->imageOrientation() == ImageOrientation::Up);
    CHECK(plain->size() == Size{16, 8});
    CHECK(plain->bitmap().pixel(3, 3) == plain->bitmap().pixel(12, 6));

    auto right = Image::imageWithData(greyJPEG(16, 6));
    REQUIRE(right);
    CHECK(right->imageOrientation() == ImageOrientation::Right);
    CHECK(right->size() == Size{8, 16});
    CHECK(right->pixelWidth() == 16);  // the pixels stay as stored

    auto left = Image::imageWithData(greyJPEG(16, 8, true));
    REQUIRE(left);
    CHECK(left->imageOrientation() == ImageOrientation::Left);
    CHECK(Image::imageWithData(greyJPEG(16, 3))->imageOrientation() == ImageOrientation::Down);
    CHECK(Image::imageWithData(greyJPEG(16, 5))->size() == Size{8, 16});

    // Values outside 1...8 and a cut EXIF block read as upright, never past the bytes.
    CHECK(Image::imageWithData(greyJPEG(16, 9))->imageOrientation() == ImageOrientation::Up);
    auto bytes = greyJPEG(16, 6);
    bytes[5] = 200;  // the EXIF segment claims more than there is
    auto cut = Image::imageWithData(bytes);
    if (cut) CHECK(cut->imageOrientation() == ImageOrientation::Up);
}

TEST_CASE("Image: drawing turns the stored pixels upright") {
    // Stored 2 x 1: red then blue. Shown "right" (turned a quarter clockwise): 1 x 2, red above blue.
    Bitmap stored(2, 1);
    stored.fillRect(Rect(0, 0, 1, 1), Color::red());
    stored.fillRect(Rect(1, 0, 1, 1), Color::blue());
    auto right = Image::imageWithBitmap(stored, 1, ImageOrientation::Right);
    REQUIRE(right);
    CHECK(right->size() == Size{1, 2});
    Bitmap target(1, 2);
    right->drawInRect(target, Rect(0, 0, 1, 2));
    CHECK(target.pixel(0, 0) == Color::red().premultipliedRGBA8());
    CHECK(target.pixel(0, 1) == Color::blue().premultipliedRGBA8());

    auto left = Image::imageWithBitmap(stored, 1, ImageOrientation::Left);
    Bitmap leftTarget(1, 2);
    left->drawInRect(leftTarget, Rect(0, 0, 1, 2));
    CHECK(leftTarget.pixel(0, 0) == Color::blue().premultipliedRGBA8());
    CHECK(leftTarget.pixel(0, 1) == Color::red().premultipliedRGBA8());

    auto mirrored = Image::imageWithBitmap(stored, 1, ImageOrientation::UpMirrored);
    Bitmap mirroredTarget(2, 1);
    mirrored->drawInRect(mirroredTarget, Rect(0, 0, 2, 1));
    CHECK(mirroredTarget.pixel(0, 0) == Color::blue().premultipliedRGBA8());
    CHECK(mirroredTarget.pixel(1, 0) == Color::red().premultipliedRGBA8());
}
