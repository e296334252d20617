#pragma once
// Native ads on the local server: the native support page, native responses and real pictures (PNG and
// JPEG bytes made here). Any thread.
#include <cstdint>
#include <string>

namespace adserver {

class AdServer;

struct NativeAds {
    static constexpr const char* kSupportPagePath = "/mads/static/mad/sdk/native/native_ads.html";
    // The support page's text (ES5).
    static std::string supportPage();
    // Routes the support page on every host.
    static void installSupportPage(AdServer& server);
    // A `width` x `height` PNG of one colour (0xRRGGBBAA).
    static std::string png(int width, int height, std::uint32_t rgba);
    // An 8 x 8 baseline JPEG of uniform mid-grey.
    static std::string greyJPEG();
};

} // namespace adserver
