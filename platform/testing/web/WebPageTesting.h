#pragma once
// Pages without a web view, for tests and benchmarks: a client that counts finished loads (and lets
// navigations go unanswered), and a page loaded from markup. Main thread only.
#include <memory>
#include <string>

#include "platform/web/WebPage.h"
#include "platform/web/WebPageClient.h"

namespace platform {

struct LoadCountingClient : WebPageClient {
    int finished = 0;
    void pageRequestsNavigation(WebPage&, const URLRequest&, WebViewNavigationType, unsigned) override {}
    void pageDidFinishLoad(WebPage&) override { ++finished; }
};

class WebPageTesting {
public:
    // A page of `html` at https://page.example/, started, once `client` heard it finish loading (the main
    // loop runs until then, `timeout` seconds at most); nullptr when it could not be made or never finished.
    static std::shared_ptr<WebPage> load(const std::string& html, const std::shared_ptr<LoadCountingClient>& client,
                                         WebPage::Options options = {}, double timeout = 10);
};

} // namespace platform
