#include <doctest/doctest.h>

#include <string>

#include "ads/render/GADAdAppGMSGHandler.h"
#include "ads/render/GADNotification.h"
#include "platform/base/URL.h"

TEST_CASE("GADAdAppGMSGHandler: the full-screen messages' settings are read as the controller will take them") {
    using H = ruzave::GADAdAppGMSGHandler;
    auto args = [](const std::string& url) {
        return ruzave::GADGMSGHandler::Arguments{nullptr, ruzave::GADNotification::initWithNotificationURL(*platform::URL::parse(url))};
    };
    CHECK(H::useCustomCloseFromArguments(args("gmsg://h/customClose?custom_close=1")));
    CHECK_FALSE(H::useCustomCloseFromArguments(args("gmsg://h/customClose?custom_close=true")));
    CHECK_FALSE(H::useCustomCloseFromArguments(args("gmsg://h/customClose")));
    CHECK(H::transparentBackgroundFromArguments(args("gmsg://h/setInterstitialProperties?transparentBackground=1")) == true);
    CHECK(H::transparentBackgroundFromArguments(args("gmsg://h/setInterstitialProperties?transparentBackground=0")) == false);
    CHECK_FALSE(H::transparentBackgroundFromArguments(args("gmsg://h/setInterstitialProperties")).has_value());
    auto handler = H::init();
    CHECK(handler->handleNotification(args("gmsg://h/customClose?custom_close=1").note, nullptr));
    CHECK_FALSE(handler->handleNotification(args("gmsg://h/close").note, nullptr));
}
