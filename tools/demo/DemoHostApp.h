#pragma once
// The headless host app: launches the application, shows a window with a root view controller and
// places a 320x50 banner with the demo's ad unit, root view controller and delegate in the root view.
// Main thread.
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform {
class ViewController;
class Window;
} // namespace platform

namespace ruzave {
class GADBannerView;
class GADBannerViewDelegate;
} // namespace ruzave

namespace demo {

class DemoHostApp {
  public:
    // Told after each step of the launch, with what was done.
    using StepObserver = std::function<void(const std::string& step)>;

    // nullptr, with the reason in `why`, when the banner cannot be made.
    static std::unique_ptr<DemoHostApp> launch(const std::string& adUnitID,
                                               const std::shared_ptr<ruzave::GADBannerViewDelegate>& delegate,
                                               std::string* why = nullptr, const StepObserver& observer = {});
    ~DemoHostApp();

    // Sends loadRequest with a fresh request, as an app does.
    void loadAd();
    // One more 320x50 banner in the root view at `origin`, with its own ad unit and delegate (kept
    // alive by the app); nullptr when it cannot be made.
    std::shared_ptr<ruzave::GADBannerView> placeBanner(const std::string& adUnitID,
                                                       const std::shared_ptr<ruzave::GADBannerViewDelegate>& delegate,
                                                       float originY);

    const std::shared_ptr<ruzave::GADBannerView>& banner() const { return banner_; }
    const std::shared_ptr<platform::Window>& window() const { return window_; }
    const std::shared_ptr<platform::ViewController>& rootViewController() const { return root_; }

    DemoHostApp(const DemoHostApp&) = delete;
    DemoHostApp& operator=(const DemoHostApp&) = delete;

  private:
    DemoHostApp() = default;

    std::shared_ptr<platform::Window> window_;
    std::shared_ptr<platform::ViewController> root_;
    std::shared_ptr<ruzave::GADBannerView> banner_;
    // The banner holds its delegate weakly; the app keeps it alive.
    std::shared_ptr<ruzave::GADBannerViewDelegate> delegate_;
    std::vector<std::shared_ptr<ruzave::GADBannerView>> moreBanners_;
    std::vector<std::shared_ptr<ruzave::GADBannerViewDelegate>> moreDelegates_;
};

} // namespace demo
