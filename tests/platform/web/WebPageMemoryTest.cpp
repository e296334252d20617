// What a page's documents hold: nodes script let go of are freed, what they hold counts against the page's
// memory budget, and image loads take their turn.
#include <doctest/doctest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>

#include "platform/base/URL.h"
#include "platform/net/HTTPURLResponse.h"
#include "platform/net/URLProtocol.h"
#include "platform/net/URLProtocolClass.h"
#include "platform/net/URLProtocolClient.h"
#include "platform/testing/Harness.h"
#include "platform/web/WebPage.h"
#include "platform/web/WebPageClient.h"
#include "tests/platform/web/WebPageTestSupport.h"

using platform::testing::Harness;
using namespace platform;
using platform::webtest::Client;
using platform::webtest::roomy;
using platform::webtest::loadPage;

namespace {


// Answers https://slow.example/N.gif with a 3 x 2 GIF header, but only when the test lets the loads waiting
// go (`release`); counts the loads open at once.
struct SlowImages : URLProtocolClass, std::enable_shared_from_this<SlowImages> {
    struct Loader;
    mutable std::vector<std::weak_ptr<Loader>> open;
    mutable int started = 0;
    mutable std::size_t mostOpen = 0;
    mutable std::size_t mostForOneHost = 0;

    struct Loader : URLProtocol {
        Loader(URLRequest r, std::shared_ptr<URLProtocolClient> c) : URLProtocol(std::move(r), std::move(c)) {}
        bool stopped = false;
        void startLoading() override {}
        void stopLoading() override { stopped = true; }
        void answer() {
            if (stopped) return;
            client()->didReceiveResponse(HTTPURLResponse(request().url(), 200, {}), URLCacheStoragePolicy::NotAllowed);
            std::string body("GIF89a\x03\x00\x02\x00", 10);
            client()->didLoadData(Bytes(body.begin(), body.end()));
            client()->didFinishLoading();
        }
    };
    bool canInitWithRequest(const URLRequest& request) const override { return request.url().host().ends_with("slow.example"); }
    // The most loads open at once for one host.
    std::size_t mostOpenForOneHost() const {
        std::map<std::string, std::size_t> byHost;
        std::size_t most = 0;
        for (const auto& w : open)
            if (auto l = w.lock(); l && !l->stopped) most = std::max(most, ++byHost[l->request().url().host()]);
        return most;
    }
    std::shared_ptr<URLProtocol> create(const URLRequest& request, std::shared_ptr<URLProtocolClient> client) const override {
        auto loader = std::make_shared<Loader>(request, client);
        ++started;
        open.push_back(loader);
        std::erase_if(open, [](const auto& w) {
            auto l = w.lock();
            return !l || l->stopped;
        });
        mostOpen = std::max(mostOpen, open.size());
        mostForOneHost = std::max(mostForOneHost, mostOpenForOneHost());
        return loader;
    }
    // Answers every load open now.
    void release() const {
        auto now = open;
        open.clear();
        for (auto& w : now)
            if (auto l = w.lock()) l->answer();
    }
};

// These pages churn through thousands of nodes, which an instrumented build runs many times slower than a
// phone would: their time limit and share of the thread are not what these tests are about.

} // namespace

TEST_CASE_FIXTURE(Harness, "WebPage: an animation adding and removing elements every frame runs on with its nodes and memory flat") {
    auto client = std::make_shared<Client>();
    auto page = loadPage(*this, client,
                         "<div id='stage'></div><script>var stage = document.getElementById('stage'), frames = 0, failed = '';"
                         "function frame() {"
                         "  try {"
                         "    var made = [];"
                         "    for (var i = 0; i < 20; i++) { var d = document.createElement('div'); d.dot = i; stage.appendChild(d);"
                         "      made.push(d); }"
                         "    for (var k = 0; k < made.length; k++) stage.removeChild(made[k]);"
                         "    frames++;"
                         "  } catch (e) { failed = String(e); return; }"
                         "  requestAnimationFrame(frame);"
                         "}"
                         "requestAnimationFrame(frame);</script>", roomy());
    // Before, the node cap was reached after 2,500 frames and createElement threw from then on.
    std::size_t mostNodes = 0, mostBytes = 0, mostWrappers = 0;
    const std::size_t bytesAtStart = page->document().bytes();
    for (int second = 0; second < 420; ++second) {
        advance(1);
        mostNodes = std::max(mostNodes, page->document().nodeCount());
        mostBytes = std::max(mostBytes, page->document().bytes());
        mostWrappers = std::max(mostWrappers, page->liveWrapperCount());
    }
    CHECK(page->evaluate("failed") == "");
    CHECK(std::stoi(page->evaluate("frames")) >= 25000);
    CHECK(mostNodes < 3 * 4096);
    CHECK(mostBytes < bytesAtStart + 3 * 4096 * 400);
    CHECK(mostWrappers < 3 * 4096);
    CHECK(!page->scriptsStopped());
}

TEST_CASE_FIXTURE(Harness, "WebPage: markup inserted and removed, and documents made and dropped, are let go of") {
    auto client = std::make_shared<Client>();
    auto page = loadPage(*this, client, "<div id='stage'></div><script>var stage = document.getElementById('stage');</script>",
                         roomy());
    // Before, the node cap was reached after 25,000 insertions and 14,000 documents.
    // In short entries, each well inside the time limit of a sanitizer build on a loaded machine.
    std::size_t mostNodes = 0;
    for (int round = 0; round < 120; ++round) {
        REQUIRE(page->evaluate("for (var j = 0; j < 250; j++) { stage.insertAdjacentHTML('beforeend', '<p>x</p>');"
                               "  stage.removeChild(stage.lastChild); } stage.childNodes.length") == "0");
        REQUIRE(page->evaluate("for (var j = 0; j < 125; j++) { var doc = document.implementation.createHTMLDocument('t');"
                               "  doc.body.appendChild(doc.createElement('span')); } doc.body.childNodes.length") == "1");
        mostNodes = std::max(mostNodes, page->document().nodeCount());
    }
    CHECK(mostNodes < 3 * 4096);
    CHECK(page->document().nodeCount() < 3 * 4096);
}

TEST_CASE_FIXTURE(Harness, "WebPage: a node script let go of keeps its wrapper, listeners and fields while its tree can be reached") {
    auto client = std::make_shared<Client>();
    auto page = loadPage(*this, client, "<div id='box'></div>", roomy());
    // Enough nodes made and dropped for a collection or two.
    auto churn = [&] {
        for (int i = 0; i < 4; ++i)
            REQUIRE(page->evaluate("for (var i = 0; i < 2500; i++) document.createElement('u'); 'churned'") == "churned");
    };
    REQUIRE(page->evaluate(
                "var box = document.getElementById('box'), heard = [];"
                // Listeners made apart, so that they hold nothing of the nodes below.
                "function hear(name) { return function () { heard.push(name); }; }"
                "(function () {"
                "  var a = document.createElement('a'); a.id = 'link'; a.note = 'kept';"
                "  a.addEventListener('click', hear('a'));"
                "  box.appendChild(a);"
                // A detached tree held through one of its nodes only: the others keep what was stored on them.
                "  var top = document.createElement('section'), mid = document.createElement('p'), leaf = document.createElement('i');"
                "  top.appendChild(mid); mid.appendChild(leaf); mid.note = 'mid'; leaf.note = 'leaf';"
                "  var weight = 'x'; while (weight.length < (1 << 20)) weight += weight; top.setAttribute('data-weight', weight);"
                "  mid.addEventListener('click', hear('mid'));"
                "  window.heldLeaf = leaf;"
                // A cycle: the listener's closure holds its own element, out of the document and let go of.
                "  var lost = document.createElement('b'); lost.onclick = function () { return lost; };"
                "})();"
                // Declarations, class lists and data sets hold their elements too.
                "var gone = document.createElement('em'); gone.style.width = '3px'; gone.className = 'x y'; gone.dataset.k = 'v';"
                "var style = gone.style, classes = gone.classList, data = gone.dataset; gone = null; 'ok'") == "ok");
    churn();
    CHECK(page->evaluate("[style.width, classes.length, classes[1], data.k].join()") == "3px,2,y,v");
    // Markup built aside with a listener below its top, held by the top alone (as libraries build it),
    // keeps the listener until it joins the document.
    REQUIRE(page->evaluate("var built = document.createElement('div'); built.innerHTML = '<p><a id=\"deep-link\">go</a></p>';"
                           "built.querySelector('a').addEventListener('click', hear('built')); 'ok'") == "ok");
    churn();
    CHECK(page->evaluate("document.body.appendChild(built); built = null; document.getElementById('deep-link').click(); heard.join()") ==
          "built");
    CHECK(page->evaluate("var a = document.getElementById('link'); a.note + ':' + (a === box.firstChild)") == "kept:true");
    CHECK(page->evaluate("heard = []; a.click(); heard.join()") == "a");
    CHECK(page->evaluate("var mid = heldLeaf.parentNode; [mid.note, mid.firstChild.note, mid.parentNode.tagName].join()") ==
          "mid,leaf,SECTION");
    CHECK(page->evaluate("mid.click(); heard.join()") == "a,mid");
    CHECK(page->document().bytes() > (1u << 20));
    // Moved into the document and let go of, it keeps its listener (and fields) there.
    REQUIRE(page->evaluate("box.appendChild(heldLeaf.parentNode.parentNode); heldLeaf = null; mid = null; 'ok'") == "ok");
    churn();
    CHECK(page->evaluate("var p = box.querySelector('p'); p.click(); p.note + ':' + heard.join()") == "mid:a,mid,mid");
    CHECK(page->document().bytes() > (1u << 20));
    // Let go of the tree entirely, and its nodes go with what they held.
    REQUIRE(page->evaluate("box.removeChild(box.lastChild); p = null; 'ok'") == "ok");
    churn();
    CHECK(page->evaluate("box.childNodes.length") == "1");
    CHECK(page->document().bytes() < (1u << 20));
    CHECK(page->liveWrapperCount() < 5000);
}

TEST_CASE_FIXTURE(Harness, "WebPage: what a page's documents hold counts against its memory budget") {
    auto client = std::make_shared<Client>();
    WebPage::Options options = roomy();
    options.scriptMemoryLimit = 32u << 20;
    auto page = loadPage(*this, client, "<div id='big'></div>", options);
    // A 4 MB attribute copied over and over: refused once the copies would pass the budget.
    CHECK(page->evaluate("var big = document.getElementById('big'), four = 'y'; while (four.length < (4 << 20)) four += four;"
                         "big.setAttribute('data-x', four);"
                         "var copies = [], error = '';"
                         "try { for (var i = 0; i < 96; i++) copies.push(big.cloneNode(true)); } catch (e) { error = e.name + ': ' + e.message; }"
                         "error") == "RangeError: out of memory: the page's documents would pass its memory budget");
    const int made = std::stoi(page->evaluate("copies.length"));
    CHECK(made >= 3);
    CHECK(made < 8);
    CHECK(page->document().bytes() <= options.scriptMemoryLimit);
    // The room the documents take is room the heap has not: a string the budget would hold alone fails now.
    CHECK(page->evaluate("try { var s = four + 'z'; 'made' } catch (e) { e.message }") == "alloc failed");
    // Markup, text, attributes and styles are refused the same way, leaving the document as it was.
    CHECK(page->evaluate("var out = [];"
                         "[function () { big.innerHTML = four; },"
                         " function () { big.textContent = four; },"
                         " function () { big.setAttribute('title', four); },"
                         " function () { big.style.width = four; },"
                         " function () { document.createTextNode(four); },"
                         " function () { document.write(four); }].forEach(function (f) {"
                         "  try { f(); out.push('done'); } catch (e) { out.push(e.name); } });"
                         "out.join() + '|' + big.childNodes.length + big.getAttribute('title') + document.body.childNodes.length") ==
          // document.write joins its arguments first: that copy is what the heap refuses.
          "RangeError,RangeError,RangeError,RangeError,RangeError,Error|0null1");
    CHECK(!page->scriptsStopped());
    // Let go of, the copies make room again.
    CHECK(page->evaluate("copies = []; var again = big.cloneNode(true); again.getAttribute('data-x').length") ==
          std::to_string(4 << 20));
    CHECK(page->evaluate("four = again = null; big.innerHTML = '<p>small</p>'; big.textContent") == "small");
}

TEST_CASE_FIXTURE(Harness, "WebPage: image loads wait their turn per host and an image that is gone takes its load and entry") {
    auto protocol = std::make_shared<SlowImages>();
    URLProtocol::registerClass(protocol);
    auto client = std::make_shared<Client>();
    std::string html = "<script>var loaded = 0;</script>";
    for (int i = 0; i < 40; ++i)
        html += "<img src='https://slow.example/" + std::to_string(i) + ".gif' onload='loaded++'>";
    auto page = WebPage::create(html, *URL::parse("https://page.example/"), client, roomy());
    REQUIRE(page);
    page->start();
    runUntilIdle();
    CHECK(protocol->started == SubresourceQueue::MaximumLoadsPerHost);
    // Each answer lets the next ones start; the page's load waits for them all.
    for (int i = 0; i < 20 && client->finished == 0; ++i) {
        protocol->release();
        runUntilIdle();
    }
    CHECK(client->finished == 1);
    CHECK(page->evaluate("loaded") == "40");
    CHECK(protocol->mostOpen <= static_cast<std::size_t>(SubresourceQueue::MaximumLoadsPerHost));

    // Over many hosts: a handful for each.
    auto spread = std::make_shared<SlowImages>();
    URLProtocol::unregisterClass(protocol);
    URLProtocol::registerClass(spread);
    std::string many = "<script>var loaded = 0;</script>";
    for (int i = 0; i < 100; ++i)
        many += "<img src='https://h" + std::to_string(i % 10) + ".slow.example/" + std::to_string(i) + ".gif' onload='loaded++'>";
    auto client2 = std::make_shared<Client>();
    auto wide = WebPage::create(many, *URL::parse("https://page.example/"), client2, roomy());
    REQUIRE(wide);
    wide->start();
    runUntilIdle();
    CHECK(spread->started == 10 * SubresourceQueue::MaximumLoadsPerHost);
    for (int i = 0; i < 40 && client2->finished == 0; ++i) {
        spread->release();
        runUntilIdle();
    }
    CHECK(wide->evaluate("loaded") == "100");
    CHECK(spread->mostForOneHost <= static_cast<std::size_t>(SubresourceQueue::MaximumLoadsPerHost));
    URLProtocol::unregisterClass(spread);
    URLProtocol::registerClass(protocol);

    // Markup of images replaced over and over: the images taken out live until their loads end, no more of them
    // than the queue takes, and the page keeps nothing of those refused.
    const int startedBefore = protocol->started;
    for (int round = 0; round < 160; ++round) {
        REQUIRE(page->evaluate("var box = document.body; for (var i = 0; i < 250; i++)"
                               " box.innerHTML = '<img src=\"https://slow.example/r' + i + '.gif\">'; 'ok'") == "ok");
        runUntilIdle();
    }
    CHECK(page->pendingLoadCount() <= SubresourceQueue::MaximumPendingLoads);
    CHECK(protocol->started - startedBefore < 3 * 4096);
    CHECK(page->imageCount() < 3 * 4096);
    URLProtocol::unregisterClass(protocol);
}

TEST_CASE_FIXTURE(Harness, "WebPage: tens of thousands of nodes go into an element a thousand deep in one step") {
    auto client = std::make_shared<Client>();
    auto page = loadPage(*this, client, "<p>x</p>");
    // Made with time to spare (markup of tens of thousands of nodes takes a while in an instrumented build):
    // an element a thousand deep, built bottom-up, and two fragments of 30,000 children each.
    page->script()->setTimeLimit(60);
    REQUIRE(page->evaluate("var deep = document.createElement('div'), top = deep;"
                           "for (var i = 1; i < 1000; i++) { var p = document.createElement('div'); p.appendChild(top); top = p; }"
                           "document.body.appendChild(top);"
                           "function fragmentOf(tag) { var f = document.createDocumentFragment(), mark = f.appendChild(document.createElement('span'));"
                           "  mark.insertAdjacentHTML('afterend', new Array(30001).join('<' + tag + '></' + tag + '>'));"
                           "  f.removeChild(mark); return f; }"
                           "var f = fragmentOf('i'), g = fragmentOf('b'); [f.firstChild.tagName, g.lastChild.tagName].join()") == "I,B");
    // Each child once, not once per level above it, nor a shift of the fragment's list per child: well
    // inside a second (before, the page was stopped at its time limit inside the first call).
    page->script()->setTimeLimit(ScriptContext::DefaultTimeLimit * webtest::kInstrumentedSlowdown);
    CHECK(page->evaluate("deep.appendChild(f); [f.firstChild, deep.childElementCount, deep.lastChild.tagName].join()") ==
          ",30000,I");
    CHECK(page->evaluate("deep.insertBefore(g, deep.firstChild);"
                         "[deep.childElementCount, deep.firstChild.tagName, deep.firstElementChild.tagName, deep.lastElementChild.tagName].join()") ==
          "60000,B,B,I");
    CHECK(!page->scriptsStopped());
    // Markup beside and inside it goes in the same way.
    page->script()->setTimeLimit(60);
    CHECK(page->evaluate("deep.insertAdjacentHTML('afterbegin', '<u></u><u></u>'); deep.insertAdjacentHTML('beforeend', '<s></s>');"
                         "[deep.childElementCount, deep.firstChild.tagName, deep.lastChild.tagName].join()") == "60003,U,S");
}

TEST_CASE_FIXTURE(Harness, "WebPage: an element taken out while a finger is on it still hears the touch end, whatever was collected meanwhile") {
    auto client = std::make_shared<Client>();
    auto page = loadPage(*this, client,
                         "<div id='pad' style='width:100px;height:100px'></div><script>var heard = [];"
                         "(function () { var pad = document.getElementById('pad');"
                         "  pad.addEventListener('touchstart', function () { heard.push('start'); pad.parentNode.removeChild(pad); pad = null; });"
                         "  pad.addEventListener('touchend', function () { heard.push('end'); });"
                         "})();</script>",
                         roomy());
    page->touch(WebPage::TouchKind::Start, Point{10, 10});
    // Nodes made and dropped in between, enough for a collection.
    REQUIRE(page->evaluate("for (var i = 0; i < 5000; i++) document.createElement('u'); heard.join()") == "start");
    page->touch(WebPage::TouchKind::End, Point{10, 10});
    CHECK(page->evaluate("heard.join()") == "start,end");
}

TEST_CASE_FIXTURE(Harness, "WebPage: wrappers a page froze are left as they are by collections") {
    auto client = std::make_shared<Client>();
    auto page = loadPage(*this, client, "<div id='box'></div>", roomy());
    const std::string churn = "for (var i = 0; i < 5000; i++) document.createElement('u'); 'churned'";
    REQUIRE(page->evaluate("var top = document.createElement('p'), leaf = top.appendChild(document.createElement('b'));"
                           "top.note = 'top'; leaf.note = 'leaf'; 'ok'") == "ok");
    REQUIRE(page->evaluate(churn) == "churned");  // the two are kept together now
    REQUIRE(page->evaluate("Object.freeze(top); Object.seal(leaf); document.getElementById('box').appendChild(top); 'ok'") == "ok");
    CHECK(page->evaluate(churn) == "churned");
    REQUIRE(page->evaluate("document.getElementById('box').removeChild(top); leaf = null; 'ok'") == "ok");
    CHECK(page->evaluate(churn) == "churned");
    CHECK(page->evaluate("[Object.isFrozen(top), top.note, top.firstChild.note].join()") == "true,top,leaf");
}

TEST_CASE_FIXTURE(Harness, "WebPage: reaching the node cap collects before it refuses, and every refusal throws") {
    auto client = std::make_shared<Client>();
    WebPage::Options options = roomy();
    options.scriptTimeLimit = 60;
    options.scriptShare = 1000;
    auto page = loadPage(*this, client,
                         "<div id='live'></div><div id='el'>kept</div><script>"
                         "var live = document.getElementById('live'), el = document.getElementById('el');"
                         "for (var i = 0; i < 50000; i++) live.appendChild(document.createElement('i'));"
                         "var made = 0, failed = '';"
                         "var churn = setInterval(function () {"
                         "  try { for (var k = 0; k < 15000; k++) { document.createElement('span'); made++; } }"
                         "  catch (e) { failed = e.name + ': ' + e.message; clearInterval(churn); }"
                         "}, 100);</script>",
                         options);
    // 50,000 live and 15,000 made and dropped a tick: the cap is reached every few ticks and collected.
    advance(0.75);
    CHECK(page->evaluate("failed") == "");
    CHECK(page->evaluate("made") == "105000");
    CHECK(page->document().nodeCount() <= DOMDocument::MaximumNodes);
    page->evaluate("clearInterval(churn)");

    // Held, nodes fill the document: the refusal throws, and leaves what it would have changed as it was.
    CHECK(page->evaluate("var held = [], refusal = '';"
                         "try { for (;;) held.push(document.createElement('b')); } catch (e) { refusal = e.name + ': ' + e.message; }"
                         "refusal") == "RangeError: the document holds too many nodes");
    CHECK(page->document().nodeCount() == DOMDocument::MaximumNodes);
    CHECK(page->evaluate("var out = [];"
                         "[function () { el.textContent = 'hello'; },"
                         " function () { el.innerHTML = '<b>bold</b>'; },"
                         " function () { el.insertAdjacentHTML('beforeend', '<b>bold</b>'); },"
                         " function () { el.cloneNode(true); },"
                         " function () { document.createTextNode('t'); },"
                         " function () { document.createDocumentFragment(); },"
                         " function () { document.implementation.createHTMLDocument('x'); }].forEach(function (f) {"
                         "  try { f(); out.push('done'); } catch (e) { out.push(e.name); } });"
                         "out.join() + '|' + el.innerHTML") ==
          "RangeError,RangeError,RangeError,RangeError,RangeError,RangeError,RangeError|kept");
    // Let go of, they make room at the next creation.
    CHECK(page->evaluate("held = null; el.textContent = 'hello'; el.innerHTML += '<b>bold</b>'; el.innerHTML") ==
          "hello<b>bold</b>");
    CHECK(page->document().nodeCount() < 60000);
    CHECK(!page->scriptsStopped());
}

TEST_CASE_FIXTURE(Harness, "WebPage: a carousel swapping slide markup runs for minutes within its budget") {
    auto client = std::make_shared<Client>();
    WebPage::Options options = roomy();
    // A quarter of the size of a real carousel's budget and markup: a slide is two nodes and 25 KB of text,
    // so the documents' bytes, not their count of nodes, call for collections.
    options.scriptMemoryLimit = 16u << 20;
    auto page = loadPage(*this, client,
                         "<div id='stage'></div><script>"
                         "var stage = document.getElementById('stage'), swaps = 0, failures = 0, first = '';"
                         "var words = 'Summer sale: everything must go, up to seventy percent off &amp; more. ';"
                         "setInterval(function () {"
                         "  try {"
                         "    var html = '';"
                         "    for (var w = 0; w < 340; w++) html += words + (swaps + w);"
                         "    stage.innerHTML = '<div class=\"slide\">' + html + '</div>';"
                         "    swaps++;"
                         "  } catch (e) { failures++; if (!first) first = e.name + ': ' + e.message + ' at ' + swaps; }"
                         "}, 250);</script>",
                         options);
    CHECK(std::stoi(page->evaluate("stage.innerHTML.length")) == 0);
    for (int second = 0; second < 240; ++second) advance(1);
    CHECK(page->evaluate("first") == "");
    CHECK(page->evaluate("failures") == "0");
    CHECK(std::stoi(page->evaluate("swaps")) >= 950);
    CHECK(page->evaluate("document.querySelectorAll('.slide').length") == "1");
    CHECK(std::stoi(page->evaluate("stage.innerHTML.length")) > 20000);
    CHECK(page->document().bytes() + page->chargedBytes() < options.scriptMemoryLimit / 2);
    CHECK(!page->scriptsStopped());
}

TEST_CASE_FIXTURE(Harness, "WebPage: a heap refused room gets what the documents let go of by its next entry") {
    auto client = std::make_shared<Client>();
    WebPage::Options options = roomy();
    options.scriptMemoryLimit = 24u << 20;
    auto page = loadPage(*this, client, "<div id='keep'></div>", options);
    // 8 MB kept in the document, 4 MB let go of: together less than the documents' doubling, and the
    // budget not yet short, so no collection is due.
    CHECK(page->evaluate("function text(n) { var s = 'x'; while (s.length < n) s += s; return s; }"
                         "document.getElementById('keep').setAttribute('data-k', text(8 << 20));"
                         "var g = document.createElement('p'); g.textContent = text(4 << 20); g = null;"
                         "document.body.childNodes.length") == "1");
    CHECK(page->document().bytes() > (12u << 20));
    // 13 MB refused while they hold it...
    CHECK(page->evaluate("var result = ''; try { var b = new Uint8Array(13 << 20); 'made' } catch (e) { e.message }") ==
          "alloc failed");
    // ...the page's next entry finds the room.
    page->evaluate("setTimeout(function () { try { result = new Uint8Array(13 << 20).length; } catch (e) { result = e.message; } }, 0)");
    advance(0.01);
    CHECK(page->evaluate("result") == std::to_string(13 << 20));
    CHECK(page->document().bytes() < (9u << 20));
    CHECK(!page->scriptsStopped());
}
