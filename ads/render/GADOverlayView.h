#pragma once
// Lays a second HTML page over an ad's main page and carries messages between the two: the main page
// asks for it with "loadHtml", "showOverlay", "hideOverlay" and "sendMessageToNativeJs"; the overlay
// page answers with "hideOverlay" and "sendMessageToSdk". Main thread.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/Value.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/ui/View.h"

namespace ruzave {

class GADAdView;
class GADAdViewDelegate;

class GADOverlayView : public platform::View {
  public:
    static std::shared_ptr<GADOverlayView> initWithFrame(platform::Rect frame);
    ~GADOverlayView() override;

    std::shared_ptr<GADAdView> adView() const { return adView_; }
    // Another main ad view drops the overlay page, hides the view and moves the observations.
    void setAdView(const std::shared_ptr<GADAdView>& adView);
    std::shared_ptr<GADAdView> overlayView() const { return overlayView_; }
    const std::optional<std::string>& overlayIdentifier() const { return overlayIdentifier_; }

    void addOverlaySubview();
    void removeOverlaySubview();
    // "overlayHtml" with "baseUrl" (default "about:blank") and "id".
    void loadOverlayWithUserInfo(const platform::Value& userInfo);
    void sendMessageToOverlayWithUserInfo(const platform::Value& userInfo);
    void sendMessageToAdViewWithUserInfo(const platform::Value& userInfo);

  private:
    class OverlayDelegate;
    explicit GADOverlayView(platform::Rect frame) : platform::View(frame) {}
    void overlayDidFinishLoad(const std::shared_ptr<GADAdView>& view);
    void overlayDidFailLoad(const std::shared_ptr<GADAdView>& view);
    void observeAdView();
    void stopObservingAdView();

    std::shared_ptr<GADAdView> adView_;
    std::shared_ptr<GADAdView> overlayView_;
    std::shared_ptr<OverlayDelegate> overlayDelegate_;
    std::optional<platform::Value> loadOverlayUserInfo_;
    std::optional<std::string> overlayIdentifier_;
    std::vector<platform::NotificationCenter::Token> adViewObservers_;
    std::vector<platform::NotificationCenter::Token> overlayObservers_;
};

} // namespace ruzave
