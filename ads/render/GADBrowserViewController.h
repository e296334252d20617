#pragma once
// The in-app browser: a full-screen controller with a web view for a landing page and a toolbar with
// back, forward, reload (a spinner while loading), open in the system browser, and done. The page runs
// through a browser ad-view delegate, so its load times and link clicks land in the ad's statistics.
// Main thread.
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "ads/render/GADViewController.h"
#include "platform/base/URL.h"

namespace platform {
class ActivityIndicator;
class BarButtonItem;
class Image;
class Toolbar;
} // namespace platform

namespace ruzave {

class GADAdView;
class GADAdViewDelegate;

class GADBrowserViewController : public GADViewController {
  public:
    static constexpr float kToolbarHeight = 44;
    static constexpr float kLandscapePhoneToolbarHeight = 30;
    static constexpr float kButtonWidth = 27;
    static constexpr float kSpinnerSide = 20;

    static std::shared_ptr<GADBrowserViewController> init();
    ~GADBrowserViewController() override;

    // Loads `url` with the referring URL's host as "Referer"; kept for the first appearance when the web
    // view does not exist yet. Nothing for no URL.
    void load(const std::optional<platform::URL>& url, const std::optional<platform::URL>& referringURL);
    void back();
    void forward();
    void stop();
    void reload();
    // Leaves the app for the page shown, through an opener of its own (confirmation and click bookkeeping
    // apply), and marks the ad's statistics.
    void openInSafari();
    void doneButtonPressed();
    void refreshToolbar();
    void createToolbarButtons();
    std::shared_ptr<platform::BarButtonItem> buttonWithImage(const std::shared_ptr<platform::Image>& image,
                                                             const std::string& name, float width,
                                                             bool enabled,
                                                             void (GADBrowserViewController::*action)());

    const std::optional<platform::URL>& URLToLoad() const { return URLToLoad_; }
    const std::optional<platform::URL>& referringURLToLoad() const { return referringURLToLoad_; }
    std::shared_ptr<GADAdViewDelegate> adViewDelegate() const { return adViewDelegate_; }
    std::shared_ptr<GADAdView> adView() const { return adView_; }
    std::shared_ptr<platform::Toolbar> toolbar() const { return toolbar_; }
    std::shared_ptr<platform::BarButtonItem> backButton() const { return backButton_; }
    std::shared_ptr<platform::BarButtonItem> forwardButton() const { return forwardButton_; }
    std::shared_ptr<platform::BarButtonItem> reloadButton() const { return reloadButton_; }
    std::shared_ptr<platform::BarButtonItem> safariButton() const { return safariButton_; }
    std::shared_ptr<platform::BarButtonItem> doneButton() const { return doneButton_; }
    std::shared_ptr<platform::BarButtonItem> spinnerContainingButton() const {
        return spinnerContainingButton_;
    }
    std::shared_ptr<platform::ActivityIndicator> spinner() const { return spinner_; }

    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void viewChangedToOrientation(platform::InterfaceOrientation orientation) override;

  protected:
    // The ad's release ends the page shown here.
    void didAbandonScreen() override;

  private:
    GADBrowserViewController() = default;
    std::function<void(platform::BarButtonItem&)> action(void (GADBrowserViewController::*method)());

    std::optional<platform::URL> URLToLoad_;
    std::optional<platform::URL> referringURLToLoad_;
    std::shared_ptr<GADAdViewDelegate> adViewDelegate_;
    std::shared_ptr<GADAdView> adView_;
    std::shared_ptr<platform::Toolbar> toolbar_;
    std::shared_ptr<platform::BarButtonItem> flexibleSpaceButton_;
    std::shared_ptr<platform::BarButtonItem> backButton_;
    std::shared_ptr<platform::BarButtonItem> forwardButton_;
    std::shared_ptr<platform::BarButtonItem> reloadButton_;
    std::shared_ptr<platform::BarButtonItem> safariButton_;
    std::shared_ptr<platform::BarButtonItem> doneButton_;
    std::shared_ptr<platform::BarButtonItem> spinnerContainingButton_;
    std::shared_ptr<platform::ActivityIndicator> spinner_;
};

} // namespace ruzave
