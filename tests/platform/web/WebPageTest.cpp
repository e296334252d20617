#include <doctest/doctest.h>

#include <memory>
#include <string>

#include "platform/base/URL.h"
#include "platform/testing/Harness.h"
#include "platform/web/WebPage.h"
#include "platform/web/WebPageClient.h"

using platform::testing::Harness;
using namespace platform;

namespace {

struct Client : WebPageClient {
    int finished = 0;
    void pageRequestsNavigation(WebPage&, const URLRequest&, WebViewNavigationType, unsigned) override {}
    void pageDidFinishLoad(WebPage&) override { ++finished; }
};

std::shared_ptr<WebPage> loadPage(Harness& h, const std::shared_ptr<Client>& client, const std::string& html,
                                  WebPage::Options options = {}) {
    auto page = WebPage::create(html, *URL::parse("https://page.example/"), client, options);
    REQUIRE(page);
    page->start();
    REQUIRE(h.runUntil([&] { return client->finished > 0; }));
    return page;
}

} // namespace

TEST_CASE_FIXTURE(Harness, "WebPage: a document with nothing to run loads without a script heap") {
    auto client = std::make_shared<Client>();
    auto page = loadPage(*this, client, "<p id='x'>plain</p>");
    CHECK_FALSE(page->hasScriptHeap());
    CHECK(page->readyState() == WebPage::ReadyState::Complete);
    CHECK(page->document().body()->innerHTML() == "<p id=\"x\">plain</p>");

    // The first question to the page's script makes the heap, bindings and all.
    CHECK(page->evaluate("document.getElementById('x').innerText") == "plain");
    CHECK(page->hasScriptHeap());
    CHECK(page->evaluate("document.readyState") == "complete");
}

TEST_CASE_FIXTURE(Harness, "WebPage: scripts and inline handlers get their heap at once and still run") {
    auto client = std::make_shared<Client>();
    auto scripted = loadPage(*this, client, "<script>var ran = 1;</script>");
    CHECK(scripted->hasScriptHeap());
    CHECK(scripted->evaluate("ran") == "1");

    // No script element, but the body's onload handler must fire when the load ends.
    auto handlers = std::make_shared<Client>();
    auto page = loadPage(*this, handlers, "<body onload=\"window.loadedBy = 'handler'\"><p>x</p></body>");
    CHECK(page->hasScriptHeap());
    CHECK(page->evaluate("window.loadedBy") == "handler");
}

TEST_CASE_FIXTURE(Harness, "WebPage: with scripts off, handler attributes neither need a heap nor run") {
    WebPage::Options options;
    options.runScripts = false;
    auto client = std::make_shared<Client>();
    auto page = loadPage(*this, client, "<body onload=\"window.loadedBy = 'handler'\"><script>var ran = 1;</script></body>",
                         options);
    CHECK_FALSE(page->hasScriptHeap());
    CHECK(page->evaluate("typeof ran") == "undefined");
    CHECK(page->evaluate("typeof window.loadedBy") == "undefined");
}

TEST_CASE_FIXTURE(Harness, "WebPage: a closed page without a heap answers nothing and makes none") {
    auto client = std::make_shared<Client>();
    auto page = loadPage(*this, client, "");
    page->close();
    Error error;
    CHECK(page->evaluate("1 + 1", &error).empty());
    CHECK(error.code == 4);
    CHECK_FALSE(page->hasScriptHeap());
}
