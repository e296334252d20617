#pragma once
// Test hooks for web views: inject a click or a form submission, make the next subresource load fail,
// and read the navigations the delegate was asked about. Main thread only.
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/base/Error.h"
#include "platform/web/WebViewNavigationType.h"

namespace platform {

class WebView;

class WebViewTesting {
public:
    // Clicks the first element matching `selector` (a link click navigates as LinkClicked).
    // False when the view has no document or nothing matches.
    static bool clickElement(WebView& webView, const std::string& selector);
    // Submits the form matching `selector`, as a user pressing its submit button would.
    static bool submitForm(WebView& webView, const std::string& selector);
    // The next subresource load of any web view fails with `error` instead of loading.
    static void failNextSubresource(Error error = Error("NSURLErrorDomain", -1005, "injected failure"));
    // The next subresource load of `webView` (of whichever document it shows then) fails with `error`;
    // other web views load as usual.
    static void failNextSubresource(const WebView& webView,
                                    Error error = Error("NSURLErrorDomain", -1005, "injected failure"));
    // Every navigation the delegate was asked about, in order: URL and type.
    static std::vector<std::pair<std::string, WebViewNavigationType>> navigations(const WebView& webView);
};

} // namespace platform
