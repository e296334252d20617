#pragma once
// The interstitial side of the platform ad network adapter: loads the platform's full-screen ad and
// reports its life to the connector, naming the front adapter. Before OS 7 only tablets get one, and
// the platform presents it itself; from OS 7 on it shows inside a view controller of ours that adds a
// close button. Main thread.
#include <memory>
#include <optional>
#include <string>

#include "platform/services/PlatformAdInterstitial.h"
#include "platform/services/PlatformAdInterstitialDelegate.h"
#include "platform/ui/ViewController.h"

namespace platform {
class Button;
class Image;
class View;
} // namespace platform

namespace ruzave {

class GADMAdNetworkAdapter;
class GADMAdNetworkConnector;

// The close image, built from PNG data kept in the program, once per process.
class GADMAdapterIAdIntrinsicImages {
  public:
    static GADMAdapterIAdIntrinsicImages& sharedInstance();
    std::shared_ptr<platform::Image> closeButton();
    // The first text on a screen of scale 1, else the second.
    static std::string chooseImage(const std::string& single, const std::string& doubleDensity);
    // Base64 PNG data as an image of the screen's scale, upright; nullptr for unreadable data.
    static std::shared_ptr<platform::Image> imageWithBase64EncodedString(const std::string& text);

  private:
    std::shared_ptr<platform::Image> closeButton_;
};

// Shows a platform interstitial full screen with a close button at the top left.
class GADMAdapterIAdInterstitialViewController : public platform::ViewController {
  public:
    static constexpr float kCloseButtonSize = 50;
    static std::shared_ptr<GADMAdapterIAdInterstitialViewController> init();

    void presentInterstitial(const std::shared_ptr<platform::PlatformAdInterstitial>& interstitialAd,
                             const std::shared_ptr<platform::ViewController>& rootViewController);
    void viewWillAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;
    // The close button's action: the shown ad's delegate hears that its action finished, on the next turn.
    void interstitialAdActionDidFinish();

    std::shared_ptr<platform::Button> closeButton() const { return closeButton_; }
    std::shared_ptr<platform::View> iAdInterstitialView() const { return iAdInterstitialView_; }

  private:
    GADMAdapterIAdInterstitialViewController() = default;
    std::shared_ptr<platform::Button> closeButton_;
    std::shared_ptr<platform::PlatformAdInterstitial> interstitialAd_;
    std::shared_ptr<platform::View> iAdInterstitialView_;
};

class GADMAdapterIAdInterstitial : public platform::PlatformAdInterstitialDelegate,
                                   public std::enable_shared_from_this<GADMAdapterIAdInterstitial> {
  public:
    static constexpr const char* kPreIOS7PhoneMessage = "Only iPad interstitial ads are available in pre-iOS 7.";
    static constexpr const char* kUnloadedBeforeShownMessage =
        "The interstitial ad was unloaded before it was shown.";

    static bool currentPlatformIsSupported();
    GADMAdapterIAdInterstitial() = default;
    ~GADMAdapterIAdInterstitial() override;

    void initWithGADMAdNetworkConnector(const std::shared_ptr<GADMAdNetworkConnector>& connector,
                                        const std::shared_ptr<GADMAdNetworkAdapter>& adapter);
    void getInterstitial();
    void stopBeingDelegate();
    // Nothing happens without a loaded interstitial.
    void presentInterstitialFromRootViewController(const std::shared_ptr<platform::ViewController>& root);

    std::shared_ptr<platform::PlatformAdInterstitial> iAdInterstitial() const { return iAdInterstitial_; }
    std::shared_ptr<GADMAdapterIAdInterstitialViewController> interstitialPresentationViewController() const {
        return presentationViewController_;
    }

    // --- platform::PlatformAdInterstitialDelegate.
    void interstitialAdDidLoad(platform::PlatformAdInterstitial& ad) override;
    void interstitialAdDidUnload(platform::PlatformAdInterstitial& ad) override;
    void interstitialAdDidFailWithError(platform::PlatformAdInterstitial& ad, const platform::Error& error) override;
    bool interstitialAdActionShouldBegin(platform::PlatformAdInterstitial& ad, bool willLeaveApplication) override;
    void interstitialAdActionDidFinish(platform::PlatformAdInterstitial& ad) override;

  private:
    bool isCurrent(const platform::PlatformAdInterstitial& ad) const { return iAdInterstitial_.get() == &ad; }
    // Ends the shown ad: dismisses our controller, reports the dismissal, drops the ad.
    void finish();
    void drop();

    std::shared_ptr<platform::PlatformAdInterstitial> iAdInterstitial_;
    std::shared_ptr<GADMAdapterIAdInterstitialViewController> presentationViewController_;
    std::weak_ptr<GADMAdNetworkAdapter> adapter_;
    std::weak_ptr<GADMAdNetworkConnector> connector_;
    bool presented_ = false;
};

} // namespace ruzave
