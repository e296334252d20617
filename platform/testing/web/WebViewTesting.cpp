#include "platform/testing/web/WebViewTesting.h"

#include "platform/web/ResourceLoader.h"
#include "platform/web/WebPage.h"
#include "platform/web/WebView.h"

namespace platform {

bool WebViewTesting::clickElement(WebView& webView, const std::string& selector) {
    auto page = webView.currentPage();
    return page && page->click(selector);
}

bool WebViewTesting::submitForm(WebView& webView, const std::string& selector) {
    auto page = webView.currentPage();
    return page && page->submitForm(selector);
}

void WebViewTesting::failNextSubresource(Error error) {
    ResourceLoader::failNextLoad(std::move(error));
}

void WebViewTesting::failNextSubresource(const WebView& webView, Error error) {
    // Pages carry their web view's address as the owner of their loads.
    ResourceLoader::failNextLoad(std::move(error), static_cast<const void*>(&webView));
}

std::vector<std::pair<std::string, WebViewNavigationType>> WebViewTesting::navigations(const WebView& webView) {
    std::vector<std::pair<std::string, WebViewNavigationType>> out;
    for (const auto& [request, type] : webView.navigationLog()) out.emplace_back(request.url().absoluteString(), type);
    return out;
}

} // namespace platform
