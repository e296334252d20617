#pragma once
// Serves the MRAID calls an ad's MRAID script sends: resize, store a picture, create a calendar event,
// set orientation properties, and the signal that the script has loaded. Shares its ad-view
// delegate's opener. At most one picture's permission alert is up at a time. Errors reach the ad as
// "onError" through the slot. Main thread.
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "ads/render/GADGMSGHandler.h"
#include "ads/render/GADMRAIDPicture.h"

namespace ruzave {

class GADOpener;

// YES when bit (1 << orientation) is set in the mask; orientations of 32 or more (and negative ones)
// give NO.
bool GADOrientationMaskContainsOrientation(std::uint32_t mask, long orientation);

class GADMRAIDGMSGHandler : public GADGMSGHandler, public GADMRAIDPictureDelegate {
  public:
    static constexpr const char* kPictureInitFailed = "Could not initialize picture download.";
    static constexpr const char* kInvalidOrientationProperties = "Received invalid orientation properties";

    static std::shared_ptr<GADMRAIDGMSGHandler> initWithOpener(const std::shared_ptr<GADOpener>& opener) {
        return std::shared_ptr<GADMRAIDGMSGHandler>(new GADMRAIDGMSGHandler(opener));
    }
    const ActionBlockDictionary* actionBlockDictionary() const override;
    const ActionBlockDictionary* subActionBlockDictionary() const override;
    std::shared_ptr<GADOpener> opener() const { return opener_; }
    std::size_t pendingPictureDownloadCount() const { return pendingPictureDownloads_.size(); }

    void didReceiveMRAIDNotification(const Arguments& arguments);
    void didReceiveMRAIDLoadNotification(const Arguments& arguments);
    void actionResize(const Arguments& arguments);
    void actionStorePicture(const Arguments& arguments);
    void actionCreateCalendarEvent(const Arguments& arguments);
    void actionSetOrientationProperties(const Arguments& arguments);

    void MRAIDPictureDidStorePictureWithURL(GADMRAIDPicture& picture, const platform::URL& url) override;
    void MRAIDPictureFailedToStorePictureWithURL(GADMRAIDPicture& picture, const std::optional<platform::URL>& url,
                                                 const std::string& message) override;

  private:
    explicit GADMRAIDGMSGHandler(const std::shared_ptr<GADOpener>& opener) : opener_(opener) {}
    void reportError(const std::string& message, const std::string& action);
    // Whether a picture's permission alert is on screen (pictures past it are downloading).
    bool pictureAlertShowing() const;
    // A picture whose alert was cancelled is forgotten, so the ad may ask again.
    struct PictureWatch;

    std::shared_ptr<GADOpener> opener_;
    std::map<std::string, std::shared_ptr<GADMRAIDPicture>> pendingPictureDownloads_;
    std::map<std::string, std::shared_ptr<PictureWatch>> pictureWatches_;
};

} // namespace ruzave
