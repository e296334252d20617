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
#include "platform/ui/Bitmap.h"
#include "platform/web/WebPage.h"
#include "platform/web/WebPageClient.h"
#include "tests/platform/web/WebPageTestSupport.h"

using platform::testing::Harness;
using namespace platform;
using platform::webtest::Client;
using platform::webtest::loadPage;

namespace {


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
    // Held in the tree, so no collection takes them.
    auto body = page->document().body();
    while (page->document().nodeCount() < DOMDocument::MaximumNodes - 2000) body->appendChild(page->document().createTextNode("x"));
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
    // Indexed as an array, and live.
    CHECK(page->evaluate("[c[0], c[1], c[2], '1' in c, '2' in c, c['01']].join('|')") == "x|y||true|false|");
    CHECK(page->evaluate("c.add('z'); var seen = []; for (var i = 0; i < c.length; i++) seen.push(c[i]); seen.join()") == "x,y,z");
    // No tokens and no attribute: the attribute stays absent.
    CHECK(page->evaluate("var e = document.createElement('p'); e.classList.add(); e.classList.remove('gone');"
                         "e.hasAttribute('class') + ':' + e.outerHTML") == "false:<p></p>");
    CHECK(page->evaluate("e.className = 'k'; e.classList.remove('k'); e.hasAttribute('class') + ':' + e.outerHTML") ==
          "true:<p class=\"\"></p>");
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

TEST_CASE_FIXTURE(Harness, "WebPage: a fragment's children move into another fragment, all of them or none") {
    auto client = std::make_shared<Client>();
    auto page = loadPage(*this, client, "<ul id='l'><li id='z'>z</li></ul>");
    CHECK(page->evaluate("function li(t) { var e = document.createElement('li'); e.textContent = t; return e; }"
                         "var f = document.createDocumentFragment(), g = document.createDocumentFragment();"
                         "g.appendChild(li('a')); g.appendChild(li('b')); f.appendChild(li('0')); f.appendChild(g);"
                         "[f.childNodes.length, f.textContent, g.childNodes.length, f.lastChild.nodeType].join('|')") == "3|0ab|0|1");
    // A script among the children runs once all are in, so it cannot strand the rest half way.
    CHECK(page->evaluate("var s = document.createElement('script'); s.textContent = 'var z = document.getElementById(\"z\"); z.parentNode.removeChild(z);';"
                         "f.insertBefore(s, f.firstChild); var l = document.getElementById('l');"
                         "l.insertBefore(f, document.getElementById('z'));"
                         "[f.childNodes.length, l.children.length, l.textContent.indexOf('0ab') > 0, document.getElementById('z')].join('|')") ==
          "0|4|true|");
    // Refused inserts leave the fragment whole.
    CHECK(page->evaluate("g.appendChild(li('c')); g.appendChild(li('d')); var errs = [];"
                         "[function () { g.firstChild.appendChild(g); }, function () { l.firstChild.firstChild.appendChild(g); },"
                         " function () { l.insertBefore(g, li('elsewhere')); }, function () { g.appendChild(g); }].forEach(function (f) {"
                         " try { f(); } catch (e) { errs.push(e.message); } });"
                         "errs.length + ':' + g.textContent") == "4:cd");
}

TEST_CASE_FIXTURE(Harness, "WebPage: insertAdjacentHTML beside an element works under any parent but a document") {
    auto client = std::make_shared<Client>();
    auto page = loadPage(*this, client, "<p id='p'>x</p>");
    CHECK(page->evaluate("var f = document.createDocumentFragment(), s = document.createElement('span'); f.appendChild(s);"
                         "s.insertAdjacentHTML('afterend', '<b>1</b>2'); s.insertAdjacentHTML('beforebegin', '<i>0</i>');"
                         "var names = []; for (var n = f.firstChild; n; n = n.nextSibling) names.push(n.nodeName); names.join()") ==
          "I,SPAN,B,#text");
    CHECK(page->evaluate("var errs = []; [document.createElement('div'), document.documentElement].forEach(function (e) {"
                         " try { e.insertAdjacentHTML('afterend', '<b></b>'); } catch (x) { errs.push(x.message.split(':')[0]); } });"
                         "errs.join()") == "NoModificationAllowedError,NoModificationAllowedError");
}

TEST_CASE_FIXTURE(Harness, "WebPage: createHTMLDocument makes a document of its own that its nodes belong to") {
    auto client = std::make_shared<Client>();
    auto page = loadPage(*this, client, "<title>Main</title><p id='p'>x</p>");
    CHECK(page->evaluate("var d = document.implementation.createHTMLDocument('Side  doc ');"
                         "[d.nodeType, d.nodeName, d.title, document.title, d.documentElement.tagName, d.head.parentNode === d.documentElement,"
                         " d.body.parentNode === d.documentElement, d.documentElement.parentNode === d, d.body !== document.body,"
                         " d.ownerDocument, document.ownerDocument].join('|')") == "9|#document|Side doc|Main|HTML|true|true|true|true||");
    CHECK(page->evaluate("var u = document.implementation.createHTMLDocument(); [u.title, u.head.childNodes.length].join('|')") == "|0");
    // Its nodes, parsed or made by it, are its own, in its tree or out of it; the page's stay the page's.
    CHECK(page->evaluate("d.body.innerHTML = '<div id=\"in\"><b>t</b></div>'; var b = d.getElementById('in').firstChild;"
                         "var made = d.createElement('i'), text = d.createTextNode('t'), frag = d.createDocumentFragment();"
                         "[b.ownerDocument === d, made.ownerDocument === d, text.ownerDocument === d, frag.ownerDocument === d,"
                         " b.cloneNode(true).ownerDocument === d, b.getRootNode() === d, b.isConnected,"
                         " document.getElementById('p').ownerDocument === document, document.createElement('a').ownerDocument === document,"
                         " d.querySelectorAll('b').length, d.getElementsByTagName('div').length, document.getElementById('in')].join('|')") ==
          "true|true|true|true|true|true|false|true|true|1|1|");
    // A node taken out of its tree stays with its document; one moved into the page's belongs to it from then on.
    CHECK(page->evaluate("var div = d.getElementById('in'); d.body.removeChild(div); var owned = [div.ownerDocument === d, b.ownerDocument === d];"
                         "document.body.appendChild(div); owned.push(div.ownerDocument === document, b.ownerDocument === document);"
                         "document.body.removeChild(div); owned.push(div.ownerDocument === document);"
                         "d.body.appendChild(made); d.body.innerHTML = ''; owned.push(made.ownerDocument === d); owned.join()") ==
          "true,true,true,true,true,true");
    // Nodes of different documents are disconnected, in one fixed order of the two trees.
    CHECK(page->evaluate("var x = document.getElementById('p'), y = d.body, z = d.head;"
                         "[x.compareDocumentPosition(y), y.compareDocumentPosition(x), x.compareDocumentPosition(z), d.compareDocumentPosition(x),"
                         " (x.compareDocumentPosition(y) & 4) === (document.body.compareDocumentPosition(d) & 4)].join()") ==
          "37,35,37,35,true");
    CHECK(page->evaluate("var r = []; [null, {}, 'x'].forEach(function (o) { try { x.compareDocumentPosition(o); } catch (e) { r.push(e.name); } });"
                         "r.join()") == "TypeError,TypeError,TypeError");
}

TEST_CASE_FIXTURE(Harness, "WebPage: element sizes and places are the boxes the paint model draws") {
    auto client = std::make_shared<Client>();
    // 320 x 480 viewport; text is 8 px a character on 16 px lines.
    auto page = loadPage(*this, client, "<body><p id='p'>hello</p>"
                                        "<div id='w' style='width:100px;background:#00f'>abcdefghijklmnopqrstuvwxyz</div>"
                                        "<div id='s' style='width:50px;height:20px'></div>"
                                        "<div id='a' style='position:absolute;left:10px;top:300px'>x</div>"
                                        "<span id='h' style='display:none'><b id='in'>hidden</b></span><img id='i'></body>");
    auto rect = [&](const std::string& id) {
        return page->evaluate("var r = document.getElementById('" + id + "').getBoundingClientRect();"
                              "[r.left, r.top, r.width, r.height, r.right, r.bottom].join()");
    };
    CHECK(rect("p") == "0,0,320,16,320,16");
    CHECK(rect("w") == "0,16,100,48,100,64");  // a width alone: its text wraps inside it, its height is the text's
    CHECK(rect("s") == "0,64,50,20,50,84");
    CHECK(rect("a") == "10,300,320,16,330,316");  // positioned: where it is put, taking no room
    CHECK(rect("i") == "0,84,0,0,0,84");          // an image without a picture has no size
    CHECK(page->evaluate("var b = document.body; [b.offsetWidth, b.offsetHeight, b.clientWidth, b.clientHeight].join()") == "320,84,320,84");
    // The root element spans the content; its client area is the viewport.
    CHECK(page->evaluate("var h = document.documentElement; [h.offsetWidth, h.offsetHeight, h.clientWidth, h.clientHeight].join()") ==
          "320,84,320,480");
    // Nothing drawn, nothing measured: not displayed, inside what is not, or out of the document.
    CHECK(page->evaluate("var out = []; [document.getElementById('h'), document.getElementById('in'), document.createElement('div'),"
                         " document.head].forEach(function (e) { var r = e.getBoundingClientRect();"
                         " out.push(e.offsetWidth + e.offsetHeight + e.clientWidth + r.width + r.height + r.top + e.getClientRects().length); });"
                         "out.join()") == "0,0,0,0");
    CHECK(page->evaluate("var c = document.getElementById('s').getClientRects(); c.length + ':' + c[0].top + ':' + c.item(0).height") ==
          "1:64:20");
    // The pixels are the same boxes: the blue box is 100 x 48 less its 26 characters of black text.
    Bitmap bitmap(320, 480);
    page->render(bitmap);
    CHECK(bitmap.countPixels(Color::rgba(0, 0, 1)) == 100 * 48 - 26 * 8 * 16);
    CHECK(page->elementAt(Point{20, 70})->attribute("id") == "s");
    CHECK(page->elementAt(Point{12, 305})->attribute("id") == "a");
}

TEST_CASE_FIXTURE(Harness, "WebPage: sizes follow every change to the document") {
    auto client = std::make_shared<Client>();
    auto page = loadPage(*this, client, "<div id='d'><p id='p'>one</p></div><div id='held'></div>");
    page->evaluate("var d = document.getElementById('d'), p = document.getElementById('p'), held = document.getElementById('held');"
                   "function h() { return d.offsetHeight; }");
    CHECK(page->evaluate("h()") == "16");
    CHECK(page->evaluate("p.appendChild(document.createElement('div')).textContent = 'two'; h()") == "32");
    CHECK(page->evaluate("p.style.height = '100px'; h()") == "100");
    CHECK(page->evaluate("p.removeAttribute('style'); h()") == "32");
    CHECK(page->evaluate("p.setAttribute('style', 'display: none'); h()") == "0");
    CHECK(page->evaluate("p.style.display = ''; p.textContent = 'one line'; h()") == "16");
    CHECK(page->evaluate("p.firstChild.data = 'thirty-three characters of text!!'; h()") == "16");
    CHECK(page->evaluate("p.firstChild.data += ' and more, past one line of 40'; h()") == "32");
    CHECK(page->evaluate("d.innerHTML = '<p>a</p><p>b</p><p>c</p>'; h()") == "48");
    CHECK(page->evaluate("d.removeChild(d.firstChild); h()") == "32");
    CHECK(page->evaluate("held.appendChild(d.firstChild); h() + ':' + held.offsetHeight") == "16:16");
    CHECK(page->evaluate("var f = document.createDocumentFragment(); f.appendChild(d.firstChild); h()") == "0");
    CHECK(page->evaluate("d.hidden = true; held.getBoundingClientRect().top") == "0");
    CHECK(page->evaluate("d.hidden = false; d.appendChild(f); held.getBoundingClientRect().top") == "16");
    CHECK(page->contentSize().height == 480);
    page->evaluate("held.style.height = '900px'");
    CHECK(page->contentSize().height == 16 + 900);
}

TEST_CASE_FIXTURE(Harness, "WebPage: a layout its meter stops is dropped whole, and the next ask makes it again") {
    auto client = std::make_shared<Client>();
    // Far more nodes than the meter counts between two looks at its clock.
    std::string html;
    for (int i = 0; i < 3 * static_cast<int>(DOMWorkLimit::CheckInterval); ++i) html += "<p>x</p>";
    html += "<div id='last' style='width:120px;height:40px'></div>";
    auto page = loadPage(*this, client, html);
    REQUIRE(page->document().body());
    const auto last = page->document().body()->children().back();
    REQUIRE(last->attribute("id") == "last");
    const float rows = static_cast<float>(3 * DOMWorkLimit::CheckInterval) * 16;
    auto kept = page->boxOf(*last);
    REQUIRE(kept);
    CHECK(kept->origin.y == rows);

    // The document changes, and the next layout is cut off: no box, and nothing of it kept.
    page->evaluate("document.body.insertBefore(document.createElement('p'), document.body.firstChild).textContent = 'y'");
    DOMWorkLimit outOfTime([] { return true; });
    CHECK_FALSE(page->boxOf(*last, &outOfTime).has_value());
    CHECK(outOfTime.stopped());
    // Not the stale box of the kept layout either: the whole layout is made again, once.
    DOMWorkLimit ample([] { return false; });
    auto again = page->boxOf(*last, &ample);
    REQUIRE(again);
    CHECK(again->origin.y == rows + 16);
    CHECK(again->size.width == 120);
    CHECK(again->size.height == 40);
    CHECK(page->contentSize().height == rows + 16 + 40);
    // A script's read of it, on the entry's own meter, agrees.
    CHECK(page->evaluate("document.getElementById('last').getBoundingClientRect().top") == std::to_string(static_cast<int>(rows + 16)));
}

TEST_CASE_FIXTURE(Harness, "WebPage: nested boxes without a size are laid out in one walk, to a bounded depth") {
    auto client = std::make_shared<Client>();
    // Each coloured box without a size needs its content's height before it paints: measured once, not
    // once more at every level.
    std::string html;
    for (int i = 0; i < 200; ++i) html += "<div style='background:#f00'>";
    html += "x";
    auto page = loadPage(*this, client, html);
    Bitmap bitmap(320, 480);
    page->render(bitmap);
    CHECK(bitmap.countPixels(Color::rgba(1, 0, 0)) == 320 * 16 - 8 * 16);
    CHECK(page->contentSize().height == 480);
    CHECK(page->elementAt(Point{4, 4})->tagName() == "div");
    CHECK(page->evaluate("document.querySelectorAll('div')[199].offsetHeight") == "16");
    // Script can nest deeper than the walk goes: what lies below is not drawn and has no size.
    CHECK(page->evaluate("var e = document.body; for (var i = 0; i < 700; i++) e = e.appendChild(document.createElement('div'));"
                         "e.textContent = 'deep'; var all = document.getElementsByTagName('div');"
                         "[all[400].offsetWidth, all[800].offsetWidth].join()") == "320,0");
    page->render(bitmap);
}

TEST_CASE_FIXTURE(Harness, "WebPage: images inserted as markup are fetched and fire load or error") {
    auto protocol = std::make_shared<ImageProtocolClass>();
    URLProtocol::registerClass(protocol);
    auto client = std::make_shared<Client>();
    auto page = loadPage(*this, client, "<div id='box'></div><script>var seen = [];"
                                        "function note(e) { seen.push(e.type + ':' + e.target.getAttribute('src')); }"
                                        "document.addEventListener('load', note); document.addEventListener('error', note);"
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
    // Past the cap a request throws (a page that took 0 for an id would cancel nothing and wait forever).
    CHECK(page->evaluate("var ran = 0, ids = [], refused = [];"
                         "for (var i = 0; i < " + n + "; i++) try { ids.push(requestAnimationFrame(function () { ran++; })); }"
                         "  catch (e) { refused.push(e instanceof RangeError); }"
                         "[ids.length, ids.indexOf(0), refused.length, refused.indexOf(false)].join()") ==
          std::to_string(WebPage::MaximumFrameCallbacks) + ",-1,500,-1");
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

TEST_CASE_FIXTURE(Harness, "WebPage: a chain script wrapped bottom-up tens of thousands deep is copied, written out, searched, painted and let go") {
    // The node cap leaves room for the chain and one copy of it.
    constexpr int kDepth = 49000;
    auto client = std::make_shared<Client>();
    const std::string depth = std::to_string(kDepth);
    // A little at a time, a timer apart, as a page would to stay under its time limit and share.
    // A sanitizer build runs such a page many times slower than a phone would: its time limit and share of
    // the thread are not what this is about (wrapping tens of thousands of nodes found takes a while there).
    WebPage::Options options;
    options.scriptShare = 1;
    options.scriptTimeLimit = 10;
    auto page = loadPage(*this, client, "<script>var t = document.createElement('b'); t.id = 'bottom'; t.className = 'leaf';"
                                        "t.textContent = 'x'; var bottom = t, depth = 1;"
                                        "function wrap() { for (var i = 0; i < 1000 && depth < " + depth + "; i++, depth++) {"
                                        " var p = document.createElement('div'); p.appendChild(t); t = p; }"
                                        " if (depth < " + depth + ") setTimeout(wrap, 1000); }"
                                        "wrap();</script>", options);
    for (int i = 0; i < 2 * kDepth / 1000 && page->evaluate("depth") != depth; ++i) advance(1.0);
    REQUIRE(page->evaluate("depth") == depth);
    REQUIRE_FALSE(page->scriptsStopped());
    auto levelsAbove = [](std::shared_ptr<DOMNode> n) {
        int levels = 0;
        while ((n = n->parent())) ++levels;
        return levels;
    };

    CHECK(page->evaluate("var c = t.cloneNode(true); var cb = c.querySelector('#bottom');"
                         "[cb.className, cb.textContent, cb !== bottom, t.contains(bottom), c.contains(bottom)].join()") ==
          "leaf,x,true,true,false");
    // The two bottoms, neither in the document.
    std::vector<std::shared_ptr<DOMNode>> bs;
    for (std::uint32_t id = 1; id <= 2 * DOMDocument::MaximumNodes; ++id)
        if (auto n = page->document().nodeById(id); n && n->tagName() == "b") bs.push_back(n);
    REQUIRE(bs.size() == 2);
    CHECK(levelsAbove(bs[0]) == kDepth - 1);
    CHECK(levelsAbove(bs[1]) == kDepth - 1);
    // Markup and text stop at the walks' depth limit.
    CHECK(page->evaluate("[t.outerHTML.length, t.outerHTML.indexOf('bottom'), t.textContent, t.innerText].join()") ==
          std::to_string(11 * (DOMNode::MaxDepth + 1)) + ",-1,,");
    CHECK(page->evaluate("[bottom.closest('div') === bottom.parentNode, bottom.matches('div div b.leaf'), bottom.closest('p'),"
                         " t.getElementsByTagName('b').length, t.querySelectorAll('div').length].join()") ==
          "true,true,,1," + std::to_string(kDepth - 2));  // the divs below the top one

    CHECK(page->evaluate("document.body.appendChild(t); [document.getElementById('bottom') === bottom,"
                         " bottom.closest('body') === document.body, document.querySelectorAll('body div b').length,"
                         " bottom.isConnected].join()") == "true,true,1,true");
    CHECK(page->contentSize().height > 0);
    CHECK(page->elementAt(Point{1, 1}) != nullptr);
    CHECK(page->evaluate("document.body.removeChild(t); [document.getElementById('bottom'), bottom.isConnected].join()") == ",false");

    // The document goes with its page: parents are the last to hold the chain's nodes.
    std::weak_ptr<WebPage> weak = page;
    page->close();
    page.reset();
    bs.clear();
    runUntilIdle();
    CHECK(weak.expired());
}

TEST_CASE_FIXTURE(Harness, "WebPage: one selector call holds the thread no longer than the page's time limit") {
    LogCapture logs;
    auto client = std::make_shared<Client>();
    WebPage::Options options;
    options.scriptTimeLimit = 30;  // for building what the calls get; the calls get half a second
    auto page = loadPage(*this, client, "<p>x</p>", options);
    auto secondsFor = [&](const std::string& script, std::string* answer) {
        page->script()->setTimeLimit(0.5);
        auto started = std::chrono::steady_clock::now();
        *answer = page->evaluate(script);
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    };
    // An element 505 levels deep, and a list of 100,000 selectors to test it against: past any sane size.
    REQUIRE(page->evaluate("var e = document.body; for (var i = 0; i < 505; i++) { e = e.appendChild(document.createElement('div'));"
                           " e.className = 'a b c d'; } e.className = 'c';"
                           "var parts = []; for (var i = 0; i < 100000; i++) parts.push('.n' + i + ' .c'); var huge = parts.join(); 'ok'") == "ok");
    std::string answer;
    for (const char* call : {"e.matches(huge)", "e.closest(huge)", "document.querySelectorAll(huge)"}) {
        CHECK(secondsFor("try { " + std::string(call) + "; 'answered' } catch (err) { err.name }", &answer) < 5.0);
        CHECK(answer == "SyntaxError");
    }
    // Within the limits, but more work than the time limit allows: the call itself stops at the limit.
    page->script()->setTimeLimit(30);
    REQUIRE(page->evaluate("document.body.innerHTML = new Array(40001).join(\"<i class='a b c'></i>\"); parts = [];"
                           "for (var i = 0; i < 2000; i++) parts.push('i.a.b.c.z' + i); var heavy = parts.join(); heavy.length < 32768") == "true");
    CHECK(secondsFor("try { document.querySelectorAll(heavy).length } catch (err) { 'caught: ' + err.name }", &answer) < 5.0);
    CHECK(answer.empty());
    CHECK(page->scriptsStopped());
    CHECK(logs.contains("stopped: a script ran past its time limit"));
}

TEST_CASE_FIXTURE(Harness, "WebPage: selectors that are no CSS throw a SyntaxError and CSS the subset does not evaluate matches nothing") {
    auto client = std::make_shared<Client>();
    auto page = loadPage(*this, client, "<div class='ad' id='top'><p class='a:b x'><b id='in'>go</b></p></div>");
    CHECK(page->evaluate("var b = document.getElementById('in'), errors = [];"
                         "['', ' ', 'a,', ',a', 'b!', '#', 'div >', '> b', '[x', '[x=]', ':not(a', 'a..b'].forEach(function (s) {"
                         "  [function () { return b.matches(s); }, function () { return b.closest(s); },"
                         "   function () { return document.querySelector(s); }, function () { return b.querySelectorAll(s); }]"
                         "  .forEach(function (f) { try { f(); errors.push('none'); } catch (e) { errors.push(e.name); } });"
                         "}); errors.filter(function (n) { return n !== 'SyntaxError'; }).length + '/' + errors.length") == "0/48");
    // Valid CSS beyond the subset: nothing, and the supported parts of a list still match.
    CHECK(page->evaluate("[b.matches('div > p b'), b.matches('[id]'), b.matches('b:first-child'), b.closest('p + b'),"
                         " document.querySelectorAll('p ~ b, b::before, b[id=\"in\" i], #x\\\\:y').length,"
                         " b.matches('div ~ b, .ad b'), b.closest('i, #top').id].join()") == "false,false,false,,0,true,top");
    // Class names are tokens, not selector text.
    CHECK(page->evaluate("document.getElementsByClassName('a:b')[0].tagName + document.getElementsByClassName(' x  a:b ').length") ==
          "P1");
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
