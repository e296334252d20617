#pragma once
// Native ads on the local server: the native support page, native responses and real pictures (PNG and
// JPEG bytes made here). Any thread.
#include <cstdint>
#include <string>

namespace adserver {

class AdServer;
struct Response;

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
    // Routes the pictures the sample responses use ("/native/img/<name>" for image.png, logo.png,
    // icon.jpg and badge.png) and their trackers ("/native/click", "/native/impression").
    static void installPictures(AdServer& server);
    // Sample native responses (JSON text) whose pictures are on `base` ("https://host"): a content ad
    // with two pictures and a logo, and an app-install ad with an icon; both with an attribution badge,
    // click and impression tracking on `base`'s "/native/click" and "/native/impression".
    static std::string contentAdResponse(const std::string& base);
    static std::string appInstallAdResponse(const std::string& base);
    // A native ad answer: the JSON text with the native format header.
    static Response nativeResponse(const std::string& json);
};

} // namespace adserver
