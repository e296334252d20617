#include <doctest/doctest.h>

#include <cmath>
#include <memory>
#include <string>

#include "platform/base/Log.h"
#include "platform/base/URL.h"
#include "platform/net/HTTPURLResponse.h"
#include "platform/net/URLProtocol.h"
#include "platform/net/URLProtocolClass.h"
#include "platform/net/URLProtocolClient.h"
#include "platform/runloop/Clock.h"
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

// Answers https://img.example/NAME.gif with a 3 x 2 GIF header, and anything else there with text.
struct ImageProtocolClass : URLProtocolClass {
    mutable std::vector<std::string> requested;
    bool canInitWithRequest(const URLRequest& request) const override { return request.url().host() == "img.example"; }
    std::shared_ptr<URLProtocol> create(const URLRequest& request, std::shared_ptr<URLProtocolClient> client) const override {
        requested.push_back(request.url().percentEncodedPath());
        struct Loader : URLProtocol {
            Loader(URLRequest r, std::shared_ptr<URLProtocolClient> c) : URLProtocol(std::move(r), std::move(c)) {}
            void startLoading() override {
                client()->didReceiveResponse(HTTPURLResponse(request().url(), 200, {}), URLCacheStoragePolicy::NotAllowed);
                const std::string& path = request().url().percentEncodedPath();
                std::string body = path.ends_with(".gif") ? std::string("GIF89a\x03\x00\x02\x00", 10) : "not an image";
                client()->didLoadData(Bytes(body.begin(), body.end()));
                client()->didFinishLoading();
            }
            void stopLoading() override {}
        };
        return std::make_shared<Loader>(request, client);
    }
};

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

TEST_CASE_FIXTURE(Harness, "WebPage: cloneNode copies a node alone or with its subtree, and the copy stands apart") {
    auto client = std::make_shared<Client>();
    auto page = loadPage(*this, client, "<div id='a' class='k' style='width: 5px' data-x='1'>one<b>two</b><!--c--></div>"
                                        "<script>var clicks = 0; document.getElementById('a').onclick = function(){ clicks++; };"
                                        "</script>");
    CHECK(page->evaluate("var a = document.getElementById('a'); var s = a.cloneNode();"
                         "[s.parentNode, s.childNodes.length, s.outerHTML].join('|')") ==
          "|0|<div id=\"a\" class=\"k\" style=\"width: 5px;\" data-x=\"1\"></div>");
    CHECK(page->evaluate("var d = a.cloneNode(true); d.outerHTML === a.outerHTML && d !== a") == "true");
    CHECK(page->evaluate("d.lastChild.nodeType + ':' + d.lastChild.data + ':' + d.firstChild.cloneNode().data") == "8:c:one");
    CHECK(page->evaluate("(d instanceof HTMLElement) + ':' + (d.lastChild instanceof Node) + ':' + (d.lastChild instanceof Element)") ==
          "true:true:false");
    // The copy is its own: changing it leaves the original, and listeners are not copied.
    CHECK(page->evaluate("d.firstChild.data = 'uno'; d.style.width = '9px'; d.id = 'b'; document.body.appendChild(d);"
                         "a.firstChild.data + a.style.width + document.querySelectorAll('div').length") == "one5px2");
    CHECK(page->evaluate("d.click(); a.click(); clicks") == "1");
    Error error;
    CHECK(page->evaluate("document.cloneNode(true)", &error).empty());
    CHECK(error.description.find("NotSupportedError") != std::string::npos);
}

TEST_CASE_FIXTURE(Harness, "WebPage: a copy that would pass the node cap fails as a script error and makes nothing") {
    auto client = std::make_shared<Client>();
    auto page = loadPage(*this, client, "<div id='a'></div>");
    // Fill the document close to its cap with nodes script may hold, then copy more than what is left.
    REQUIRE(page->evaluate("var a = document.getElementById('a'); for (var j = 0; j < 3000; j++) a.appendChild(document.createElement('i'));"
                           "a.childNodes.length") == "3000");
    while (page->document().nodeCount() < DOMDocument::MaximumNodes - 2000)
        page->document().createTextNode("x")->markExposed();
    // No partial copy: the deep one fails and makes nothing; a shallow one still fits.
    CHECK(page->evaluate("try { a.cloneNode(true); 'made' } catch (e) { e.name }") == "RangeError");
    CHECK(page->document().nodeCount() == DOMDocument::MaximumNodes - 2000);
    CHECK(page->evaluate("a.cloneNode(false).tagName") == "DIV");
    CHECK(page->evaluate("a.childNodes.length") == "3000");
}

TEST_CASE_FIXTURE(Harness, "WebPage: classList reads and edits the class attribute as an ordered set of tokens") {
    auto client = std::make_shared<Client>();
    auto page = loadPage(*this, client, "<div id='a' class='  one two\tone '></div>");
    CHECK(page->evaluate("var c = document.getElementById('a').classList; [c.length, c.item(0), c.item(1), c.item(2), c.value].join('|')") ==
          "2|one|two||  one two\tone ");
    CHECK(page->evaluate("c.add('three', 'one'); c.remove('two', 'absent'); document.getElementById('a').className") ==
          "one three");
    CHECK(page->evaluate("[c.toggle('four'), c.toggle('four'), c.toggle('one', true), c.toggle('five', false), c.contains('one'),"
                         " c.contains('five')].join()") == "true,false,true,false,true,false");
    CHECK(page->evaluate("[c.replace('one', 'uno'), c.replace('absent', 'x'), c.replace('uno', 'three'), String(c)].join()") ==
          "true,false,true,three");
    // Tokens are single words: empty ones and white space are errors, as on phones.
    CHECK(page->evaluate("var errs = []; ['', 'a b'].forEach(function (t) { try { c.add(t); } catch (e) { errs.push(e.message.split(':')[0]); } });"
                         "errs.join()") == "SyntaxError,InvalidCharacterError");
    CHECK(page->evaluate("c.value = 'x y'; c.length + document.getElementById('a').getAttribute('class')") == "2x y");
}

TEST_CASE_FIXTURE(Harness, "WebPage: closest and matches test an element and its ancestors against a selector") {
    auto client = std::make_shared<Client>();
    auto page = loadPage(*this, client, "<div class='ad' id='outer'><section><p class='cta'><b id='in'>go</b></p></section></div>");
    CHECK(page->evaluate("var b = document.getElementById('in');"
                         "[b.closest('b').id, b.closest('.ad').id, b.closest('section p').className, b.closest('.absent'),"
                         " b.closest('div.ad b').id].join('|')") == "in|outer|cta||in");
    CHECK(page->evaluate("[b.matches('b'), b.matches('.ad b'), b.matches('p, i'), b.webkitMatchesSelector('#in')].join()") ==
          "true,true,false,true");
    // Text nodes have no closest; a detached element looks no further than its own subtree.
    CHECK(page->evaluate("var d = document.createElement('span'); d.appendChild(b.cloneNode(true));"
                         "typeof b.firstChild.closest + ':' + d.firstChild.closest('.ad') + ':' + d.firstChild.closest('span').tagName") ==
          "undefined:null:SPAN");
}

TEST_CASE_FIXTURE(Harness, "WebPage: dataset reads and writes data attributes by their camel-cased names") {
    auto client = std::make_shared<Client>();
    auto page = loadPage(*this, client, "<div id='a' data-click-url='https://x.example/c' data-id='7' title='t'></div>");
    CHECK(page->evaluate("var ds = document.getElementById('a').dataset; [ds.clickUrl, ds.id, ds.title, 'id' in ds, 'title' in ds].join('|')") ==
          "https://x.example/c|7||true|false");
    CHECK(page->evaluate("ds.creativeSize = 320; ds.x = 'y'; delete ds.id; Object.keys(ds).join()") == "clickUrl,creativeSize,x");
    CHECK(page->evaluate("document.getElementById('a').getAttribute('data-creative-size')") == "320");
    CHECK(page->evaluate("try { ds['bad-name'] = 1; 'set' } catch (e) { e.message.split(':')[0] }") == "SyntaxError");
}

TEST_CASE_FIXTURE(Harness, "WebPage: inserting a document fragment moves its children in order") {
    auto client = std::make_shared<Client>();
    auto page = loadPage(*this, client, "<ul id='l'><li>z</li></ul>");
    CHECK(page->evaluate("var f = document.createDocumentFragment(); ['a', 'b'].forEach(function (t) {"
                         " var li = document.createElement('li'); li.textContent = t; f.appendChild(li); });"
                         "f.lastChild.id = 'b'; var seen = [f.children.length, f.firstElementChild.textContent,"
                         " f.querySelectorAll('li').length, f.querySelector('li').textContent, f.getElementById('b').textContent,"
                         " f.getElementById('l')].join('|'); f.lastChild.removeAttribute('id'); seen") == "2|a|2|a|b|");
    CHECK(page->evaluate("var l = document.getElementById('l'); l.insertBefore(f, l.firstChild);"
                         "[f.nodeType, f.nodeName, f.childNodes.length, l.textContent].join('|')") == "11|#document-fragment|0|abz");
    CHECK(page->document().body()->innerHTML() == "<ul id=\"l\"><li>a</li><li>b</li><li>z</li></ul>");
}

TEST_CASE_FIXTURE(Harness, "WebPage: images inserted as markup are fetched and fire load or error") {
    auto protocol = std::make_shared<ImageProtocolClass>();
    URLProtocol::registerClass(protocol);
    auto client = std::make_shared<Client>();
    auto page = loadPage(*this, client, "<div id='box'></div><script>var seen = [];"
                                        "function note(e) { seen.push(e.type + ':' + e.target.getAttribute('src')); }"
                                        "document.addEventListener('load', note, true); document.addEventListener('error', note, true);"
                                        "document.write('<img src=\"https://img.example/w.gif\" onload=\"note(event)\">');</script>");
    // Events on images do not bubble; handlers on the images themselves hear them.
    page->evaluate("var box = document.getElementById('box');"
                   "box.innerHTML = '<p><img src=\"https://img.example/i.gif\" onload=\"note(event)\"></p>';"
                   "box.insertAdjacentHTML('beforeend', '<img src=\"https://img.example/bad.txt\" onerror=\"note(event)\">');"
                   "var held = document.createElement('div'); held.innerHTML = '<img src=\"https://img.example/later.gif\" onload=\"note(event)\">';");
    CHECK(runUntil([&] { return page->evaluate("seen.length") == "3"; }));
    CHECK(page->evaluate("seen.sort().join()") ==
          "error:https://img.example/bad.txt,load:https://img.example/i.gif,load:https://img.example/w.gif");
    CHECK(page->evaluate("box.querySelector('img').naturalWidth + 'x' + box.querySelector('img').naturalHeight") == "3x2");
    // Markup held out of the document loads when it joins it, once.
    page->evaluate("box.appendChild(held); box.removeChild(held); box.appendChild(held);");
    CHECK(runUntil([&] { return page->evaluate("seen.length") == "4"; }));
    runUntilIdle();
    CHECK(protocol->requested.size() == 4);
    URLProtocol::unregisterClass(protocol);
}

TEST_CASE_FIXTURE(Harness, "WebPage: animation frames run at the display's rate with a timestamp on the app's clock") {
    auto client = std::make_shared<Client>();
    auto page = loadPage(*this, client, "<script>var frames = [], t0 = performance.now();"
                                        "function tick(ts) { frames.push(ts); if (frames.length < 3) requestAnimationFrame(tick); }"
                                        "requestAnimationFrame(tick); var dropped = requestAnimationFrame(function () { frames.push('no'); });"
                                        "cancelAnimationFrame(dropped);</script>");
    CHECK(page->evaluate("frames.length") == "0");
    advance(WebPage::FrameInterval);
    CHECK(page->evaluate("frames.length") == "1");
    // One callback per frame, each asked for from the one before: three frames, a frame apart.
    advance(WebPage::FrameInterval);
    advance(WebPage::FrameInterval);
    advance(1);
    CHECK(page->evaluate("frames.length") == "3");
    CHECK(page->evaluate("var ok = frames[0] > t0 && frames[0] <= t0 + 1000 / 60 + 0.01;"
                         "for (var i = 1; i < 3; i++) ok = ok && Math.abs(frames[i] - frames[i - 1] - 1000 / 60) < 0.01; ok") == "true");
    // A callback asking for the next frame every time runs once a frame, whatever the clock's reading.
    page->evaluate("var count = 0; (function again() { count++; requestAnimationFrame(again); })();");
    for (int i = 0; i < 4; ++i) advance(0.25);
    CHECK(std::abs(std::stoi(page->evaluate("count")) - 61) <= 1);
    page->evaluate("count = -1e9;");  // the chain goes on, but no longer matters
    // Date and performance.now follow the app's clock too.
    CHECK(page->evaluate("var d0 = Date.now(), p0 = performance.now(); 'x'") == "x");
    advance(2);
    CHECK(page->evaluate("Math.round((Date.now() - d0) / 100) + ':' + Math.round((performance.now() - p0) / 100) + ':' +"
                         "Math.round((new Date().getTime() - d0) / 100) + ':' + (new Date(0) instanceof Date)") == "20:20:20:true");
    CHECK(page->pendingFrameCallbackCount() == 1);
}

TEST_CASE_FIXTURE(Harness, "WebPage: animation frame callbacks are capped and each frame runs under the time limit") {
    LogCapture logs;
    auto client = std::make_shared<Client>();
    WebPage::Options options;
    options.scriptTimeLimit = 0.2;
    auto page = loadPage(*this, client, "<p>x</p>", options);
    const std::string n = std::to_string(WebPage::MaximumFrameCallbacks + 500);
    CHECK(page->evaluate("var ran = 0, ids = []; for (var i = 0; i < " + n + "; i++) ids.push(requestAnimationFrame(function () { ran++; }));"
                         "ids.filter(function (id) { return id === 0; }).length") == "500");
    CHECK(page->pendingFrameCallbackCount() == WebPage::MaximumFrameCallbacks);
    advance(WebPage::FrameInterval);
    CHECK(page->evaluate("ran") == std::to_string(WebPage::MaximumFrameCallbacks));
    // A frame callback that never returns is stopped like any other entry, and the page with it.
    page->evaluate("requestAnimationFrame(function () { for (;;) {} });");
    advance(WebPage::FrameInterval);
    CHECK(page->scriptsStopped());
    CHECK(page->pendingFrameCallbackCount() == 0);
    CHECK(page->evaluate("requestAnimationFrame(function () {})").empty());
}

TEST_CASE_FIXTURE(Harness, "WebPage: matchMedia answers the queries it reads from the viewport, portrait or landscape, and no others") {
    auto client = std::make_shared<Client>();
    WebPage::Options options;
    options.viewport = Size{320, 480};
    options.devicePixelRatio = 2;
    auto page = loadPage(*this, client, "<p>x</p>", options);
    // Each query's answer as 1 or 0, in order.
    auto answers = [&](const std::string& queries) {
        return page->evaluate("['" + queries + "'].map(function (q) { return matchMedia(q).matches ? 1 : 0; }).join('')");
    };
    CHECK(answers("all', 'screen', 'print', 'ALL', '', 'only screen', 'not print', 'not screen', 'tv', 'not tv") ==
          "1101111001");
    CHECK(answers("(max-width: 9999px)', '(min-width: 320px)', '(min-width:321px)', '(max-width: 319.5px)', "
                  "'(min-height: 480px)', '(max-height: 479px)', '( MAX-WIDTH : 320PX )', '(min-width: 0)") ==
          "11001011");
    CHECK(answers("(orientation: portrait)', '(orientation: landscape)', 'not (orientation: landscape)") == "101");
    CHECK(answers("(min-device-pixel-ratio: 2)', '(max-device-pixel-ratio: 1.5)', "
                  "'(-webkit-min-device-pixel-ratio: 1.5)', '(-webkit-max-device-pixel-ratio: 3)', "
                  "'only screen and (-webkit-min-device-pixel-ratio: 2.5)") == "10110");
    // Features joined by and must all hold; a comma list needs one query to.
    CHECK(answers("screen and (min-width: 300px) and (orientation: portrait)', "
                  "'screen and (min-width: 300px) and (orientation: landscape)', "
                  "'print, (max-width: 100px), (min-height: 400px)', 'print, (max-width: 100px)") == "1010");
    // Anything it cannot read matches nothing, negated or not.
    CHECK(answers("(min-width: 300em)', '(min-width: 300)', '(width: 320px)', '(min-resolution: 2dppx)', "
                  "'not (min-width: 300em)', 'screen and', 'only (min-width: 0)', 'and', '(min-width: 0px', "
                  "'(color)', 'screen or print', '(orientation: sideways)', 'not not all") == "0000000000000");
    CHECK(page->evaluate("var m = matchMedia('(max-width: 600px)'); m.media + ':' + typeof m.addListener") ==
          "(max-width: 600px):function");

    options.viewport = Size{1024, 768};
    options.devicePixelRatio = 1;
    auto wide = loadPage(*this, std::make_shared<Client>(), "<p>x</p>", options);
    CHECK(wide->evaluate("[matchMedia('(orientation: landscape)').matches, matchMedia('(orientation: portrait)').matches,"
                         " matchMedia('(min-width: 1000px) and (max-height: 800px)').matches,"
                         " matchMedia('(min-device-pixel-ratio: 2)').matches].join()") == "true,false,true,false");
}
