#include <doctest/doctest.h>

#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

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

TEST_CASE_FIXTURE(platform::testing::Harness, "GADLocation: locations equal within the tolerance hash alike") {
    // Two neighbouring floats on either side of a five-decimal rounding boundary.
    float above = 0.123455f;
    while (static_cast<double>(above) <= 0.123455) above = std::nextafter(above, 1.0f);
    const float below = std::nextafter(above, 0.0f);
    auto a = GADLocation::initWithLatitude(below, 10, 5);
    auto b = GADLocation::initWithLatitude(above, 10, 5);
    REQUIRE(a->isEqual(b.get()));
    CHECK(a->hash() == b->hash());
    // The same for accuracies around zero, and along a chain of small steps.
    auto c = GADLocation::initWithLatitude(45, 10, 0.0004999f);
    auto d = GADLocation::initWithLatitude(45, 10, 0.0005001f);
    CHECK(c->hash() == d->hash());
    float step = 0.99999f;
    auto chainStart = GADLocation::initWithLatitude(step, 10, 5);
    for (int i = 0; i < 50; ++i) {
        const float next = std::nextafter(step, 1.0f);
        auto x = GADLocation::initWithLatitude(step, 10, 5);
        auto y = GADLocation::initWithLatitude(next, 10, 5);
        REQUIRE(x->isEqual(y.get()));
        CHECK(x->hash() == y->hash());
        step = next;
    }
    // Beyond 1 neighbouring floats are not equal, and different places do not collide by design.
    auto p = GADLocation::initWithLatitude(48.8566f, 2.3522f, 10);
    auto q = GADLocation::initWithLatitude(std::nextafter(48.8566f, 90.0f), 2.3522f, 10);
    CHECK_FALSE(p->isEqual(q.get()));
    CHECK(p->hash() != q->hash());
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADLocation: the cached wire form is safe to make and replace from several threads") {
    auto location = GADLocation::initWithLatitude(12.5f, -33.25f, 50);
    const platform::Value expected = *location->copy()->dictionaryRepresentation();
    std::vector<std::thread> threads;
    std::atomic<int> wrong{0};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 2000; ++i) {
                if (t == 0 && i % 10 == 0) location->setDictionaryRepresentation(std::nullopt);
                auto v = location->dictionaryRepresentation();
                if (!v || (*v)["lat"] != expected["lat"] || (*v)["radius"] != expected["radius"]) ++wrong;
                if (t == 1) location->setLocationDescription(i % 2 ? std::optional<std::string>("here") : std::nullopt);
                if (location->locationDescription().empty()) ++wrong;
            }
        });
    }
    for (auto& thread : threads) thread.join();
    CHECK(wrong == 0);
}
