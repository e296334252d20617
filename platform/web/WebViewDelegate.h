#pragma once
// What a WebView asks and tells the app about its loads. Held weakly. Main thread only.
#include "platform/base/Error.h"
#include "platform/net/URLRequest.h"
#include "platform/web/WebViewNavigationType.h"

namespace platform {

class WebView;

class WebViewDelegate {
public:
    virtual ~WebViewDelegate() = default;
    // Asked before every navigation, once each and in order; false refuses it and nothing changes.
    virtual bool shouldStartLoad(WebView& webView, const URLRequest& request, WebViewNavigationType navigationType) {
        (void)webView;
        (void)request;
        (void)navigationType;
        return true;
    }
    virtual void didStartLoad(WebView& webView) { (void)webView; }
    // After the load event, once the document's scripts have run.
    virtual void didFinishLoad(WebView& webView) { (void)webView; }
    virtual void didFailLoad(WebView& webView, const Error& error) {
        (void)webView;
        (void)error;
    }
};

} // namespace platform
