#include <doctest/doctest.h>

#include <cmath>

#include "ads/core/signals/GADDevice.h"
#include "ads/core/util/GADRectConversions.h"
#include "platform/testing/Harness.h"
#include "platform/ui/Application.h"
#include "platform/ui/Device.h"
#include "platform/ui/Screen.h"

using namespace ruzave;

namespace {

void useSystemVersion(const char* version) {
    platform::Device::currentDevice()->setSystemVersion(version);
    GADDevice::sharedInstance()->updateOperatingSystemVersionProperties();
}

} // namespace

TEST_CASE_FIXTURE(platform::testing::Harness, "GADRectConversions: below OS 8 screen rectangles turn with the orientation") {
    useSystemVersion("7.1");
    // A 320 x 568 portrait screen; the rectangle touches no edge, so every term of the table shows.
    const platform::Rect s(0, 0, 320, 568);
    const platform::Rect r(10, 20, 100, 50);
    CHECK(GADRectForInterfaceOrientation(r, 1, s) == r);
    CHECK(GADRectForInterfaceOrientation(r, 2, s) == platform::Rect(320 - 110, 568 - 70, 100, 50));
    CHECK(GADRectForInterfaceOrientation(r, 3, s) == platform::Rect(20, 320 - 110, 50, 100));
    CHECK(GADRectForInterfaceOrientation(r, 4, s) == platform::Rect(568 - 70, 10, 50, 100));
    // Unknown orientations leave the rectangle as it is.
    CHECK(GADRectForInterfaceOrientation(r, 0, s) == r);
    CHECK(GADRectForInterfaceOrientation(r, 5, s) == r);
    CHECK(GADRectForInterfaceOrientation(r, -1, s) == r);
    // Upside down twice, or left then right, comes back to the start.
    CHECK(GADRectForInterfaceOrientation(GADRectForInterfaceOrientation(r, 2, s), 2, s) == r);
    const platform::Rect landscape(0, 0, 568, 320);
    CHECK(GADRectForInterfaceOrientation(GADRectForInterfaceOrientation(r, 3, s), 4, landscape) == r);
    // The whole screen in landscape becomes the whole landscape interface.
    CHECK(GADRectForInterfaceOrientation(s, 3, s) == landscape);
    CHECK(GADRectForInterfaceOrientation(s, 4, s) == landscape);
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADRectConversions: from OS 8 rectangles are already in interface coordinates") {
    const platform::Rect s(0, 0, 320, 568);
    const platform::Rect r(10, 20, 100, 50);
    for (const char* version : {"8.0", "9.3"}) {
        useSystemVersion(version);
        for (int orientation = 1; orientation <= 4; ++orientation) {
            CHECK(GADRectForInterfaceOrientation(r, orientation, s) == r);
        }
    }
    platform::Application::sharedApplication()->setStatusBarOrientation(platform::InterfaceOrientation(3));
    CHECK(GADInterfaceRectFromScreenRect(r) == r);
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADRectConversions: below OS 8 the application's orientation and screen are used") {
    useSystemVersion("7.0");
    platform::Screen::mainScreen()->setBoundsSize({320, 480});
    const platform::Rect r(10, 20, 100, 50);
    platform::Application::sharedApplication()->setStatusBarOrientation(platform::InterfaceOrientation(1));
    CHECK(GADInterfaceRectFromScreenRect(r) == r);
    platform::Application::sharedApplication()->setStatusBarOrientation(platform::InterfaceOrientation(2));
    CHECK(GADInterfaceRectFromScreenRect(r) == platform::Rect(210, 410, 100, 50));
    platform::Application::sharedApplication()->setStatusBarOrientation(platform::InterfaceOrientation(4));
    CHECK(GADInterfaceRectFromScreenRect(r) == platform::Rect(410, 10, 50, 100));
}

TEST_CASE("GADRectConversions: rectangle dictionaries in the short and the core page's form") {
    const platform::Rect r(10, 20, -30, 40);
    platform::Value shortForm = GADDictionaryFromRect(r);
    CHECK(shortForm["x"] == -20);
    CHECK(shortForm["w"] == 30);
    platform::Value longForm = GADSDKCoreDictionaryFromRect(r);
    CHECK(longForm["width"] == -30);
    platform::Error error;
    CHECK(GADRectFromSDKCoreDictionary(longForm, &error) == r);
    longForm["height"] = "40";
    CHECK(GADRectFromSDKCoreDictionary(longForm, &error) == platform::Rect::zero());
    CHECK(error.domain == "cg_rect_conversion");
    CHECK(error.code == 1);
    CHECK(GADRectFromSDKCoreDictionary(platform::Value("x")) == platform::Rect::zero());
}

TEST_CASE("GADRectConversions: numbers beyond the float range read as infinite, not as garbage") {
    platform::Value d{{"x", 1e300}, {"y", -1e300}, {"width", 5}, {"height", 1e-300}};
    platform::Error error;
    platform::Rect r = GADRectFromSDKCoreDictionary(d, &error);
    CHECK(error.empty());
    CHECK(std::isinf(r.origin.x));
    CHECK(r.origin.x > 0);
    CHECK(std::isinf(r.origin.y));
    CHECK(r.origin.y < 0);
    CHECK(r.size.width == 5);
    CHECK(r.size.height == 0);
}

TEST_CASE("GADRectConversions: JSON booleans in a core page rectangle read as 1 and 0") {
    platform::Error error;
    platform::Rect r = GADRectFromSDKCoreDictionary(
        platform::Value{{"x", true}, {"y", false}, {"width", 320}, {"height", 50.5}}, &error);
    CHECK(error.empty());
    CHECK(r == platform::Rect(1, 0, 320, 50.5f));
    CHECK(GADRectFromSDKCoreDictionary(platform::Value{{"x", nullptr}, {"y", 0}, {"width", 1}, {"height", 1}}, &error) ==
          platform::Rect::zero());
    CHECK(error.code == 1);
}
