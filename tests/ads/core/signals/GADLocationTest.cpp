#include <doctest/doctest.h>

#include "ads/core/signals/GADLocation.h"
#include "platform/testing/Harness.h"

using namespace ruzave;

TEST_CASE_FIXTURE(platform::testing::Harness, "GADLocation: the wire form scales and truncates the coordinates") {
    auto l = GADLocation::initWithLatitude(12.5f, -33.25f, 50);
    REQUIRE(l);
    auto wire = l->dictionaryRepresentation();
    REQUIRE(wire);
    CHECK((*wire)["lat"] == 125000000);
    CHECK((*wire)["long"] == -332500000);
    CHECK((*wire)["radius"] == doctest::Approx(50000));
    CHECK((*GADLocation::initWithLatitude(1.5e-7f, 10, 1)->dictionaryRepresentation())["lat"] == 1);
    CHECK((*GADLocation::initWithLatitude(-1.5e-7f, 10, 1)->dictionaryRepresentation())["lat"] == -1);
    CHECK(GADLocation::initWithLatitude(91, 10, 1) == nullptr);
    CHECK(GADLocation::initWithLatitude(0, 10, 1) == nullptr);
    CHECK(GADLocation::initWithLatitude(NAN, 10, 1) == nullptr);
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADLocation: descriptions") {
    CHECK(GADLocation::initWithLocationDescription("") == nullptr);
    auto blank = GADLocation::initWithLocationDescription(" ");
    REQUIRE(blank);
    CHECK_FALSE(blank->dictionaryRepresentation());
    CHECK(blank->locationDescription() == " ");
    CHECK(GADLocation::initWithLatitude(1.5f, 2.25f, 1)->locationDescription() == "1.500000,2.250000");
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADLocation: equality and hash ignore the time stamp, and copies keep it") {
    auto a = GADLocation::initWithLatitude(48.8566f, 2.3522f, 10);
    advance(3600);
    auto b = GADLocation::initWithLatitude(48.8566f, 2.3522f, 10);
    CHECK(a->timestamp() != b->timestamp());
    CHECK(a->isEqual(b.get()));
    CHECK(a->hash() == b->hash());
    auto copy = a->copy();
    CHECK((*copy->dictionaryRepresentation())["time"] == (*a->dictionaryRepresentation())["time"]);
    CHECK_FALSE(a->isEqual(GADLocation::initWithLocationDescription("Paris").get()));
}
