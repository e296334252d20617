#include <doctest/doctest.h>

#include <memory>
#include <string>

#include "platform/base/Log.h"
#include "platform/base/URL.h"
#include "platform/net/NetworkConfiguration.h"
#include "platform/testing/Harness.h"
#include "platform/web/ScriptContext.h"
#include "platform/web/WebPage.h"
#include "platform/web/WebPageBindings.h"
#include "tests/platform/web/WebPageTestSupport.h"

using platform::testing::Harness;
using namespace platform;

namespace {

std::shared_ptr<WebPage> blankPage(const std::string& html) {
    auto page = WebPage::create(html, *URL::parse("https://page.example/"), std::weak_ptr<WebPageClient>(), {});
    REQUIRE(page);
    return page;
}

std::string eval(ScriptContext& sc, const std::string& source, bool* ok = nullptr) {
    std::string out;
    Error error;
    bool done = sc.evaluate(source, "test", &out, &error);
    if (ok != nullptr) *ok = done;
    return done ? out : error.description;
}

} // namespace

TEST_CASE_FIXTURE(Harness, "WebPageBindings: a heap prepared before its page reads the page's document and user agent when attached") {
    auto sc = ScriptContext::create();
    REQUIRE(sc);
    REQUIRE(sc->run([](duk_context* ctx) { WebPageBindings::prepare(ctx); }));
    // Made ahead, the heap knows no page yet: questions about it fail, the rest of script works.
    bool ok = true;
    CHECK(eval(*sc, "document.body", &ok).find("the document has no page") != std::string::npos);
    CHECK_FALSE(ok);
    CHECK(eval(*sc, "typeof setTimeout + typeof document.createElement") == "functionfunction");

    // The user agent may change between the heap's making and its page.
    NetworkConfiguration::sharedInstance()->setUserAgent("Mozilla/5.0 (Later; Test)");
    auto page = blankPage("<p id='x'>hi</p>");
    REQUIRE(sc->run([&](duk_context* ctx) { WebPageBindings::attach(ctx, *page); }));
    CHECK(eval(*sc, "navigator.userAgent") == "Mozilla/5.0 (Later; Test)");
    CHECK(eval(*sc, "navigator.appVersion") == "5.0 (Later; Test)");
    CHECK(eval(*sc, "document.getElementById('x').textContent + document.nodeType") == "hi9");
    CHECK(eval(*sc, "document.body.parentNode.parentNode === document") == "true");
}

TEST_CASE_FIXTURE(Harness, "WebPageBindings: once detached, a heap's calls about its page are script errors") {
    auto page = blankPage("<p id='x'>hi</p>");
    auto sc = ScriptContext::create();
    REQUIRE(sc);
    REQUIRE(sc->run([&](duk_context* ctx) { WebPageBindings::install(ctx, *page); }));
    CHECK(eval(*sc, "var kept = document.getElementById('x'); kept.textContent") == "hi");

    REQUIRE(WebPageBindings::detach(sc->context()));
    bool ok = true;
    CHECK(eval(*sc, "kept.textContent", &ok).find("the document has no page") != std::string::npos);
    CHECK_FALSE(ok);
    CHECK(eval(*sc, "try { document.title; 'no' } catch (e) { 'caught' }") == "caught");
    CHECK(eval(*sc, "[3, 1, 2].sort().join('')") == "123");
}

TEST_CASE_FIXTURE(Harness, "WebPageBindings: a native's copies are charged to its page for the call, and refused when they do not fit") {
    auto client = std::make_shared<webtest::Client>();
    WebPage::Options options;
    options.scriptMemoryLimit = 4u << 20;
    options.scriptTimeLimit = 10;
    options.scriptShare = 1;
    auto page = webtest::loadPage(*this, client, "<p id='p'>x</p>", options);
    const std::size_t room = page->roomForDocuments();
    // A string of more than a third of the room, also kept by the document (read where it lies, the node's
    // copy is the only one): a copy of it for a lookup is one too many.
    const std::string n = std::to_string(room * 37 / 100);
    REQUIRE(page->evaluate("var big = 'x'.repeat(" + n + "); var p = document.getElementById('p');"
                           "p.setAttribute('title', big); p.getAttribute('title').length") == n);
    CHECK(page->chargedBytes() == 0);
    CHECK(page->evaluate("try { document.getElementById(big); 'made' } catch (e) { e.name + ': ' + e.message }") ==
          "RangeError: out of memory: a copy of the argument would pass the page's memory budget");
    CHECK(page->chargedBytes() == 0);
    CHECK(page->evaluate("document.getElementById('p') === p") == "true");
    // A console line is cut before it is escaped; it says how long the message was.
    LogCapture log;
    page->evaluate("big = null; p.removeAttribute('title'); console.log('\\n'.repeat(1 << 20))");
    bool found = false;
    for (const auto& line : log.lines()) {
        if (line.find("web console:") == std::string::npos) continue;
        found = true;
        CHECK(line.size() < 8000);
        CHECK(line.find("(1048576 bytes)") != std::string::npos);
    }
    CHECK(found);
    CHECK(!page->scriptsStopped());
}

TEST_CASE_FIXTURE(Harness, "WebPageBindings: a form submission that cannot be queued throws instead of going nowhere") {
    auto client = std::make_shared<webtest::Client>();
    auto page = webtest::loadPage(*this, client,
                                  "<form id='f' action='https://next.example/go'><input name='q' value='1'></form>",
                                  webtest::roomy());
    // Submissions go as navigations, under the same cap on those waiting.
    CHECK(page->evaluate("var form = document.getElementById('f'), sent = 0, refused = '';"
                         "try { for (var i = 0; i <= 1000; i++) { form.submit(); sent++; } }"
                         "catch (e) { refused = e.name + ': ' + e.message; } sent + ' ' + refused") ==
          std::to_string(WebPage::MaximumQueuedNavigations) + " RangeError: the form's submission was refused");
    CHECK(page->queuedNavigationCount() == WebPage::MaximumQueuedNavigations);
    runUntilIdle();
    // Room again once they went: the next one is queued.
    CHECK(page->evaluate("form.submit(); 'sent'") == "sent");
    CHECK(page->queuedNavigationCount() == 1);
}
