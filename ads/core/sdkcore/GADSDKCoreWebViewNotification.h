#pragma once
// A one-time observer of a core web view's page load: told once per registration that a load attempt
// ended; it reads the web view's state to learn whether it succeeded. Called on the main thread.
#include <memory>

namespace ruzave {

class GADSDKCoreWebView;

class GADSDKCoreWebViewNotification {
public:
    virtual ~GADSDKCoreWebViewNotification() = default;
    virtual void didFinishLoadingSDKCoreInSDKCoreWebView(const std::shared_ptr<GADSDKCoreWebView>& webView) = 0;
};

} // namespace ruzave
