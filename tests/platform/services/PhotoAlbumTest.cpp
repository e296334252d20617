#include <doctest/doctest.h>

#include "platform/services/PhotoAlbum.h"
#include "platform/testing/Harness.h"
#include "platform/ui/Image.h"

using platform::PhotoAlbum;

TEST_CASE_FIXTURE(platform::testing::Harness, "PhotoAlbum: saves images, fails without one or when scripted, completing once each") {
    auto image = platform::Image::imageWithBitmap(platform::Bitmap(2, 2));
    REQUIRE(image);
    std::vector<bool> results;
    std::vector<long> codes;
    auto record = [&](bool ok, std::optional<platform::Error> e) {
        results.push_back(ok);
        codes.push_back(e ? e->code : 0);
    };
    PhotoAlbum::saveImage(image, record);
    PhotoAlbum::saveImage(nullptr, record);
    PhotoAlbum::scriptSaveFailure(platform::Error(PhotoAlbum::errorDomain, PhotoAlbum::WriteFailed, "Disk full"));
    PhotoAlbum::saveImage(image, record);
    PhotoAlbum::saveImage(image); // no completion is fine
    CHECK(results.empty());
    runUntilIdle();
    CHECK(results == std::vector<bool>{true, false, false});
    CHECK(codes == std::vector<long>{0, PhotoAlbum::NoImage, PhotoAlbum::WriteFailed});
    CHECK(PhotoAlbum::savedImagesForTesting().size() == 1);
}
