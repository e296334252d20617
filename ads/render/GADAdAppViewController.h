#pragma once
// A full-screen ad page: an ad view filling the screen with a close button (hidden, or an invisible
// tap area for MRAID ads, when the ad draws its own). The view is configured on its first
// appearance; content handed over earlier waits for it. Main thread.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "ads/render/GADViewController.h"
#include "platform/base/URL.h"

namespace platform {
class Button;
} // namespace platform

namespace ruzave {

class GADAdAppAdViewDelegate;
class GADAdView;

class GADAdAppViewController : public GADViewController {
  public:
    static constexpr const char* kCloseButtonAccessibilityLabel = "Close Advertisement";
    static constexpr float kCloseButtonSide = 32;

    // A null ad view makes a new one shown by this controller.
    static std::shared_ptr<GADAdAppViewController> initWithAdView(const std::shared_ptr<GADAdView>& adView);
    static std::shared_ptr<GADAdAppViewController> init() { return initWithAdView(nullptr); }
    ~GADAdAppViewController() override;

    void load(const std::optional<platform::URL>& url);
    void loadHTML(const std::optional<std::string>& html, const std::optional<platform::URL>& baseURL);
    void setUseCustomClose(bool useCustomClose);
    void setCustomClosePosition(std::int32_t position);
    virtual bool isLoaded() const;
    void closeButtonPressed();
    bool shouldDismissOnApplicationEnteringForeground() override;

    std::shared_ptr<GADAdView> adView() const { return adView_; }
    std::shared_ptr<GADAdAppAdViewDelegate> adViewDelegate() const { return adViewDelegate_; }
    std::shared_ptr<platform::Button> closeButton() const { return closeButton_; }
    bool useCustomClose() const { return useCustomClose_; }
    std::int32_t customClosePosition() const { return customClosePosition_; }
    bool viewHasAppeared() const { return viewHasAppeared_; }

    void viewWillAppear(bool animated) override;
    void viewDidAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;
    void viewWillLayoutSubviews() override;
    void viewChangedToOrientation(platform::InterfaceOrientation orientation) override;

  protected:
    GADAdAppViewController() = default;
    void setUp(const std::shared_ptr<GADAdView>& adView);
    // The ad's release ends the page shown here.
    void didAbandonScreen() override;
    virtual void configureView();
    void updateCloseButtonVisibilityAndImage();
    void positionMRAIDCloseButton();
    void dropAdView() { adView_.reset(); }

  private:
    bool isMRAIDAd() const;
    // Tells the slot's MRAID creative whether this screen shows.
    void updateMRAIDVisibility(bool visible);

    std::shared_ptr<GADAdView> adView_;
    std::shared_ptr<GADAdAppAdViewDelegate> adViewDelegate_;
    std::shared_ptr<platform::Button> closeButton_;
    bool useCustomClose_ = false;
    std::int32_t customClosePosition_ = 0;
    bool viewHasAppeared_ = false;
    std::optional<platform::URL> URLToLoad_;
    std::optional<std::string> HTMLToLoad_;
    std::optional<platform::URL> HTMLBaseURLToLoad_;
};

} // namespace ruzave
