#pragma once
// The handler every ad view has: tracking pings ("httpTrack"), logging ("log"), touch reports
// ("touch"), vibration ("vibrate"), which URLs can be opened ("canOpenURLs") and closing a full-screen
// ad ("close"). Main thread.
#include <cstdint>
#include <memory>
#include <string>

#include "ads/render/GADGMSGHandler.h"
#include "platform/base/Value.h"

namespace ruzave {

class GADDefaultGMSGHandler : public GADGMSGHandler {
  public:
    static std::shared_ptr<GADDefaultGMSGHandler> init();

    const ActionBlockDictionary* actionBlockDictionary() const override;

    // The value's integer reading (digits give their number, other text 0); the default when absent.
    static long long integerForKey(const std::string& key, const platform::Value& dictionary, long long defaultValue);

    void didReceiveTrackHTTPNotification(const Arguments& arguments);
    void didReceiveLogNotification(const Arguments& arguments);
    void didReceiveTouchNotification(const Arguments& arguments);
    void didReceiveVibrateNotification(const Arguments& arguments);
    void didReceiveCanOpenURLsNotification(const Arguments& arguments);
    // Only a full-screen ad controller closes; a banner has none, so nothing happens yet.
    void didReceiveCloseNotification(const Arguments& arguments);

  private:
    GADDefaultGMSGHandler() = default;
};

} // namespace ruzave
