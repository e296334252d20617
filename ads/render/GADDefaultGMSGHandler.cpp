#include "ads/render/GADDefaultGMSGHandler.h"

#include <climits>

#include "ads/core/signals/GADDevice.h"
#include "ads/core/signals/GADGestureModule.h"
#include "ads/core/util/GADLog.h"
#include "ads/render/GADAdView.h"
#include "ads/render/GADClickTrackerCollection.h"
#include "ads/render/GADNotification.h"
#include "platform/base/Log.h"
#include "ads/render/GADViewController.h"
#include "platform/base/Strings.h"
#include "platform/runloop/MainLoop.h"
#include "platform/services/SystemSound.h"

namespace ruzave {
namespace {

template <void (GADDefaultGMSGHandler::*Method)(const GADGMSGHandler::Arguments&)>
void send(GADGMSGHandler& handler, const GADGMSGHandler::Arguments& arguments) {
    (static_cast<GADDefaultGMSGHandler&>(handler).*Method)(arguments);
}

int clampedInt(long long value) {
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

} // namespace

std::shared_ptr<GADDefaultGMSGHandler> GADDefaultGMSGHandler::init() {
    return std::shared_ptr<GADDefaultGMSGHandler>(new GADDefaultGMSGHandler());
}

const GADGMSGHandler::ActionBlockDictionary* GADDefaultGMSGHandler::actionBlockDictionary() const {
    static const ActionBlockDictionary table = {
        {"httpTrack", send<&GADDefaultGMSGHandler::didReceiveTrackHTTPNotification>},
        {"log", send<&GADDefaultGMSGHandler::didReceiveLogNotification>},
        {"touch", send<&GADDefaultGMSGHandler::didReceiveTouchNotification>},
        {"vibrate", send<&GADDefaultGMSGHandler::didReceiveVibrateNotification>},
        {"canOpenURLs", send<&GADDefaultGMSGHandler::didReceiveCanOpenURLsNotification>},
        {"close", send<&GADDefaultGMSGHandler::didReceiveCloseNotification>},
    };
    return &table;
}

long long GADDefaultGMSGHandler::integerForKey(const std::string& key, const platform::Value& dictionary,
                                               long long defaultValue) {
    if (!dictionary.is_object()) return defaultValue;
    auto it = dictionary.find(key);
    if (it == dictionary.end()) return defaultValue;
    if (it->is_string()) return platform::integerValue(it->get<std::string>());
    if (it->is_number_integer()) return it->get<long long>();
    if (it->is_number()) return static_cast<long long>(it->get<double>());
    if (it->is_boolean()) return it->get<bool>() ? 1 : 0;
    return defaultValue;
}

void GADDefaultGMSGHandler::didReceiveTrackHTTPNotification(const Arguments& arguments) {
    if (!arguments.note) return;
    auto text = arguments.note->parameter("u");
    if (!text) return;
    // The creative's own tracking: its page's load, never the app's.
    auto page = arguments.adView ? arguments.adView->webView() : nullptr;
    if (auto url = GADPageURL::parse(*text, page)) GADClickTrackerCollection::sharedInstance()->trackURLForPage(*url);
}

void GADDefaultGMSGHandler::didReceiveLogNotification(const Arguments& arguments) {
    if (!arguments.note) return;
    // The text is the page's: it must not start lines of its own or reach the terminal as escapes.
    GADLog("%s", platform::escapeLogText(arguments.note->parameter("string").value_or("(null)")).c_str());
}

void GADDefaultGMSGHandler::didReceiveTouchNotification(const Arguments& arguments) {
    platform::Value parameters = arguments.parameters();
    int x = clampedInt(integerForKey("tx", parameters, -1));
    int y = clampedInt(integerForKey("ty", parameters, -1));
    int duration = clampedInt(integerForKey("td", parameters, -1));
    platform::MainLoop::main().post([x, y, duration] { GADGestureModuleRecordTouch(x, y, duration); });
}

void GADDefaultGMSGHandler::didReceiveVibrateNotification(const Arguments&) {
    platform::SystemSound::vibrate();
}

void GADDefaultGMSGHandler::didReceiveCanOpenURLsNotification(const Arguments& arguments) {
    if (!arguments.note || !arguments.adView) return;
    std::vector<std::string> urls = platform::split(arguments.note->parameter("urls").value_or(""), ",");
    std::weak_ptr<GADAdView> weakView = arguments.adView;
    platform::MainLoop::main().post([urls, weakView] {
        auto answer = GADDevice::sharedInstance()->canOpenURLs(urls);
        if (auto view = weakView.lock()) view->postJSNotification("openableURLs", answer);
    });
}

void GADDefaultGMSGHandler::didReceiveCloseNotification(const Arguments& arguments) {
    // An ad on a full screen of its own gives it up; a banner in its place has nothing to close. The ad's
    // close is not the user's: a tap the user gave it and that opened nothing yet stays theirs.
    auto controller = arguments.adView ? std::dynamic_pointer_cast<GADViewController>(arguments.adView->viewController())
                                       : nullptr;
    if (controller && controller->retainCycle()) controller->relinquishScreenWithCompletion(nullptr);
}

} // namespace ruzave
