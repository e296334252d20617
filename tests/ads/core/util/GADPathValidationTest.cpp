#include <doctest/doctest.h>

#include "ads/core/util/GADPathValidation.h"

using namespace ruzave;

TEST_CASE("gad_String: URL texts are equivalent up to one trailing slash") {
    CHECK(gad_isEquivalentToURLString("https://x.test/a", "https://x.test/a/"));
    CHECK(gad_isEquivalentToURLString("https://x.test/a/", "https://x.test/a"));
    CHECK(gad_isEquivalentToURLString("https://x.test/a/", "https://x.test/a/"));
    CHECK_FALSE(gad_isEquivalentToURLString("https://x.test/a//", "https://x.test/a"));
    CHECK_FALSE(gad_isEquivalentToURLString("https://x.test/A", "https://x.test/a"));
    CHECK(gad_isEquivalentToURLString("/", ""));
    CHECK(gad_isEquivalentToURLString("", ""));
}
