#include "ads/render/GADVideoPlayerGMSGHandler.h"

#include <cmath>

#include "ads/render/GADAdView.h"
#include "ads/render/GADNotification.h"
#include "ads/render/GADVideoPlayer.h"

namespace ruzave {
namespace {

std::optional<std::string> param(const GADGMSGHandler::Arguments& a, const char* key) {
    return a.note ? a.note->parameter(key) : std::nullopt;
}

std::shared_ptr<GADVideoPlayer> playerOf(const GADGMSGHandler::Arguments& a) {
    return a.adView ? a.adView->videoPlayer() : nullptr;
}

template <void (GADVideoPlayerGMSGHandler::*Method)(const GADGMSGHandler::Arguments&)>
void call(GADGMSGHandler& h, const GADGMSGHandler::Arguments& a) {
    (static_cast<GADVideoPlayerGMSGHandler&>(h).*Method)(a);
}

} // namespace

std::shared_ptr<GADVideoPlayerGMSGHandler> GADVideoPlayerGMSGHandler::init() {
    return std::shared_ptr<GADVideoPlayerGMSGHandler>(new GADVideoPlayerGMSGHandler());
}

const GADGMSGHandler::ActionBlockDictionary* GADVideoPlayerGMSGHandler::actionBlockDictionary() const {
    static const ActionBlockDictionary table = {{"video", call<&GADVideoPlayerGMSGHandler::didReceiveVideoAction>}};
    return &table;
}

const GADGMSGHandler::ActionBlockDictionary* GADVideoPlayerGMSGHandler::subActionBlockDictionary() const {
    using H = GADVideoPlayerGMSGHandler;
    static const ActionBlockDictionary table = {
        {"new", call<&H::didReceiveNewVideoAction>},
        {"position", call<&H::didReceivePositionVideoAction>},
        {"src", call<&H::didReceiveSetVideoSourceAction>},
        {"load", [](GADGMSGHandler&, const Arguments& a) {
             if (auto player = playerOf(a)) player->load();
         }},
        {"play", call<&H::didReceivePlayVideoAction>},
        {"pause", call<&H::didReceivePauseVideoAction>},
        {"volume", call<&H::didReceiveSetVolumeAction>},
        {"muted", call<&H::didReceiveMutedVideoAction>},
        {"currentTime", call<&H::didReceiveSeekToCurrentTimeAction>},
        {"hide", call<&H::didReceiveHideVideoAction>},
        {"show", call<&H::didReceiveShowVideoAction>},
    };
    return &table;
}

void GADVideoPlayerGMSGHandler::didReceiveVideoAction(const Arguments& arguments) {
    dispatchSubAction("action", arguments);
}

void GADVideoPlayerGMSGHandler::didReceiveNewVideoAction(const Arguments& arguments) {
    didReceivePositionVideoAction(arguments);
    if (arguments.adView && !arguments.adView->videoPlayer()) arguments.adView->setUpVideoPlayerWithURL(std::nullopt);
}

void GADVideoPlayerGMSGHandler::didReceivePositionVideoAction(const Arguments& arguments) {
    if (!arguments.adView) return;
    auto x = param(arguments, "x"), y = param(arguments, "y"), w = param(arguments, "w"), h = param(arguments, "h");
    platform::Rect frame = platform::Rect::zero();
    if (x && y && w && h) {
        float values[4] = {static_cast<float>(platform::doubleValue(*x)), static_cast<float>(platform::doubleValue(*y)),
                           static_cast<float>(platform::doubleValue(*w)), static_cast<float>(platform::doubleValue(*h))};
        bool finite = true;
        for (float v : values) finite = finite && std::isfinite(v);
        // A frame that is not finite would poison layout: the video fills the view instead.
        if (finite) frame = platform::Rect(values[0], values[1], values[2], values[3]);
    }
    arguments.adView->setCachedVideoPlayerFrame(frame);
}

void GADVideoPlayerGMSGHandler::didReceiveSetVideoSourceAction(const Arguments& arguments) {
    if (!arguments.adView) return;
    auto src = param(arguments, "src");
    std::optional<platform::URL> url = src ? platform::URL::parse(*src) : std::nullopt;
    arguments.adView->setUpVideoPlayerWithURL(url);
}

void GADVideoPlayerGMSGHandler::didReceivePlayVideoAction(const Arguments& arguments) {
    if (auto player = playerOf(arguments)) player->play();
}

void GADVideoPlayerGMSGHandler::didReceivePauseVideoAction(const Arguments& arguments) {
    if (auto player = playerOf(arguments)) player->pause();
}

void GADVideoPlayerGMSGHandler::didReceiveSetVolumeAction(const Arguments& arguments) {
    auto player = playerOf(arguments);
    auto volume = param(arguments, "volume");
    if (player && volume) player->setVolume(static_cast<float>(platform::doubleValue(*volume)));
}

void GADVideoPlayerGMSGHandler::didReceiveMutedVideoAction(const Arguments& arguments) {
    auto player = playerOf(arguments);
    auto muted = param(arguments, "muted");
    if (player && muted) player->setMuted(platform::boolValue(*muted));
}

void GADVideoPlayerGMSGHandler::didReceiveSeekToCurrentTimeAction(const Arguments& arguments) {
    auto player = playerOf(arguments);
    if (!player) return;
    auto time = param(arguments, "time");
    player->seekToTime(time ? platform::doubleValue(*time) : 0.0);
}

void GADVideoPlayerGMSGHandler::didReceiveHideVideoAction(const Arguments& arguments) {
    if (arguments.adView) arguments.adView->hideVideo();
}

void GADVideoPlayerGMSGHandler::didReceiveShowVideoAction(const Arguments& arguments) {
    if (arguments.adView) arguments.adView->showVideo();
}

} // namespace ruzave
