#include <doctest/doctest.h>

#include <limits>

#include "ads/core/public/GADSearchRequest.h"
#include "platform/testing/Harness.h"

using platform::Color;
using ruzave::GADSearchRequest;

TEST_CASE_FIXTURE(platform::testing::Harness, "GADSearchRequest: a fresh request sends only the two sizes") {
    auto r = GADSearchRequest::request();
    platform::Value p = r->parameters();
    CHECK(p["search"] == platform::Value({{"headersize", "0"}, {"bthick", "0"}}));
    CHECK(p.contains("js"));
    CHECK(r->borderType() == 0);
    CHECK(r->callButtonColor() == 0);
}

TEST_CASE("GADSearchRequest: colour text reads the components of each colour space") {
    CHECK(GADSearchRequest::colorText(Color::red()) == "#ff0000");
    CHECK(GADSearchRequest::colorText(Color::rgba(0.2f, 0.4f, 1.0f)) == "#3366ff");
    CHECK(GADSearchRequest::colorText(Color::white(0.5f)) == "#7f7f7f"); // 127.5 cut to 127
    CHECK(GADSearchRequest::colorText(Color::pattern(nullptr)) == "#000000");
    // Components outside 0...1, or not numbers at all, stay within one byte each.
    const float nan = std::numeric_limits<float>::quiet_NaN();
    CHECK(GADSearchRequest::colorText(Color::rgba(2.0f, -1.0f, nan)) == "#ff0000");
    CHECK(GADSearchRequest::colorText(Color::white(std::numeric_limits<float>::infinity())) == "#000000");
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADSearchRequest: a gradient needs both colours and replaces the solid background") {
    auto r = GADSearchRequest::request();
    r->setBackgroundSolid(Color::red());
    r->setBackgroundGradientFrom(Color::blue(), std::nullopt);
    r->setBackgroundGradientFrom(std::nullopt, Color::blue());
    platform::Value search = r->parameters()["search"];
    CHECK(search["bgcolor"] == "#ff0000");
    CHECK_FALSE(search.contains("gradientfrom"));

    r->setBackgroundGradientFrom(Color::blue(), Color::green());
    search = r->parameters()["search"];
    CHECK_FALSE(search.contains("bgcolor"));
    CHECK(search["gradientfrom"] == "#0000ff");
    CHECK(search["gradientto"] == "#00ff00");

    r->setBackgroundSolid(Color::black());
    search = r->parameters()["search"];
    CHECK(search["bgcolor"] == "#000000");
    CHECK_FALSE(search.contains("gradientfrom"));
    CHECK_FALSE(search.contains("gradientto"));
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADSearchRequest: every field in order and border or button names only for known values") {
    auto r = GADSearchRequest::request();
    r->setQuery(std::string("cheap flights"));
    r->setHeaderColor(Color::red());
    r->setDescriptionTextColor(Color::green());
    r->setAnchorTextColor(Color::blue());
    r->setFontFamily(std::string("Serif"));
    r->setHeaderTextSize(18);
    r->setBorderColor(Color::white(1));
    r->setBorderType(GADSearchRequest::kBorderTypeNone);
    r->setBorderThickness(4294967295u);
    r->setCustomChannels(std::string("ch1+ch2"));
    r->setCallButtonColor(GADSearchRequest::kCallButtonColorDark);
    platform::Value search = r->parameters()["search"];
    std::vector<std::string> keys;
    for (const auto& [key, value] : search.items()) keys.push_back(key);
    CHECK(keys == std::vector<std::string>{"q", "hcolor", "dcolor", "acolor", "font", "headersize", "bcolor", "btype",
                                           "bthick", "channel", "callbuttoncolor"});
    CHECK(search["btype"] == "none"); // chosen, unlike a fresh request's
    CHECK(search["bthick"] == "4294967295");
    CHECK(search["callbuttoncolor"] == "dark");
    CHECK(search["headersize"] == "18");

    r->setBorderType(4);
    r->setCallButtonColor(3);
    search = r->parameters()["search"];
    CHECK_FALSE(search.contains("btype"));
    CHECK_FALSE(search.contains("callbuttoncolor"));
    r->setBorderType(GADSearchRequest::kBorderTypeSolid);
    r->setCallButtonColor(GADSearchRequest::kCallButtonColorMedium);
    search = r->parameters()["search"];
    CHECK(search["btype"] == "solid");
    CHECK(search["callbuttoncolor"] == "medium");
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADSearchRequest: a copy keeps every field and the search dictionary wins") {
    auto r = GADSearchRequest::request();
    r->setQuery(std::string("q1"));
    r->setBackgroundGradientFrom(Color::red(), Color::blue());
    r->setBorderType(GADSearchRequest::kBorderTypeDotted);
    r->addAdditionalParametersFromDictionary({{"search", "from the app"}});
    std::shared_ptr<ruzave::GADRequest> copy = r->copy();
    r->setQuery(std::string("changed"));
    platform::Value search = copy->parameters()["search"];
    REQUIRE(search.is_object());
    CHECK(search["q"] == "q1");
    CHECK(search["gradientfrom"] == "#ff0000");
    CHECK(search["btype"] == "dotted");
    CHECK_FALSE(search.contains("callbuttoncolor")); // still unchosen in the copy
}
