#pragma once
// What the page tests share: a client counting finished loads, and a page loaded from markup (the test
// stops when it cannot be made or does not finish loading).
#include <doctest/doctest.h>

#include <memory>
#include <string>

#include "platform/testing/Harness.h"
#include "platform/testing/web/WebPageTesting.h"

namespace platform::webtest {

using Client = LoadCountingClient;

// A client that also hears why (and how often) the page's scripts were stopped.
struct StopClient : Client {
    int stopped = 0;
    Error why;
    void pageScriptsStopped(WebPage&, const Error& error) override {
        ++stopped;
        why = error;
    }
};

inline std::shared_ptr<WebPage> loadPage(testing::Harness&, const std::shared_ptr<Client>& client, const std::string& html,
                                         WebPage::Options options = {}) {
    auto page = WebPageTesting::load(html, client, options);
    REQUIRE(page);
    return page;
}

// Options for pages whose test is not about time: room for a slow instrumented build on a busy machine,
// and the given memory budget.
inline WebPage::Options roomy(std::size_t memory = ScriptContext::DefaultMemoryLimit) {
    WebPage::Options options;
    options.scriptTimeLimit = 30;
    options.scriptShare = 1;
    options.scriptMemoryLimit = memory;
    return options;
}

} // namespace platform::webtest
