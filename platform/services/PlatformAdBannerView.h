#pragma once
// The platform ad network's banner. It starts loading when made; the network is simulated: each load takes
// the next outcome tests scripted (unscripted loads fail with "inventory unavailable"), delivered on the
// main loop after its virtual delay. Sized by ad type and, on the older interface, by content size
// identifiers. Main thread.
#include <deque>
#include <memory>
#include <set>
#include <string>

#include "platform/services/PlatformAdBannerViewDelegate.h"
#include "platform/services/PlatformAdOutcome.h"
#include "platform/ui/View.h"

namespace platform {

class PlatformAdBannerView : public View {
public:
    enum AdType { Banner = 0, MediumRectangle = 1 };
    static constexpr const char* contentSizeIdentifierPortrait = "PlatformAdBannerContentSizeIdentifierPortrait";
    static constexpr const char* contentSizeIdentifierLandscape = "PlatformAdBannerContentSizeIdentifierLandscape";

    // A banner-type view with both content size identifiers, sized as portrait.
    static std::shared_ptr<PlatformAdBannerView> create(Rect frame = Rect::zero());
    // nullptr on a platform too old to make banners by ad type (see setAdTypeInitializerAvailableForTesting).
    static std::shared_ptr<PlatformAdBannerView> initWithAdType(AdType type);
    static bool adTypeInitializerAvailable();

    AdType adType() const { return adType_; }
    void setDelegate(std::weak_ptr<PlatformAdBannerViewDelegate> d) { delegate_ = std::move(d); }
    std::weak_ptr<PlatformAdBannerViewDelegate> delegate() const { return delegate_; }
    bool isBannerLoaded() const { return loaded_; }
    bool isBannerViewActionInProgress() const { return actionInProgress_; }
    // Ends an action in progress; the delegate hears that it finished.
    void cancelBannerViewAction();

    const std::set<std::string>& requiredContentSizeIdentifiers() const { return required_; }
    void setRequiredContentSizeIdentifiers(std::set<std::string> ids) { required_ = std::move(ids); }
    const std::string& currentContentSizeIdentifier() const { return current_; }
    // Resizes the view to the identifier's size; unknown identifiers are ignored.
    void setCurrentContentSizeIdentifier(const std::string& identifier);
    // The point size of a content size identifier on this device; zero for an unknown one.
    static Size sizeFromBannerContentSizeIdentifier(const std::string& identifier);

    // Medium rectangles are 300 x 250; banners take the given width (the screen's when it is not usable)
    // and the network's height for it: 50 on phones below 480 points wide, 32 from 480, 66 on tablets.
    Size sizeThatFits(Size size) const override;

    // Tests: appends an outcome for the next load of any banner.
    static void script(const PlatformAdOutcome& outcome);
    static void clearScriptForTesting();
    static void setAdTypeInitializerAvailableForTesting(bool available);
    // Tests: the user taps the ad. Returns whether an action began (loaded, none in progress, delegate agreed).
    bool tapForTesting(bool willLeaveApplication);
    // Tests: the ad's full-screen action ends.
    void finishActionForTesting() { cancelBannerViewAction(); }
    // Tests: the network rotates to another ad (takes the next outcome).
    void loadNextForTesting() { startLoad(); }

protected:
    PlatformAdBannerView(Rect frame, AdType type);

private:
    void startLoad();
    void deliver(const PlatformAdOutcome& outcome, unsigned long cycle);

    AdType adType_;
    std::weak_ptr<PlatformAdBannerViewDelegate> delegate_;
    bool loaded_ = false;
    bool actionInProgress_ = false;
    std::set<std::string> required_;
    std::string current_;
    unsigned long cycle_ = 0;
};

} // namespace platform
