#pragma once
// "video": the page's inline video, driven by "action" ("new", "position", "src", "load", "play",
// "pause", "volume", "muted", "currentTime", "hide", "show") on the ad view the message came from.
// Missing or unreadable arguments do nothing. Main thread.
#include <memory>

#include "ads/render/GADGMSGHandler.h"

namespace ruzave {

class GADAdViewDelegate;

class GADVideoPlayerGMSGHandler : public GADGMSGHandler {
  public:
    static std::shared_ptr<GADVideoPlayerGMSGHandler> init();

    const ActionBlockDictionary* actionBlockDictionary() const override;
    const ActionBlockDictionary* subActionBlockDictionary() const override;

    void didReceiveVideoAction(const Arguments& arguments);
    void didReceiveNewVideoAction(const Arguments& arguments);
    void didReceivePositionVideoAction(const Arguments& arguments);
    void didReceiveSetVideoSourceAction(const Arguments& arguments);
    void didReceivePlayVideoAction(const Arguments& arguments);
    void didReceivePauseVideoAction(const Arguments& arguments);
    void didReceiveSetVolumeAction(const Arguments& arguments);
    void didReceiveMutedVideoAction(const Arguments& arguments);
    void didReceiveSeekToCurrentTimeAction(const Arguments& arguments);
    void didReceiveHideVideoAction(const Arguments& arguments);
    void didReceiveShowVideoAction(const Arguments& arguments);

    std::weak_ptr<GADAdViewDelegate> adViewDelegate;

  private:
    GADVideoPlayerGMSGHandler() = default;
};

} // namespace ruzave
