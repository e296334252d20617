#pragma once
// An ad view's delegate and the router of its script bridge: decides for each navigation of the page
// whether it loads or the SDK takes it (script messages to the handler list in order, clicks to the
// opener), and posts a message that no handler takes as a notification named after it, with the ad
// view as object. Messages of one view are parsed on the router's serial queue and handled on the
// main thread one at a time, in the order the page sent them; before a finished or failed page load
// is handled, every message the page sent before it has reached the handlers. Main thread (the parse
// queue is private).
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

#include "ads/render/GADMRAIDScriptKind.h"
#include "platform/base/Error.h"
#include "platform/base/URL.h"
#include "platform/net/URLRequest.h"
#include "platform/ui/Geometry.h"
#include "platform/web/WebViewNavigationType.h"

namespace platform {
class DispatchQueue;
} // namespace platform

namespace ruzave {

class GADAdView;
class GADGMSGHandler;
class GADNotification;
class GADOpener;

class GADAdViewDelegate : public std::enable_shared_from_this<GADAdViewDelegate> {
  public:
    static constexpr unsigned kAllInterfaceOrientations = 30;

    static std::shared_ptr<GADAdViewDelegate> init();
    virtual ~GADAdViewDelegate();

    // adView:shouldStartLoadWithRequest:navigationType:; nullopt lets the load go ahead.
    virtual std::optional<bool> adView(const std::shared_ptr<GADAdView>& adView, const platform::URLRequest& request,
                                       platform::WebViewNavigationType navigationType);
    virtual void adViewDidStartLoad(const std::shared_ptr<GADAdView>& adView);
    // Tells the page the status bar's orientation, then marks the first load.
    virtual void adViewDidFinishLoad(const std::shared_ptr<GADAdView>& adView);
    // adView:didFailLoadWithError:
    virtual void adView(const std::shared_ptr<GADAdView>& adView, const platform::Error& error);
    // adView:contentSizeDidChange:
    virtual void adView(const std::shared_ptr<GADAdView>& adView, platform::Size contentSize);
    // Which MRAID script pages of views with this delegate get; read on the main thread.
    virtual GADMRAIDScriptKind MRAIDScriptKind() const { return GADMRAIDScriptKind::ExpandedBanner; }

    std::shared_ptr<GADOpener> opener() const { return opener_; }
    void setOpener(const std::shared_ptr<GADOpener>& opener) { opener_ = opener; }
    const std::vector<std::shared_ptr<GADGMSGHandler>>& gmsgHandlers() const { return gmsgHandlers_; }
    void addGMSGHandler(const std::shared_ptr<GADGMSGHandler>& handler);
    bool hasLoadedAtLeastOnce() const { return hasLoadedAtLeastOnce_; }

    // Parses one message on the router's queue and offers it to the handlers on the main thread.
    void handleGMSGURL(const platform::URL& url, const std::shared_ptr<GADAdView>& adView);
    // Hands every message still in flight to the handlers now, in order (those not parsed yet are
    // parsed here), then lets the handlers finish the work they deferred to a later turn. The ad view
    // calls it before it reports a finished or failed load, so what the page said while loading
    // (say, "delayPageLoaded") is known when its load ends.
    virtual void deliverPendingMessages();
    std::size_t pendingMessageCount() const { return pendingMessages_.size(); }
    // "deeplink+://navigate?primaryUrl=...": the app when it can be opened, else the fallback; the
    // matching trackers are pinged only once the open has really been performed.
    void handleDeeplinkPlusURL(const platform::URL& url);

  protected:
    // Where the router sent a navigation: `answer` as adView() gives it, and whether the SDK took the
    // URL over (to the opener or as a script message), which then owns any click it makes.
    struct Routing {
        std::optional<bool> answer;
        bool takenOver = false;
    };
    Routing route(const std::shared_ptr<GADAdView>& adView, const platform::URLRequest& request,
                  platform::WebViewNavigationType navigationType);

    GADAdViewDelegate();
    // The handlers every ad view has; subclasses' factories call this, then append their own.
    void addDefaultHandlers();

  private:
    struct PendingMessage {
        std::uint64_t sequence = 0;
        platform::URL url;
        std::weak_ptr<GADAdView> adView;
        std::vector<std::shared_ptr<GADGMSGHandler>> handlers;
        std::shared_ptr<GADNotification> note;
        bool parsed = false;
    };
    void messageParsed(std::uint64_t sequence, const std::shared_ptr<GADNotification>& note);
    // Dispatches messages from the front of the queue while they are parsed (all of them, parsing
    // on the spot, when `all`).
    void deliverMessages(bool all);
    static void dispatchMessage(const PendingMessage& message);

    std::shared_ptr<GADOpener> opener_;
    std::vector<std::shared_ptr<GADGMSGHandler>> gmsgHandlers_;
    std::shared_ptr<platform::DispatchQueue> parseQueue_;
    bool hasLoadedAtLeastOnce_ = false;
    std::deque<PendingMessage> pendingMessages_;
    std::uint64_t nextSequence_ = 0;
    bool delivering_ = false;
    bool deliverAll_ = false;
};

} // namespace ruzave
