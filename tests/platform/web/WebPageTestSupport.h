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

#if defined(__SANITIZE_THREAD__)
constexpr double kInstrumentedSlowdown = 4;
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
constexpr double kInstrumentedSlowdown = 4;
#else
constexpr double kInstrumentedSlowdown = 1;
#endif
#else
constexpr double kInstrumentedSlowdown = 1;
#endif

// ThreadSanitizer's build runs our code several times slower than the others: a page of a test gets its
// time limit that many times over there, so that work sized for the limit in the other builds fits it.
inline std::shared_ptr<WebPage> loadPage(testing::Harness&, const std::shared_ptr<Client>& client, const std::string& html,
                                         WebPage::Options options = {}) {
    options.scriptTimeLimit *= kInstrumentedSlowdown;
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
