// Markup a page chooses (what its scripts set, and its own markup at load) is parsed within the page's
// limits: the parser's memory and the nodes come from its budget, the work from an entry's time, and a
// parse that would pass them is refused whole, never half made.
#include <doctest/doctest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>

#include "platform/base/URL.h"
#include "platform/duktape/DukHeapBudget.h"
#include "platform/testing/Harness.h"
#include "platform/web/DOMDocument.h"
#include "platform/ui/Geometry.h"
#include "platform/web/WebPage.h"
#include "platform/web/WebView.h"
#include "platform/web/WebViewDelegate.h"
#include "tests/platform/web/WebPageTestSupport.h"

using platform::testing::Harness;
using namespace platform;
using platform::webtest::Client;
using platform::webtest::StopClient;
using platform::webtest::roomy;
using platform::webtest::loadPage;

namespace {

// Hears how a web view's load ends.
struct LoadEnd : WebViewDelegate {
    int finished = 0;
    int failed = 0;
    Error why;
    void didFinishLoad(WebView&) override { ++finished; }
    void didFailLoad(WebView&, const Error& error) override {
        ++failed;
        why = error;
    }
};

// Pages of these tests parse hundreds of thousands of bytes, which an instrumented build does many times
// slower than a phone: their time is not what the memory cases test.

std::string repeat(const std::string& piece, std::size_t times) {
    std::string out;
    out.reserve(piece.size() * times);
    for (std::size_t i = 0; i < times; ++i) out += piece;
    return out;
}

// Charges against a fixed allowance, keeping what is held now and the most held at once.
struct Allowance {
    std::size_t limit;
    std::size_t held = 0;
    std::size_t most = 0;
    DOMParseBudget budget() {
        return DOMParseBudget{[this](std::size_t bytes) {
                                  if (held + bytes > limit) return false;
                                  held += bytes;
                                  most = std::max(most, held);
                                  return true;
                              },
                              [this](std::size_t bytes) { held -= bytes; }, [this] { return limit - held; }, nullptr};
    }
};

} // namespace

TEST_CASE("DOMDocument: a parse given a budget charges the parser's memory as it goes and gives all of it back") {
    // Markup that fits: the parser's memory is charged while it works and given back after.
    Allowance plenty{64u << 20};
    auto budget = plenty.budget();
    auto doc = DOMDocument::parse("<div id='a'>" + repeat("<p class='x'>text</p>", 2000) + "</div>", &budget);
    REQUIRE(doc);
    CHECK(budget.outcome == DOMParseBudget::Outcome::Done);
    CHECK(doc->getElementsByTagName("p").size() == 2000);
    CHECK(plenty.held == 0);
    CHECK(plenty.most > 2000 * 64);

    // Markup small to read but large to parse: formatting elements the parser makes again for every
    // block after them. A cost per input byte would not see it coming; the parser's memory does.
    std::string blowup = "<div>";
    for (int i = 0; i < 400; ++i) blowup += "<b id=" + std::to_string(i) + ">";
    blowup += "</div>" + repeat("<div>x</div>", 5000);
    Allowance tight{4u << 20};
    budget = tight.budget();
    CHECK(DOMDocument::parse(blowup, &budget) == nullptr);
    CHECK(budget.outcome == DOMParseBudget::Outcome::NoRoom);
    CHECK(tight.held == 0);
    CHECK(tight.most <= tight.limit);

    // A fragment refused leaves the document as it was: no node of it stays, and the room comes back.
    auto host = DOMDocument::parse("<p>x</p>");
    const std::size_t nodes = host->nodeCount(), bytes = host->bytes();
    budget = tight.budget();
    CHECK(host->parseFragment(repeat("<br>", 200000), &budget).empty());
    CHECK(budget.outcome == DOMParseBudget::Outcome::NoRoom);
    budget = tight.budget();
    CHECK(host->parseFragment(blowup, &budget).empty());
    CHECK(tight.held == 0);
    CHECK(host->nodeCount() == nodes);
    CHECK(host->bytes() == bytes);
    // Nodes within the parser's allowance but past the room for nodes are refused the same way.
    Allowance nodesOnly{2u << 20};
    budget = nodesOnly.budget();
    budget.room = [] { return std::size_t{100000}; };
    CHECK(host->parseFragment(repeat("<i>y</i>", 1000), &budget).empty());
    CHECK(budget.outcome == DOMParseBudget::Outcome::NoRoom);
    CHECK(host->nodeCount() == nodes);
    // And what fits comes whole.
    budget = tight.budget();
    CHECK(host->parseFragment(repeat("<i>y</i>", 1000), &budget).size() == 1000);
    CHECK(tight.held == 0);
}

TEST_CASE_FIXTURE(Harness, "WebPage: markup a script sets is admitted before it is parsed and refused whole when it cannot fit") {
    auto client = std::make_shared<Client>();
    auto page = loadPage(*this, client, "<div id='d'><p>kept</p></div><script>var d = document.getElementById('d');</script>",
                         roomy(8u << 20));
    const std::size_t nodes = page->document().nodeCount();
    // A megabyte of <br> (a quarter million elements) and markup whose formatting elements the parser makes
    // again for every block after them: both far past the page's 8 MB once parsed.
    REQUIRE(page->evaluate("var s = '<br>'; while (s.length < (1 << 20)) s += s;"
                           "var blowup = '<div>'; for (var i = 0; i < 400; i++) blowup += '<b id=' + i + '>';"
                           "blowup += '</div>'; for (var k = 0; k < 5000; k++) blowup += '<div>x</div>'; s.length") ==
          std::to_string(1 << 20));
    const std::size_t room = page->roomForDocuments();
    CHECK(page->evaluate("var out = [];"
                         "[function () { d.innerHTML = s; },"
                         " function () { d.insertAdjacentHTML('beforeend', s); },"
                         " function () { d.insertAdjacentHTML('afterend', blowup); },"
                         " function () { document.write(s); },"
                         " function () { d.innerHTML = blowup; }].forEach(function (f) {"
                         "  try { f(); out.push('done'); } catch (e) { out.push(e.name + ': ' + e.message); } });"
                         "out.join('|')") ==
          repeat("RangeError: out of memory: the page's documents would pass its memory budget|", 4) +
              "RangeError: out of memory: the page's documents would pass its memory budget");
    // The document is as it was, and the room comes back whole.
    CHECK(page->evaluate("[d.childNodes.length, d.firstChild.textContent, document.body.childNodes.length].join()") ==
          "1,kept,2");
    CHECK(page->document().nodeCount() <= nodes);
    CHECK(page->chargedBytes() == 0);
    CHECK(page->roomForDocuments() + (256u << 10) >= room);
    CHECK(!page->scriptsStopped());
    // Markup that fits goes in whole.
    CHECK(page->evaluate("s = blowup = null; d.innerHTML = new Array(2001).join('<i>y</i>');"
                         "d.insertAdjacentHTML('afterbegin', '<b>first</b>');"
                         "[d.childNodes.length, d.firstChild.tagName, d.lastChild.textContent].join()") == "2001,B,y");
}

TEST_CASE_FIXTURE(Harness, "WebPage: markup a script sets past the node cap throws and leaves the document as it was") {
    auto client = std::make_shared<Client>();
    auto page = loadPage(*this, client, "<div id='d'><p>kept</p></div><script>var d = document.getElementById('d');</script>",
                         roomy());
    const std::size_t nodes = page->document().nodeCount();
    // Before, the parse kept the first 100,000 nodes and dropped the rest without a word.
    CHECK(page->evaluate("var s = new Array(" + std::to_string(DOMDocument::MaximumNodes + 1) + ").join('<br>');"
                         "var out = [];"
                         "[function () { d.innerHTML = s; }, function () { d.insertAdjacentHTML('beforeend', s); },"
                         " function () { document.write(s); }].forEach(function (f) {"
                         "  try { f(); out.push('done'); } catch (e) { out.push(e.name + ': ' + e.message); } });"
                         "out.join('|') + '|' + d.childNodes.length + d.firstChild.textContent") ==
          repeat("RangeError: the document holds too many nodes|", 3) + "1kept");
    CHECK(page->document().nodeCount() <= nodes);
    CHECK(page->chargedBytes() == 0);
    // Every node of markup under the cap is there.
    CHECK(page->evaluate("s = null; d.innerHTML = new Array(50001).join('<br>'); d.childNodes.length") == "50000");
}

TEST_CASE_FIXTURE(Harness, "WebPage: markup a script sets is parsed within the entry's time, and a parse past it stops the page") {
    auto client = std::make_shared<StopClient>();
    auto page = loadPage(*this, client, "<div id='d'><p>kept</p></div><script>var d = document.getElementById('d');</script>",
                         roomy());
    REQUIRE(page->evaluate("var s = new Array(90001).join('<i></i>'); s.length") == std::to_string(90000 * 7));
    const std::size_t nodes = page->document().nodeCount();
    // Ninety thousand elements take far longer than a millisecond of processor time in any build.
    page->script()->setTimeLimit(0.001);
    Error error;
    page->evaluate("d.innerHTML = s", &error);
    CHECK(error.code == ScriptContext::TimeLimitCode);
    CHECK(page->scriptsStopped());
    runUntilIdle();
    CHECK(client->stopped == 1);
    CHECK(client->why.code == ScriptContext::TimeLimitCode);
    auto d = page->document().getElementById("d");
    REQUIRE(d);
    CHECK(d->children().size() == 1);
    CHECK(page->document().nodeCount() <= nodes);
    CHECK(page->chargedBytes() == 0);
}

TEST_CASE_FIXTURE(Harness, "WebPage: twenty megabytes of end tags are parsed on the meter, set by a script or as the ad's markup") {
    // End tags with nothing open make no node and little of the parser's memory: only the meter, from the
    // first byte looked at, stops their parse in time.
    const std::size_t size = (20u << 20) / 6 * 6;
    const double limit = 0.05;
    auto heldSince = [](std::chrono::nanoseconds start) {
        return std::chrono::duration<double>(DukHeapBudget::threadProcessorTime() - start).count();
    };

    // Set by a script: the call throws at the entry's time limit and the document is as it was.
    auto client = std::make_shared<StopClient>();
    auto page = loadPage(*this, client, "<div id='d'><p>kept</p></div><script>var d = document.getElementById('d');</script>",
                         roomy());
    REQUIRE(page->evaluate("var s = '</div>'; while (s.length < " + std::to_string(size) + ") s += s; s = s.substring(0, " +
                           std::to_string(size) + "); s.length") == std::to_string(size));
    // A few of them, within the time: nothing is made, nothing is lost.
    CHECK(page->evaluate("d.innerHTML = s.substring(0, 6000); d.childNodes.length") == "0");
    REQUIRE(page->evaluate("d.innerHTML = '<p>kept</p>'; d.childNodes.length") == "1");
    const std::size_t nodes = page->document().nodeCount();
    page->script()->setTimeLimit(limit);
    Error error;
    auto start = DukHeapBudget::threadProcessorTime();
    page->evaluate("try { d.innerHTML = s; } catch (e) { 'caught' }", &error);
    // (Unmetered, the pass that bounds the markup alone took seconds in an instrumented build.)
    CHECK(heldSince(start) < limit + 2);
    CHECK(error.code == ScriptContext::TimeLimitCode);
    CHECK(page->scriptsStopped());
    auto d = page->document().getElementById("d");
    REQUIRE(d);
    REQUIRE(d->children().size() == 1);
    CHECK(d->children().front()->textContent() == "kept");
    CHECK(page->document().nodeCount() <= nodes);
    CHECK(page->chargedBytes() == 0);

    // The ad's own markup: the page is stopped for its time and nothing of the markup stays.
    auto adClient = std::make_shared<StopClient>();
    WebPage::Options options = roomy();
    options.scriptTimeLimit = limit;
    const std::string markup = repeat("</div>", size / 6) + "<script>var reached = 1;</script>";
    start = DukHeapBudget::threadProcessorTime();
    auto ad = WebPage::create(markup, *URL::parse("https://page.example/"), adClient, options);
    REQUIRE(ad);
    ad->start();
    CHECK(heldSince(start) < limit + 2);
    runUntilIdle();
    CHECK(ad->scriptsStopped());
    CHECK(adClient->stopped == 1);
    CHECK(adClient->why.code == ScriptContext::TimeLimitCode);
    CHECK(adClient->finished == 0);
    CHECK(ad->document().nodeCount() <= 4);
    CHECK(ad->chargedBytes() == 0);
}

TEST_CASE_FIXTURE(Harness, "WebPage: the ad's own markup loads under the page's time and memory limits") {
    const URL url = *URL::parse("https://page.example/");
    auto stoppedFor = [&](const std::string& html, const WebPage::Options& options, int code) {
        auto client = std::make_shared<StopClient>();
        auto page = WebPage::create(html, url, client, options);
        REQUIRE(page);
        page->start();
        runUntilIdle();
        CHECK(page->scriptsStopped());
        CHECK(client->stopped == 1);
        CHECK(client->why.code == code);
        CHECK(client->finished == 0);
        // Nothing of the markup stays (not its first scripts either), and the page holds nothing charged.
        CHECK(page->document().nodeCount() <= 4);
        CHECK(!page->hasScriptHeap());
        CHECK(page->chargedBytes() == 0);
    };
    const std::string first = "<script>var first = 1;</script>", last = "<script>var last = 1;</script>";
    // Past the budget: a megabyte of <br> in a page of 8 MB.
    stoppedFor(first + repeat("<br>", 1 << 18) + last, roomy(8u << 20), WebPage::MarkupLimitCode);
    // Past the node cap: before, every script after node 100,000 was dropped without a word.
    stoppedFor(first + repeat("<br>", DOMDocument::MaximumNodes) + last, roomy(), WebPage::MarkupLimitCode);
    // Past the time of a script entry, in a page that has no script at all (so no heap to meter it).
    WebPage::Options quick = roomy();
    quick.scriptTimeLimit = 0.001;
    stoppedFor(repeat("<i></i>", 90000), quick, ScriptContext::TimeLimitCode);

    // Markup within the limits loads whole, its last script included.
    auto client = std::make_shared<StopClient>();
    auto page = loadPage(*this, client, first + repeat("<p>ad</p>", 20000) + last, roomy());
    CHECK(page->evaluate("[first, last, document.getElementsByTagName('p').length].join()") == "1,1,20000");
    CHECK(client->stopped == 0);
    CHECK(page->chargedBytes() == 0);
}

TEST_CASE_FIXTURE(Harness, "WebView: an ad whose markup passes its page's limits fails its load and says why") {
    auto view = WebView::create(Rect(0, 0, 320, 480));
    auto delegate = std::make_shared<LoadEnd>();
    view->setDelegate(delegate);
    // Time is not what this tests: a slow instrumented build on a busy machine must reach the node cap first.
    view->setScriptTimeLimit(10);
    // The tracking script at its end would have been dropped without a word, and the load reported done.
    view->loadHTMLString(repeat("<br>", DOMDocument::MaximumNodes) + "<script>new Image().src = 'https://t.example/imp';</script>",
                         URL::parse("https://ads.example/page.html"));
    REQUIRE(runUntil([&] { return delegate->finished + delegate->failed > 0; }, 10));
    CHECK(delegate->failed == 1);
    CHECK(delegate->finished == 0);
    CHECK(delegate->why.code == WebPage::MarkupLimitCode);
    CHECK(delegate->why.description.find("100000 nodes") != std::string::npos);
}
