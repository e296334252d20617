// Text a page has built natively: serializations and class lists admitted against the page's budget
// before they are made, style declarations in linear time, and documents counting what their nodes
// allocated.
#include <doctest/doctest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/testing/Harness.h"
#include "platform/web/DOMDocument.h"
#include "platform/web/WebPage.h"
#include "tests/platform/web/AllocationTally.h"
#include "tests/platform/web/WebPageTestSupport.h"

using platform::testing::Harness;
using namespace platform;
using platform::webtest::AllocationTally;
using platform::webtest::Client;
using platform::webtest::loadPage;

namespace {

// "p0:0px;p1:1px;..." with `count` declarations of distinct properties.
std::string declarations(int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += "p" + std::to_string(i) + ":" + std::to_string(i % 7) + "px;";
    return text;
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Far from the ledger's count: off by more than a twentieth, or a few bytes for small counts.
bool near(long long allocated, long long counted) {
    return std::llabs(allocated - counted) <= 256 + counted / 20;
}

} // namespace

TEST_CASE("DOMDocument: its ledger counts what its nodes allocated") {
    auto doc = std::make_shared<DOMDocument>();
    std::vector<std::shared_ptr<DOMNode>> held;
    held.reserve(2000);
    const std::size_t base = doc->bytes();
    {
        AllocationTally tally;
        for (int i = 0; i < 1000; ++i) {
            auto el = doc->createElement(i % 2 == 0 ? "div" : "an-element-with-a-name-past-the-inline-buffer");
            el->setAttribute("id", "n" + std::to_string(i));
            el->setAttribute("data-long", std::string(static_cast<std::size_t>(i % 300), 'v'));
            if (i % 3 == 0) el->setStyleProperty("width", std::to_string(i) + "px");
            if (i % 100 == 0) el->setAttribute("style", declarations(40));
            el->appendChild(doc->createTextNode(std::string(static_cast<std::size_t>(i % 100), 't')));
            if (i % 10 != 0) held.back()->appendChild(el);
            held.push_back(el);
        }
        const long long counted = static_cast<long long>(doc->bytes() - base);
        CHECK(near(tally.live(), counted));
        // Changes that give back (a shorter value, a style cleared) are counted as they free.
        for (int i = 0; i < 1000; i += 2) {
            held[static_cast<std::size_t>(i)]->setAttribute("data-long", "s");
            held[static_cast<std::size_t>(i)]->removeAttribute("style");
        }
        CHECK(static_cast<long long>(doc->bytes() - base) < counted);
        CHECK(near(tally.live(), static_cast<long long>(doc->bytes() - base)));
        // Let go of, the nodes and all they held are counted off (the document's index keeps its buckets).
        held.clear();
        doc->collect();
        CHECK(doc->bytes() == base);
        CHECK(tally.live() < counted / 10);
    }
}

TEST_CASE("DOMNode: style declarations parse in linear time and count what they hold") {
    auto doc = std::make_shared<DOMDocument>();
    auto el = doc->createElement("div");
    const std::string text = declarations(80000);
    const std::size_t admitted = el->bytesToSetAttribute("style", text);
    const std::size_t before = doc->bytes();
    auto start = std::chrono::steady_clock::now();
    {
        AllocationTally tally;
        el->setAttribute("style", text);
        const auto grown = static_cast<long long>(doc->bytes() - before);
        // What the declarations take: far more than their text, all of it counted and admitted first.
        CHECK(grown > static_cast<long long>(4 * text.size()));
        CHECK(grown <= static_cast<long long>(admitted));
        CHECK(near(tally.live(), grown));
    }
    CHECK(secondsSince(start) < 3);
    CHECK(el->style().size() == 80000);
    CHECK(el->styleProperty("p0") == "0px");
    CHECK(el->styleProperty("p79999") == "3px");
    const std::string back = el->attribute("style");
    CHECK(back.starts_with("p0: 0px; p1: 1px; "));
    CHECK(back.ends_with(" p79999: 3px;"));
    CHECK(el->attribute("style").size() == back.size());

    // A property repeated keeps its last value, in the place of its last appearance; the list is made to
    // measure again.
    std::string repeats;
    for (int i = 0; i < 80000; ++i) repeats += std::string(i % 2 == 0 ? "a" : "B") + ":" + std::to_string(i) + ";";
    start = std::chrono::steady_clock::now();
    el->setAttribute("style", repeats + "a:last");
    CHECK(secondsSince(start) < 3);
    CHECK(el->attribute("style") == "b: 79999; a: last;");
    CHECK(doc->bytes() - before < 1024);

    // Set one by one, then one taken out from the middle: the rest are still found.
    start = std::chrono::steady_clock::now();
    for (int i = 0; i < 80000; ++i) el->setStyleProperty("q" + std::to_string(i), "1px");
    el->setStyleProperty("q40000", "");
    el->setStyleProperty("q3", "3px");
    CHECK(secondsSince(start) < 3);
    CHECK(el->styleProperty("q40000").empty());
    CHECK(el->styleProperty("q40001") == "1px");
    CHECK(el->styleProperty("q3") == "3px");
    CHECK(el->styleProperty("a") == "last");
    CHECK(el->style().size() == 80001);
    CHECK(el->bytesToSetStyleProperty("q80000", std::string(100, '1')) > 100);
    CHECK(el->bytesToSetStyleProperty("q3", "4px") == 0);

    // Cleared, it gives back all it held.
    el->removeAttribute("style");
    CHECK(doc->bytes() - before < 1024);

    // Metered: once the limit stops, the declarations parsed so far are kept.
    DOMWorkLimit limit([] { return true; });
    el->setAttribute("style", text, &limit);
    CHECK(limit.stopped());
    CHECK(!el->style().empty());
    CHECK(el->style().size() < 80000);
}

TEST_CASE_FIXTURE(Harness, "WebPage: serializing markup past the page's budget is refused before it is built") {
    auto client = std::make_shared<Client>();
    WebPage::Options options;
    options.scriptMemoryLimit = 8u << 20;
    options.scriptTimeLimit = 10;
    options.scriptShare = 1;
    auto page = loadPage(*this, client,
                         "<div id='t'></div><p id='small' title='a&quot;b&amp;'>x&amp;y&lt;<br>z</p>", options);
    // 1.5 MB of '&' and '"': 4.5 MB once escaped, and the heap's copy as much again.
    REQUIRE(page->evaluate("var t = document.getElementById('t'), s = '&\"'; while (s.length < (1 << 20)) s += s;"
                           "t.appendChild(document.createTextNode(s + s.substring(0, 1 << 19))); s = null; 'made'") == "made");
    const std::string refused = "RangeError: out of memory: the text would pass the page's memory budget";
    {
        AllocationTally tally;
        CHECK(page->evaluate("try { t.innerHTML.length } catch (e) { e.name + ': ' + e.message }") == refused);
        CHECK(page->evaluate("try { document.body.outerHTML.length } catch (e) { e.name + ': ' + e.message }") == refused);
        CHECK(page->evaluate("try { document.documentElement.innerHTML.length } catch (e) { e.name + ': ' + e.message }") ==
              refused);
        // Nothing of the size it would have been was made.
        CHECK(tally.peak() < (256 << 10));
    }
    CHECK(page->chargedBytes() == 0);
    CHECK(!page->scriptsStopped());
    {
        // Unescaped, it fits, built once in a string made to measure.
        AllocationTally tally;
        CHECK(page->evaluate("t.textContent.length + ',' + t.innerText.length") == "1572864,1572864");
        CHECK(tally.peak() < (3 << 19) + (64 << 10));
    }
    CHECK(page->chargedBytes() == 0);
    CHECK(page->evaluate("var p = document.getElementById('small'); [p.outerHTML, p.innerText, p.textContent].join('|')") ==
          "<p id=\"small\" title=\"a&quot;b&amp;\">x&amp;y&lt;<br>z</p>|x&y<\nz|x&y<z");
    // Once the text is smaller, the same reads answer.
    CHECK(page->evaluate("t.textContent = '<&>'; document.body.innerHTML.length > 0 && t.outerHTML") ==
          "<div id=\"t\">&lt;&amp;&gt;</div>");
    // A style attribute's text is made of its declarations: admitted the same way.
    REQUIRE(page->evaluate("var v = 'v'.repeat(3 << 20); p.style.width = v; v = null; p.style.width.length") ==
            std::to_string(3 << 20));
    CHECK(page->evaluate("try { p.getAttribute('style').length } catch (e) { e.name + ': ' + e.message }") == refused);
    CHECK(page->evaluate("try { p.attributes.length } catch (e) { e.name + ': ' + e.message }") == refused);
    CHECK(page->evaluate("p.style.width = '2px'; p.getAttribute('style')") == "width: 2px;");
    CHECK(page->chargedBytes() == 0);
}

TEST_CASE_FIXTURE(Harness, "WebPage: a class list past the page's budget or time is refused") {
    auto client = std::make_shared<Client>();
    WebPage::Options options;
    options.scriptMemoryLimit = 16u << 20;
    options.scriptTimeLimit = 10;
    options.scriptShare = 1;
    std::string many;
    for (int i = 0; i < 200; ++i) many += "<p class='a b c'></p>";
    auto page = loadPage(*this, client, "<div id='box'>" + many + "<p class='b'></p></div>", options);
    CHECK(page->evaluate("var by = function (s) { return document.getElementsByClassName(s).length; };"
                         "[by(' b\\ta\\n'), by('a a a'), by('b'), by(''), by('   '), by('a d'),"
                         " document.getElementById('box').getElementsByClassName('c').length].join()") ==
          "200,200,201,0,0,0,200");
    // 2 million names would take far more than the budget: refused before one is made, and the page goes on.
    REQUIRE(page->evaluate("var list = 'a '; while (list.length < (4 << 20)) list += list; list.length") ==
            std::to_string(4 << 20));
    {
        AllocationTally tally;
        CHECK(page->evaluate("try { by(list) } catch (e) { e.name + ': ' + e.message }") ==
              "RangeError: out of memory: the class list would pass the page's memory budget");
        CHECK(tally.peak() < (256 << 10));
    }
    CHECK(page->chargedBytes() == 0);
    CHECK(page->evaluate("list = null; by('c')") == "200");
    // An element's own long class list is matched without being split into a million names.
    REQUIRE(page->evaluate("var long = document.createElement('p'); long.className = 'a '.repeat(1 << 20) + 'tail';"
                           "document.body.appendChild(long); 'ok'") == "ok");
    {
        AllocationTally tally;
        CHECK(page->evaluate("[by('tail a'), by('a'), by('tail b'), document.querySelectorAll('p.a.tail').length].join()") ==
              "1,201,0,1");
        CHECK(tally.peak() < (256 << 10));
    }

    // A list that fits but whose matching would run for minutes is stopped at the entry's time limit.
    WebPage::Options quick = options;
    quick.scriptMemoryLimit = 64u << 20;
    quick.scriptTimeLimit = 0.3;
    std::string items;
    for (int i = 0; i < 2000; ++i) items += "<i class='a'></i>";
    auto slow = loadPage(*this, client, items, quick);
    REQUIRE(slow->evaluate("var list = 'a '; while (list.length < (1 << 20)) list += list; list.length") ==
            std::to_string(1 << 20));
    const auto start = std::chrono::steady_clock::now();
    CHECK(slow->evaluate("document.getElementsByClassName(list).length").empty());
    CHECK(secondsSince(start) < 10);
    CHECK(slow->scriptsStopped());
}
