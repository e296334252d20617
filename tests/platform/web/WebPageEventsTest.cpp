// Events as a page's scripts see them: the capture phase, and the DOM answers libraries read.
#include <doctest/doctest.h>

#include <memory>
#include <string>

#include "platform/testing/Harness.h"
#include "platform/web/WebPage.h"
#include "tests/platform/web/WebPageTestSupport.h"

using platform::testing::Harness;
using namespace platform;
using platform::webtest::Client;
using platform::webtest::roomy;
using platform::webtest::loadPage;


TEST_CASE_FIXTURE(Harness, "WebPage: capture listeners hear events from the window down before the target and bubbling") {
    auto client = std::make_shared<Client>();
    auto page = loadPage(*this, client,
                         "<div id='outer'><div id='inner'><span id='t'>x</span></div></div><script>"
                         "var heard = [], t = document.getElementById('t'), inner = document.getElementById('inner'),"
                         "    outer = document.getElementById('outer');"
                         "function note(name) { return function (e) { heard.push(name + e.eventPhase); }; }"
                         "function on(node, name, type) {"
                         "  node.addEventListener(type, note(name + '^'), true);"
                         "  node.addEventListener(type, note(name), false);"
                         "}"
                         "window.addEventListener('click', note('window^'), true);"
                         "window.addEventListener('click', note('window'));"
                         "document.addEventListener('click', note('document^'), { capture: true });"
                         "document.addEventListener('click', note('document'), { capture: false });"
                         "outer.addEventListener('click', note('outer'));"
                         "outer.addEventListener('click', note('outer^'), true);"
                         "inner.addEventListener('click', note('inner'));"
                         // At the target, capture and bubbling listeners run in the order they were added.
                         "t.addEventListener('click', note('t'));"
                         "t.addEventListener('click', note('t^'), true);"
                         "function run(f) { heard = []; f(); return heard.join(' '); }"
                         "</script>",
                         roomy());
    CHECK(page->evaluate("run(function () { t.click(); })") ==
          "window^1 document^1 outer^1 t2 t^2 inner3 outer3 document3 window3");
    // An event that does not bubble still goes through capture.
    CHECK(page->evaluate("run(function () { t.dispatchEvent(new Event('click')); })") ==
          "window^1 document^1 outer^1 t2 t^2");

    SUBCASE("stopping") {
        // stopPropagation ends the path after the node's listeners; stopImmediatePropagation at once.
        CHECK(page->evaluate("outer.addEventListener('click', function (e) { e.stopPropagation(); }, true);"
                             "run(function () { t.click(); })") == "window^1 document^1 outer^1");
        CHECK(page->evaluate("var once = function (e) { e.stopImmediatePropagation(); };"
                             "document.addEventListener('click', once, true);"
                             "run(function () { t.click(); })") == "window^1 document^1");
        // Removed from its phase only; then nothing stops the path.
        CHECK(page->evaluate("document.removeEventListener('click', once);"
                             "run(function () { t.click(); })") == "window^1 document^1");
        CHECK(page->evaluate("document.removeEventListener('click', once, true);"
                             "run(function () { inner.click(); })") == "window^1 document^1 outer^1");
        // Any type name is a type of its own.
        CHECK(page->evaluate("t.addEventListener('constructor', note('ctor'));"
                             "run(function () { t.dispatchEvent(new Event('constructor')); })") == "ctor2");
        // A listener removed by an earlier one of the same dispatch does not run.
        CHECK(page->evaluate("var later = note('later'); t.addEventListener('ping', function () { t.removeEventListener('ping', later); });"
                             "t.addEventListener('ping', later);"
                             "run(function () { t.dispatchEvent(new Event('ping')); })") == "");
    }

    SUBCASE("loads and errors of elements") {
        CHECK(page->evaluate("var img = document.createElement('img'); t.appendChild(img);"
                             "['window', 'document'].forEach(function (n) {"
                             "  var o = n === 'window' ? window : document;"
                             "  ['load', 'error'].forEach(function (type) {"
                             "    o.addEventListener(type, note(n + '^' + type), true);"
                             "    o.addEventListener(type, note(n + ' ' + type));"
                             "  });"
                             "});"
                             "run(function () { img.dispatchEvent(new Event('load')); })") == "document^load1");
        // An image's error is heard by capture listeners above it, as lazy loaders and verification
        // scripts listen; it does not bubble.
        page->evaluate("heard = []; img.src = 'https://';");
        advance(1);
        CHECK(page->evaluate("heard.join(' ')") == "window^error1 document^error1");
    }

    SUBCASE("a chain far deeper than any walk goes") {
        // 40,000 deep, built from the bottom up, then put in the document: the path holds the nearest
        // ancestors (2 x DOMNode::MaxDepth of them), then the document and the window.
        CHECK(page->evaluate("var bottom = document.createElement('b'), top = bottom, chain = [bottom];"
                             "for (var i = 1; i < 40000; i++) { var p = document.createElement('i'); p.appendChild(top); top = p;"
                             "  if (i === 1 || i === 1024 || i === 1025) chain.push(p); }"
                             "document.body.appendChild(top);"
                             "chain[1].addEventListener('ping', note('parent'), true);"
                             "chain[2].addEventListener('ping', note('far'), true);"
                             "chain[3].addEventListener('ping', note('farther'), true);"
                             "top.addEventListener('ping', note('top'), true);"
                             "document.addEventListener('ping', note('document'), true);"
                             "window.addEventListener('ping', note('window'));"
                             "run(function () { bottom.dispatchEvent(new Event('ping', { bubbles: true })); })") ==
              "document1 far1 parent1 window3");
    }
}

TEST_CASE_FIXTURE(Harness, "WebPage: attributes, dataset, custom events and replaceChild answer as a browser does") {
    auto client = std::make_shared<Client>();
    auto page = loadPage(*this, client,
                         "<ul id='list'><li id='a'>a</li><li id='b' data-dash-key='d' data-plain='p' length='9'>b</li>"
                         "<li id='c'>c</li></ul><script>var list = document.getElementById('list'),"
                         "b = document.getElementById('b');</script>");
    SUBCASE("attributes by name") {
        CHECK(page->evaluate("b.attributes.id.value + b.attributes['data-plain'].value + b.attributes.length") == "bp4");
        CHECK(page->evaluate("typeof b.attributes.item + (b.attributes.missing === undefined)") == "functiontrue");
        CHECK(page->evaluate("b.attributes.getNamedItem('LENGTH').value") == "9");
    }
    SUBCASE("dataset keys are camel case only") {
        CHECK(page->evaluate("b.dataset.dashKey + b.dataset.plain") == "dp");
        CHECK(page->evaluate("String(b.dataset['dash-key']) + ('dash-key' in b.dataset) + ('dashKey' in b.dataset)") ==
              "undefinedfalsetrue");
        CHECK(page->evaluate("delete b.dataset['dash-key']; b.getAttribute('data-dash-key')") == "d");
        CHECK(page->evaluate("Object.keys(b.dataset).join()") == "dashKey,plain");
    }
    SUBCASE("custom events") {
        CHECK(page->evaluate("var got = [];"
                             "list.addEventListener('hello', function (e) { got.push(e.type, e.detail.n, e.bubbles, e.target.id); });"
                             "var e = document.createEvent('CustomEvent');"
                             "e.initCustomEvent('hello', true, false, { n: 7 });"
                             "b.dispatchEvent(e);"
                             "got.join() + '|' + (e instanceof Event) + (e instanceof CustomEvent)") == "hello,7,true,b|truetrue");
        CHECK(page->evaluate("var c = new CustomEvent('x', { detail: 5 }); c.detail + typeof c.initCustomEvent") == "5function");
        CHECK(page->evaluate("String(new CustomEvent('x').detail)") == "null");
    }
    SUBCASE("replaceChild") {
        // A node replacing itself stays where it is.
        CHECK(page->evaluate("var r = list.replaceChild(b, b);"
                             "String(r === b) + list.children.length + b.previousElementSibling.id + b.nextElementSibling.id") ==
              "true3ac");
        CHECK(page->evaluate("var n = document.createElement('li'); n.id = 'n'; list.replaceChild(n, b).id +"
                             "[].map.call(list.children, function (x) { return x.id; }).join()") == "ba,n,c");
        CHECK(page->evaluate("try { list.replaceChild(b, b); 'done' } catch (e) { 'threw' }") == "threw");
    }
}

TEST_CASE_FIXTURE(Harness, "WebPage: document.write with no place to write to throws and leaves the document as it was") {
    auto client = std::make_shared<Client>();
    auto page = loadPage(*this, client, "<p id='kept'>kept</p>", roomy());
    // With the body taken out, the markup has nowhere to go: before, it was dropped without a word.
    CHECK(page->evaluate("var body = document.body; document.documentElement.removeChild(body);"
                         "try { document.write('<b>lost</b>'); 'done' } catch (e) { e.name + ': ' + e.message }") ==
          "RangeError: HierarchyRequestError: the markup written has no place to go");
    CHECK(page->document().getElementsByTagName("b").empty());
    // Back in place, it is written.
    CHECK(page->evaluate("document.documentElement.appendChild(body); document.write('<b>there</b>');"
                         "document.getElementsByTagName('b').length") == "1");
}
