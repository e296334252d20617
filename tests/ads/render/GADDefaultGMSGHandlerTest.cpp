#include <doctest/doctest.h>

#include <climits>

#include "ads/core/signals/GADGestureModule.h"
#include "ads/core/util/GADLog.h"
#include "ads/render/GADAdView.h"
#include "ads/render/GADDefaultGMSGHandler.h"
#include "ads/render/GADNotification.h"
#include "platform/base/Log.h"
#include "platform/runloop/DispatchQueue.h"
#include "platform/services/SystemSound.h"
#include "platform/testing/Harness.h"
#include "platform/ui/Device.h"

using platform::testing::Harness;
using ruzave::GADAdView;
using ruzave::GADDefaultGMSGHandler;

namespace {
bool handle(GADDefaultGMSGHandler& handler, const std::string& url, const std::shared_ptr<GADAdView>& view = nullptr) {
    return handler.handleRequest(*platform::URLRequest::withURLString(url), view);
}
} // namespace

TEST_CASE("GADDefaultGMSGHandler: integerForKey reads digits, gives 0 for text and the default when absent") {
    platform::Value d{{"a", "12"}, {"b", "abc"}, {"c", 7}};
    CHECK(GADDefaultGMSGHandler::integerForKey("a", d, -1) == 12);
    CHECK(GADDefaultGMSGHandler::integerForKey("b", d, -1) == 0);
    CHECK(GADDefaultGMSGHandler::integerForKey("c", d, -1) == 7);
    CHECK(GADDefaultGMSGHandler::integerForKey("z", d, -1) == -1);
}

TEST_CASE_FIXTURE(Harness, "GADDefaultGMSGHandler: touch reports reach the gesture module one turn later") {
    auto handler = GADDefaultGMSGHandler::init();
    auto before = ruzave::GADGestureModuleRecordedTouches().size();
    CHECK(handle(*handler, "gmsg://h/touch"));
    CHECK(handle(*handler, "gmsg://h/touch?tx=abc&ty=20&td=99999999999999"));
    CHECK(ruzave::GADGestureModuleRecordedTouches().size() == before);
    runUntilIdle();
    auto touches = ruzave::GADGestureModuleRecordedTouches();
    REQUIRE(touches.size() == before + 2);
    CHECK(touches[before].x == -1);
    CHECK(touches[before].y == -1);
    CHECK(touches[before].durationMilliseconds == -1);
    CHECK(touches[before + 1].x == 0);
    CHECK(touches[before + 1].y == 20);
    CHECK(touches[before + 1].durationMilliseconds == INT_MAX);
}

TEST_CASE_FIXTURE(Harness, "GADDefaultGMSGHandler: canOpenURLs answers openableURLs with one entry per URL before 9.0") {
    platform::Device::currentDevice()->setSystemVersion("8.1");
    auto view = GADAdView::init();
    view->loadHTMLString("<script>var got = null;function ZUDO_ReceiveMessage(n, d) { got = n + ':' + JSON.stringify(d); }</script>",
                         platform::URL::parse("https://ads.example/"));
    REQUIRE(runUntil([&] { return !view->isLoading(); }));
    auto handler = GADDefaultGMSGHandler::init();
    CHECK(handle(*handler, "gmsg://h/canOpenURLs?urls=https%3A%2F%2Fa.example%2F%2Cnope%3A%2F%2Fx", view));
    REQUIRE(runUntil([&] { return view->evaluate("got") != ""; }));
    auto answer = platform::parseJSON(view->evaluate("got").substr(std::string("openableURLs:").size()));
    REQUIRE(answer);
    CHECK(answer->size() == 2);
    CHECK((*answer)["nope://x"] == false);
}

TEST_CASE_FIXTURE(Harness, "GADDefaultGMSGHandler: vibrate plays the vibration, close in a banner does nothing") {
    platform::SystemSound::resetForTesting();
    auto handler = GADDefaultGMSGHandler::init();
    CHECK(handle(*handler, "gmsg://h/vibrate"));
    CHECK(platform::SystemSound::vibrationCount() == 1);
    CHECK(handle(*handler, "gmsg://h/close", GADAdView::init()));
    CHECK_FALSE(handle(*handler, "gmsg://h/unknown"));
}

TEST_CASE_FIXTURE(Harness, "GADDefaultGMSGHandler: a page's log text stays on one line with its controls escaped") {
    platform::LogCapture capture;
    auto handler = GADDefaultGMSGHandler::init();
    // A forged second line, a carriage return, a terminal colour, an 8-bit CSI (U+009B), a line
    // separator and a NUL; then plain text with a non-ASCII letter, which passes as it is.
    CHECK(handle(*handler, "gmsg://h/log?string=ok%0A%5Berror%5D%20%3CRuzave%3E%20forged%0D%1B%5B31mred%C2%9Bx%E2%80%A8y%00z"));
    CHECK(handle(*handler, "gmsg://h/log?string=caf%C3%A9%20%5C%20done"));
    ruzave::GADLoggingQueue()->sync([] {});
    const auto lines = capture.lines();
    REQUIRE(lines.size() == 2);
    CHECK(lines[0] == "ok\\n[error] <Ruzave> forged\\r\\x1b[31mred\\u009bx\\u2028y\\x00z");
    CHECK(lines[1] == "caf\xc3\xa9 \\ done");
}
