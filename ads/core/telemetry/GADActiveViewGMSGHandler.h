#pragma once
// Serves the core page's active-view verdicts, "visibilityChanged" and "untrackActiveViewUnit"; a
// message without its "hashCode" (or, for visibility, its "isVisible") is ignored. Main thread.
#include <memory>

#include "ads/core/telemetry/GADActiveViewGMSGHandlerDelegate.h"
#include "ads/render/GADGMSGHandler.h"

namespace ruzave {

class GADSDKCoreWebView;

class GADActiveViewGMSGHandler : public GADGMSGHandler {
  public:
    static std::shared_ptr<GADActiveViewGMSGHandler> init();
    // Makes a handler that passes the verdicts to the core web view's observers and installs it as the
    // web view's active-view message handler (replacing an earlier one).
    static void attachToSDKCoreWebView(const std::shared_ptr<GADSDKCoreWebView>& webView);

    const ActionBlockDictionary* actionBlockDictionary() const override;

    void didReceiveActiveViewVisibilityChangedNotification(const Arguments& arguments);
    void didReceiveActiveViewUntrackActiveViewNotification(const Arguments& arguments);

    std::shared_ptr<GADActiveViewGMSGHandlerDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(const std::weak_ptr<GADActiveViewGMSGHandlerDelegate>& d) { delegate_ = d; }

  private:
    GADActiveViewGMSGHandler() = default;
    std::weak_ptr<GADActiveViewGMSGHandlerDelegate> delegate_;
};

} // namespace ruzave
