#pragma once
// What a WebPage tells its owner, always from a main-loop task of its own (never from inside the
// script engine), in the order the page raised it. Main thread only.
#include "platform/base/Error.h"
#include "platform/net/URLRequest.h"
#include "platform/web/WebViewNavigationType.h"

namespace platform {

class WebPage;

class WebPageClient {
public:
    virtual ~WebPageClient() = default;
    // The page asks to navigate. `frameNode` is the iframe element's node id, or 0 for the main frame.
    virtual void pageRequestsNavigation(WebPage& page, const URLRequest& request, WebViewNavigationType type,
                                        unsigned frameNode) = 0;
    // The load event has fired and every script of the document has run.
    virtual void pageDidFinishLoad(WebPage& page) = 0;
    // The page's scripts were stopped (see WebPage::scriptsStopped); `error` says why. A page stopped
    // before its load event never finishes loading.
    virtual void pageScriptsStopped(WebPage& page, const Error& error) {
        (void)page;
        (void)error;
    }
    // The loaded document changed (nodes, attributes, styles, text, a loaded image), so its layout and
    // content size may have changed. At most once a frame (WebPage::FrameInterval), however often it
    // changes; the client reads the new size with WebPage::contentSizeForClient (the page's work).
    virtual void pageMayHaveChangedLayout(WebPage& page) { (void)page; }
};

} // namespace platform
