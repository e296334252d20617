#include <doctest/doctest.h>

#include "ads/native/GADNativeAdImage.h"
#include "ads/native/GADNativeAdImageAdLoaderOptions.h"
#include "platform/ui/Image.h"
#include "tests/ads/native/NativeTestSupport.h"

using ruzave::GADNativeAdImage;
using ruzave::GADNativeAdImageAdLoaderOptions;

namespace {

platform::Value threeImages() {
    return platform::Value::array({{{"url", "https://a.example/1.png"}},
                                   {{"scale", 2}},
                                   {{"url", "https://a.example/3.png"}, {"scale", 3}}});
}

std::shared_ptr<GADNativeAdImage> imageAt(const std::string& path) {
    return GADNativeAdImage::initWithDictionary({{"url", nativetest::Server::url(path)}});
}

} // namespace

TEST_CASE("GADNativeAdImage: a list keeps every usable object with multiple images, else only the first") {
    auto multiple = std::make_shared<GADNativeAdImageAdLoaderOptions>();
    multiple->shouldRequestMultipleImages = true;
    auto all = GADNativeAdImage::nativeAdImagesFromImageConfigurationArray(threeImages(), {multiple});
    REQUIRE(all);
    REQUIRE(all->size() == 2);
    CHECK((*all)[0]->imageURL()->absoluteString() == "https://a.example/1.png");
    CHECK((*all)[1]->imageURL()->absoluteString() == "https://a.example/3.png");
    CHECK((*all)[1]->scale() == 3.0f);

    auto first = GADNativeAdImage::nativeAdImagesFromImageConfigurationArray(threeImages(), {});
    REQUIRE(first);
    CHECK(first->size() == 1);
    // Only an object without "url": no list at all, never an empty one.
    CHECK_FALSE(GADNativeAdImage::nativeAdImagesFromImageConfigurationArray(platform::Value::array({{{"scale", 1}}}), {}));
    CHECK_FALSE(GADNativeAdImage::nativeAdImagesFromImageConfigurationArray("not a list", {multiple}));
    // Ten thousand pictures are cut to a bounded list.
    platform::Value many = platform::Value::array();
    for (int i = 0; i < 10000; ++i) many.push_back({{"url", "https://a.example/" + std::to_string(i) + ".png"}});
    auto capped = GADNativeAdImage::nativeAdImagesFromImageConfigurationArray(many, {multiple});
    REQUIRE(capped);
    CHECK(capped->size() == GADNativeAdImage::kMaximumImageCount);
}

TEST_CASE("GADNativeAdImage: require defaults to yes and scale to one") {
    auto plain = GADNativeAdImage::initWithDictionary({{"url", "https://a.example/x.png"}});
    REQUIRE(plain);
    CHECK(plain->required());
    CHECK(plain->scale() == 1.0f);
    auto optional = GADNativeAdImage::initWithDictionary({{"url", "https://a.example/x.png"}, {"require", false}});
    CHECK_FALSE(optional->required());
    CHECK_FALSE(GADNativeAdImage::initWithDictionary({{"url", 12}}));
    CHECK_FALSE(GADNativeAdImage::initWithDictionary("https://a.example/x.png"));
    CHECK(plain->description().find(" URL: https://a.example/x.png>") != std::string::npos);
}

TEST_CASE_FIXTURE(nativetest::Server, "GADNativeAdImage: PNG and JPEG pictures download and decode at their scale") {
    auto png = GADNativeAdImage::initWithDictionary({{"url", Server::url("/img/red.png")}, {"scale", 2}});
    auto jpeg = imageAt("/img/grey.jpg");
    nativetest::Outcomes outcomes;
    png->loadImageWithCompletionHandler(outcomes.handler());
    jpeg->loadImageWithCompletionHandler(outcomes.handler());
    CHECK(outcomes.calls.empty()); // never inside the call
    REQUIRE(runUntil([&] { return outcomes.calls.size() == 2; }, 20));
    CHECK_FALSE(outcomes.calls[0]);
    CHECK_FALSE(outcomes.calls[1]);
    REQUIRE(png->image());
    CHECK(png->image()->pixelWidth() == 4);
    CHECK(png->image()->size().width == 2);
    REQUIRE(jpeg->image());
    CHECK(jpeg->image()->pixelHeight() == 8);
}

TEST_CASE_FIXTURE(nativetest::Server, "GADNativeAdImage: bodies that are no picture, empty or refused fail with code 2") {
    auto text = imageAt("/img/text.png");
    auto empty = imageAt("/img/empty.png");
    auto missing = imageAt("/img/missing.png");
    nativetest::Outcomes a, b, c;
    text->loadImageWithCompletionHandler(a.handler());
    empty->loadImageWithCompletionHandler(b.handler());
    missing->loadImageWithCompletionHandler(c.handler());
    REQUIRE(runUntil([&] { return a.calls.size() + b.calls.size() + c.calls.size() == 3; }, 20));
    REQUIRE(a.calls[0]);
    CHECK(a.calls[0]->code == 2);
    CHECK(a.calls[0]->description.find("Received 13 bytes.") != std::string::npos);
    REQUIRE(b.calls[0]);
    CHECK(b.calls[0]->description.find("Received 0 bytes.") != std::string::npos);
    // A 404 that carries a valid picture is still no picture of the ad.
    REQUIRE(c.calls[0]);
    CHECK_FALSE(missing->image());
}

TEST_CASE_FIXTURE(nativetest::Server, "GADNativeAdImage: huge bodies are cut off and other schemes never fetched") {
    server->route("/img/huge.png", [](const adserver::Request&) {
        return adserver::Response::text(std::string(GADNativeAdImage::kMaximumImageBytes + 1024, 'x'), "image/png");
    });
    auto huge = imageAt("/img/huge.png");
    auto file = GADNativeAdImage::initWithDictionary({{"url", "file:///etc/passwd"}});
    auto data = GADNativeAdImage::initWithDictionary({{"url", "data:image/png;base64,AAAA"}});
    REQUIRE(file);
    nativetest::Outcomes a, b, c;
    huge->loadImageWithCompletionHandler(a.handler());
    file->loadImageWithCompletionHandler(b.handler());
    if (data) data->loadImageWithCompletionHandler(c.handler());
    REQUIRE(runUntil([&] { return a.calls.size() == 1 && b.calls.size() == 1; }, 30));
    REQUIRE(a.calls[0]);
    CHECK_FALSE(huge->image());
    REQUIRE(b.calls[0]);
    CHECK(b.calls[0]->description == "Couldn't create URL request for file:///etc/passwd.");
    if (data) {
        REQUIRE(runUntil([&] { return c.calls.size() == 1; }));
        CHECK(c.calls[0]);
    }
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADNativeAdImage: an image made loaded completes without a request") {
    auto bitmapImage = platform::Image::imageWithBitmap(platform::Bitmap(2, 2), 3.0f);
    REQUIRE(bitmapImage);
    auto image = GADNativeAdImage::initWithImage(bitmapImage);
    CHECK(image->scale() == 3.0f);
    CHECK_FALSE(image->imageURL());
    nativetest::Outcomes outcomes;
    image->loadImageWithCompletionHandler(outcomes.handler());
    CHECK(outcomes.calls.empty());
    runUntilIdle();
    REQUIRE(outcomes.calls.size() == 1);
    CHECK_FALSE(outcomes.calls[0]);
}
