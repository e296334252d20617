#pragma once
// Lets a full-screen creative choose its own close button ("customClose" with "custom_close") and a
// transparent presentation ("setInterstitialProperties" with "transparentBackground"). Both act only
// on the full-screen ad controller that shows the ad; until that controller exists in this build the
// messages are taken (they are not announced to observers) and change nothing. Main thread.
#include <memory>
#include <optional>

#include "ads/render/GADGMSGHandler.h"

namespace ruzave {

class GADAdAppGMSGHandler : public GADGMSGHandler {
  public:
    static std::shared_ptr<GADAdAppGMSGHandler> init();

    const ActionBlockDictionary* actionBlockDictionary() const override;
    void configureCustomCloseButtonWithArguments(const Arguments& arguments);
    void updateInterstitialPropertiesWithArguments(const Arguments& arguments);

    // What the controller is to be told: custom close exactly for "custom_close" "1"; a transparent
    // presenter for "transparentBackground" "1", none for another value, no change when it is absent.
    static bool useCustomCloseFromArguments(const Arguments& arguments);
    static std::optional<bool> transparentBackgroundFromArguments(const Arguments& arguments);

  private:
    GADAdAppGMSGHandler() = default;
};

} // namespace ruzave
