#include "tools/adserver/NativeAds.h"

#include <fstream>
#include <sstream>
#include <vector>

#include "tools/adserver/AdServer.h"

#ifndef RUZAVE_ADSERVER_PAGES
#define RUZAVE_ADSERVER_PAGES "tools/adserver/pages"
#endif

namespace adserver {

namespace {

void appendBigEndian(std::string& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>((v >> shift) & 0xFF));
}

std::uint32_t pngCRC(const std::string& bytes) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char c : bytes) {
        crc ^= c;
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 1u) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
    }
    return crc ^ 0xFFFFFFFFu;
}

void appendChunk(std::string& png, const std::string& type, const std::string& data) {
    appendBigEndian(png, static_cast<std::uint32_t>(data.size()));
    std::string typed = type + data;
    png += typed;
    appendBigEndian(png, pngCRC(typed));
}

} // namespace

std::string NativeAds::supportPage() {
    std::ifstream in(std::string(RUZAVE_ADSERVER_PAGES) + "/native_ads.html", std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void NativeAds::installSupportPage(AdServer& server) {
    server.route(kSupportPagePath, Response::html(supportPage()));
}

std::string NativeAds::png(int width, int height, std::uint32_t rgba) {
    // Rows of filter byte 0 and RGBA pixels, in stored deflate blocks of at most 65535 bytes.
    std::string raw;
    for (int y = 0; y < height; ++y) {
        raw.push_back('\0');
        for (int x = 0; x < width; ++x) appendBigEndian(raw, rgba);
    }
    std::string zlib("\x78\x01", 2);
    std::size_t at = 0;
    do {
        std::size_t n = std::min<std::size_t>(65535, raw.size() - at);
        zlib.push_back(at + n == raw.size() ? '\x01' : '\x00');
        zlib.push_back(static_cast<char>(n & 0xFF));
        zlib.push_back(static_cast<char>(n >> 8));
        zlib.push_back(static_cast<char>(~n & 0xFF));
        zlib.push_back(static_cast<char>((~n >> 8) & 0xFF));
        zlib.append(raw, at, n);
        at += n;
    } while (at < raw.size());
    std::uint32_t s1 = 1, s2 = 0;
    for (unsigned char c : raw) {
        s1 = (s1 + c) % 65521;
        s2 = (s2 + s1) % 65521;
    }
    appendBigEndian(zlib, (s2 << 16) | s1);

    std::string png("\x89PNG\r\n\x1a\n", 8);
    std::string header;
    appendBigEndian(header, static_cast<std::uint32_t>(width));
    appendBigEndian(header, static_cast<std::uint32_t>(height));
    header += std::string("\x08\x06\x00\x00\x00", 5);
    appendChunk(png, "IHDR", header);
    appendChunk(png, "IDAT", zlib);
    appendChunk(png, "IEND", "");
    return png;
}

std::string NativeAds::greyJPEG() {
    // SOI, one quantisation table of ones, an 8x8 greyscale frame, DC-only Huffman tables, one scan
    // whose block has DC difference 0 and end-of-block: every pixel is mid-grey (128).
    static const unsigned char bytes[] = {
        0xFF, 0xD8,                                                       // SOI
        0xFF, 0xDB, 0x00, 0x43, 0x00,                                     // DQT, table 0
        1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
        1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
        0xFF, 0xC0, 0x00, 0x0B, 0x08, 0x00, 0x08, 0x00, 0x08, 0x01, 0x01, 0x11, 0x00,  // SOF0 8x8 grey
        0xFF, 0xC4, 0x00, 0x14, 0x00,                                     // DHT DC 0: one code "0" -> 0
        1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x00,
        0xFF, 0xC4, 0x00, 0x14, 0x10,                                     // DHT AC 0: one code "0" -> EOB
        1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x00,
        0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x3F, 0x00,       // SOS
        0x3F,                                                             // bits 00 then padding ones
        0xFF, 0xD9,                                                       // EOI
    };
    return std::string(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

namespace {

std::string tracking(const std::string& base) {
    return "\"tracking_urls_and_actions\":{\"ruzave_click_tracking_url\":\"" + base +
           "/native/click?ad=1\",\"impression_tracking_urls\":[\"" + base +
           "/native/impression?ad=1\"],\"third_party_click_tracking_urls\":[],\"click_actions\":[]}";
}

std::string badge(const std::string& base) {
    return "\"attribution\":{\"text\":\"Ad\",\"image\":{\"url\":\"" + base +
           "/native/img/badge.png\"},\"text_color\":{\"r\":255,\"g\":255,\"b\":255}}";
}

} // namespace

void NativeAds::installPictures(AdServer& server) {
    server.route("/native/img/image.png", Response::text(png(32, 16, 0x3366CCFF), "image/png"));
    server.route("/native/img/logo.png", Response::text(png(8, 8, 0xCC3333FF), "image/png"));
    server.route("/native/img/badge.png", Response::text(png(6, 6, 0x00AA00FF), "image/png"));
    server.route("/native/img/icon.jpg", Response::text(greyJPEG(), "image/jpeg"));
    server.route("/native/click", Response::text("", "text/plain", 204));
    server.route("/native/impression", Response::text("", "text/plain", 204));
}

std::string NativeAds::contentAdResponse(const std::string& base) {
    return "{\"ads\":[{\"type\":\"native\",\"template_id\":1,\"headline\":\"Fresh bread daily\","
           "\"body\":\"Baked before dawn, at your door by seven.\",\"call_to_action\":\"Order now\","
           "\"advertiser\":\"Corner Bakery\",\"images\":[{\"url\":\"" + base + "/native/img/image.png\"},"
           "{\"url\":\"" + base + "/native/img/image.png\",\"scale\":2}],\"secondary_image\":{\"url\":\"" + base +
           "/native/img/logo.png\"}," + badge(base) + "," + tracking(base) + "}]}";
}

std::string NativeAds::appInstallAdResponse(const std::string& base) {
    return "{\"ads\":[{\"type\":\"native\",\"template_id\":\"2\",\"headline\":\"Star Garden\","
           "\"call_to_action\":\"Install\",\"body\":\"Grow a garden in the night sky.\",\"store\":\"Store\","
           "\"price\":\"Free\",\"rating\":4.5,\"app_icon\":{\"url\":\"" + base + "/native/img/icon.jpg\"},"
           "\"images\":[{\"url\":\"" + base + "/native/img/image.png\"}]," + badge(base) + "," + tracking(base) +
           "}]}";
}

Response NativeAds::nativeResponse(const std::string& json) {
    Response r = Response::json(json);
    r.header("X-Zudo-Ad-Format", "native");
    return r;
}

} // namespace adserver
