// A page's subresource loads: one queue for images, scripts and frames, bounded per host, in all and in
// bytes; an element keeps what its load needs until the load has ended.
#include <doctest/doctest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/base/Log.h"
#include "platform/base/URL.h"
#include "platform/net/HTTPURLResponse.h"
#include "platform/net/URLProtocol.h"
#include "platform/net/URLProtocolClass.h"
#include "platform/net/URLProtocolClient.h"
#include "platform/testing/Harness.h"
#include "platform/web/SubresourceQueue.h"
#include "platform/web/WebPage.h"
#include "tests/platform/web/WebPageTestSupport.h"

using platform::testing::Harness;
using namespace platform;
using platform::webtest::Client;
using platform::webtest::roomy;
using platform::webtest::loadPage;

namespace {

// Hosts under hang.example never answer; those under held.example answer when the test lets them go
// (`release`); any other answers at once. A .js path answers with a script counting its runs in `ran`,
// anything else with a 3 x 2 GIF header.
struct Hosts : URLProtocolClass {
    struct Loader : URLProtocol {
        Loader(URLRequest r, std::shared_ptr<URLProtocolClient> c) : URLProtocol(std::move(r), std::move(c)) {}
        bool stopped = false;
        bool answered = false;
        void startLoading() override {
            const std::string host = request().url().host();
            if (!host.ends_with("hang.example") && !host.ends_with("held.example")) answer();
        }
        void stopLoading() override { stopped = true; }
        void answer() {
            if (stopped || answered) return;
            answered = true;
            client()->didReceiveResponse(HTTPURLResponse(request().url(), 200, {}), URLCacheStoragePolicy::NotAllowed);
            std::string body = request().url().percentEncodedPath().ends_with(".js")
                                   ? std::string("ran = (typeof ran === 'number' ? ran : 0) + 1;")
                                   : std::string("GIF89a\x03\x00\x02\x00", 10);
            client()->didLoadData(Bytes(body.begin(), body.end()));
            client()->didFinishLoading();
        }
    };
    mutable std::vector<std::weak_ptr<Loader>> open;
    mutable std::map<std::string, int> startedByHost;
    mutable std::size_t mostOpenForOneHost = 0;

    bool canInitWithRequest(const URLRequest& request) const override { return request.url().host().ends_with(".example"); }
    std::shared_ptr<URLProtocol> create(const URLRequest& request, std::shared_ptr<URLProtocolClient> client) const override {
        auto loader = std::make_shared<Loader>(request, client);
        ++startedByHost[request.url().host()];
        std::erase_if(open, [](const auto& w) {
            auto l = w.lock();
            return !l || l->stopped || l->answered;
        });
        open.push_back(loader);
        std::map<std::string, std::size_t> byHost;
        for (const auto& w : open)
            if (auto l = w.lock()) mostOpenForOneHost = std::max(mostOpenForOneHost, ++byHost[l->request().url().host()]);
        return loader;
    }
    int started(const std::string& suffix) const {
        int n = 0;
        for (const auto& [host, count] : startedByHost)
            if (host.ends_with(suffix)) n += count;
        return n;
    }
    // Answers the held loads open now.
    void release() const {
        auto now = open;
        for (auto& w : now)
            if (auto l = w.lock(); l && l->request().url().host().ends_with("held.example")) l->answer();
    }
};

struct Registered {
    std::shared_ptr<Hosts> hosts = std::make_shared<Hosts>();
    Registered() { URLProtocol::registerClass(hosts); }
    ~Registered() { URLProtocol::unregisterClass(hosts); }
};

// Thousands of nodes in an instrumented build: the time limit and share are not what these test.

const std::string kChurn = "for (var i = 0; i < 6000; i++) document.createElement('u'); 'churned'";

} // namespace

TEST_CASE_FIXTURE(Harness, "WebPage: fire-and-forget pixels are all sent whatever is collected meanwhile") {
    Registered r;
    auto client = std::make_shared<Client>();
    auto page = loadPage(*this, client, "<p>ad</p>", roomy());
    // Nothing holds the images or the script but their loads; the script is out of the document at once.
    REQUIRE(page->evaluate("var heard = 0;"
                           "for (var i = 0; i < 40; i++) { var img = new Image(); img.onload = function () { heard++; };"
                           "  img.src = 'https://px.held.example/p.gif?' + i; }"
                           "(function () { var s = document.createElement('script'); s.src = 'https://px.held.example/s.js';"
                           "  s.onload = function () { heard++; }; document.body.appendChild(s); document.body.removeChild(s); })();"
                           "img = null; 'queued'") == "queued");
    // Thousands of nodes made and dropped while they wait their turn, collections among them.
    for (int round = 0; round < 20 && page->evaluate("heard") != "41"; ++round) {
        REQUIRE(page->evaluate(kChurn) == "churned");
        r.hosts->release();
        runUntilIdle();
    }
    CHECK(r.hosts->started("px.held.example") == 41);
    CHECK(page->evaluate("heard + ':' + ran") == "41:1");
    CHECK(r.hosts->mostOpenForOneHost <= static_cast<std::size_t>(SubresourceQueue::MaximumLoadsPerHost));
    // Their loads over, they are let go of.
    CHECK(page->pendingLoadCount() == 0);
    REQUIRE(page->evaluate(kChurn) == "churned");
    CHECK(page->imageCount() == 0);
}

TEST_CASE_FIXTURE(Harness, "WebPage: a host that hangs holds only its own loads") {
    Registered r;
    auto client = std::make_shared<Client>();
    std::string html = "<script>var loaded = 0;</script>";
    for (int h = 0; h < 16; ++h)
        for (int k = 0; k < 8; ++k)
            html += "<img src='https://h" + std::to_string(h) + ".hang.example/" + std::to_string(k) + ".gif'>";
    for (int k = 0; k < 10; ++k) {
        html += "<img src='https://page.example/" + std::to_string(k) + ".gif' onload='loaded++'>";
        html += "<img src='https://other.example/" + std::to_string(k) + ".gif' onload='loaded++'>";
    }
    auto page = WebPage::create(html, *URL::parse("https://page.example/"), client, roomy());
    REQUIRE(page);
    page->start();
    runUntilIdle();
    // The ad's own host and another load while sixteen hosts hang, each holding its own six.
    CHECK(page->evaluate("loaded") == "20");
    CHECK(r.hosts->started("hang.example") == 16 * SubresourceQueue::MaximumLoadsPerHost);
    CHECK(r.hosts->mostOpenForOneHost == static_cast<std::size_t>(SubresourceQueue::MaximumLoadsPerHost));
    CHECK(page->pendingLoadCount() == 16 * 8);
    // The page's load waits for its images; one added now on yet another host loads as well.
    CHECK(client->finished == 0);
    page->evaluate("var late = new Image(); late.onload = function () { loaded++; }; late.src = 'https://late.example/x.gif';");
    runUntilIdle();
    CHECK(page->evaluate("loaded") == "21");
}

TEST_CASE_FIXTURE(Harness, "WebPage: loads to hosts that hang never refuse a load to another host") {
    Registered r;
    LogCapture logs;
    auto client = std::make_shared<Client>();
    auto page = loadPage(*this, client, "<p>ad</p>", roomy());
    // A thousand images on twenty hosts that never answer, taken out of the document at once: their loads
    // stay, and fill the page.
    REQUIRE(page->evaluate("var gone = [];"
                           "function add(host, n) { var img = document.createElement('img');"
                           "  img.onerror = function () { gone.push(host + '/' + n); };"
                           "  img.src = 'https://' + host + '/' + n + '.gif';"
                           "  document.body.appendChild(img); document.body.removeChild(img); }"
                           "function goneFrom(host) {"
                           "  return gone.filter(function (g) { return g.indexOf(host + '/') == 0; }).length; }"
                           "for (var i = 0; i < 1000; i++) add('h' + (i % 20) + '.hang.example', i); 'added'") == "added");
    runUntilIdle();
    CHECK(page->pendingLoadCount() == SubresourceQueue::MaximumPendingLoads);
    CHECK(r.hosts->started("hang.example") == 20 * SubresourceQueue::MaximumLoadsPerHost);

    // The pixel goes out, in place of the newest load waiting on them: that one never made its request,
    // and its element hears its error; what it was charged goes with it.
    const std::size_t held = page->chargedBytes();
    REQUIRE(page->evaluate("var pixel = '', p = new Image(); p.onload = function () { pixel = 'load'; };"
                           "p.onerror = function () { pixel = 'error'; }; p.src = 'https://px.example/p.gif'; 'sent'") == "sent");
    runUntilIdle();
    CHECK(r.hosts->started("px.example") == 1);
    CHECK(page->evaluate("pixel + ' ' + gone.join()") == "load h19.hang.example/999");
    CHECK(r.hosts->started("hang.example") == 20 * SubresourceQueue::MaximumLoadsPerHost);
    CHECK(page->pendingLoadCount() == SubresourceQueue::MaximumPendingLoads - 1);
    CHECK(held - page->chargedBytes() == SubresourceQueue::waitingBytes(*URL::parse("https://h19.hang.example/999.gif")));
    CHECK(!logs.contains("too many loads pending"));

    // Another host flooding the page ends level with them (six under way, and of the 874 waiting its share
    // among 21 hosts, 42): past that its own new loads are refused, and the others keep the rest.
    REQUIRE(page->evaluate("for (var i = 0; i < 1000; i++) add('flood.hang.example', i); 'flooded'") == "flooded");
    runUntilIdle();
    CHECK(page->evaluate("goneFrom('flood.hang.example')") == "952");
    CHECK(page->evaluate("gone.length - goneFrom('flood.hang.example')") == "48");
    CHECK(logs.contains("refused 952 loads: the page has too many loads pending"));
    CHECK(page->pendingLoadCount() == SubresourceQueue::MaximumPendingLoads);
    CHECK(r.hosts->started("flood.hang.example") == SubresourceQueue::MaximumLoadsPerHost);
    // A load to yet another host still goes out, in place of the newest load of the longest waiting lists.
    REQUIRE(page->evaluate("p = new Image(); p.src = 'https://px.example/q.gif'; 'sent'") == "sent");
    runUntilIdle();
    CHECK(r.hosts->started("px.example") == 2);
    CHECK(page->evaluate("gone.length + ' ' + gone[gone.length - 1]") == "1001 flood.hang.example/47");
    CHECK(page->pendingLoadCount() == SubresourceQueue::MaximumPendingLoads - 1);

    // A load given way whose error is still to come gives back its charge when the page closes.
    REQUIRE(page->evaluate("add('late.example', 0); add('later.example', 0); 'added'") == "added");
    page->close();
    CHECK(page->chargedBytes() == 0);

    // A single host flooding a page alone: its own loads past the bound are refused.
    auto client2 = std::make_shared<Client>();
    auto alone = loadPage(*this, client2, "<p>ad</p>", roomy());
    REQUIRE(alone->evaluate("var failed = 0; for (var i = 0; i < 1200; i++) { var img = new Image();"
                            "  img.onerror = function () { failed++; }; img.src = 'https://one.hang.example/' + i + '.gif'; }"
                            "'added'") == "added");
    runUntilIdle();
    CHECK(alone->evaluate("failed") == "200");
    CHECK(alone->pendingLoadCount() == SubresourceQueue::MaximumPendingLoads);
    CHECK(logs.contains("refused 200 loads: the page has too many loads pending"));
    CHECK(r.hosts->started("one.hang.example") == SubresourceQueue::MaximumLoadsPerHost);
}

TEST_CASE_FIXTURE(Harness, "WebPage: thousands of images on as many hosts queue in linear time and past the pending bound give way with an error event") {
    Registered r;
    LogCapture logs;
    auto client = std::make_shared<Client>();
    auto page = loadPage(*this, client, "<div id='box'></div>", roomy());
    // One call: 10,000 images on as many hosts (before, their queueing held the thread for a minute here).
    REQUIRE(page->evaluate("var failed = 0, lastFailed = 0; var markup = [];"
                           "for (var i = 0; i < 10000; i++) markup.push('<img src=\"https://i' + i + '.hang.example/x.gif\" onerror=\"failed++\">');"
                           "markup.push('<img id=\"last\" src=\"https://last.example/x.gif\" onerror=\"lastFailed++\">');"
                           "document.getElementById('box').innerHTML = markup.join(''); 'set'") == "set");
    CHECK(!page->scriptsStopped());
    runUntilIdle();
    // The page holds a thousand (as many run as the page may run at once): no host waits longer than
    // another, so each newer load took the place of the newest waiting, which heard its error. The last,
    // on a host of its own, waits its turn.
    CHECK(page->pendingLoadCount() == SubresourceQueue::MaximumPendingLoads);
    CHECK(r.hosts->started("hang.example") == static_cast<int>(SubresourceQueue::MaximumLoadsUnderWay));
    CHECK(r.hosts->started("last.example") == 0);
    CHECK(page->evaluate("failed + ':' + lastFailed") == "9001:0");
    CHECK(!logs.contains("too many loads pending"));

    // The same in the ad's own markup: it loads, and its last image waits its turn as well.
    std::string html = "<script>var failed = 0;</script>";
    for (int i = 0; i < 5000; ++i) html += "<img src='https://m" + std::to_string(i) + ".hang.example/x.gif'>";
    html += "<img src='https://last.example/x.gif' onerror='failed++'>";
    auto client2 = std::make_shared<Client>();
    auto markupPage = WebPage::create(html, *URL::parse("https://page.example/"), client2, roomy());
    REQUIRE(markupPage);
    markupPage->start();
    runUntilIdle();
    CHECK(!markupPage->scriptsStopped());
    CHECK(markupPage->evaluate("failed") == "0");
    CHECK(markupPage->pendingLoadCount() == SubresourceQueue::MaximumPendingLoads);
}

TEST_CASE_FIXTURE(Harness, "WebPage: image sources and queued navigations count against the page's budget") {
    Registered r;
    auto client = std::make_shared<Client>();
    WebPage::Options options = roomy();
    options.scriptMemoryLimit = 16u << 20;
    auto page = loadPage(*this, client, "<p>ad</p>", options);
    const std::size_t before = page->chargedBytes();
    // A source longer than any URL a phone loads is refused without a copy.
    CHECK(page->evaluate("function text(c, n) { var s = c; while (s.length < n) s += s; return s.substring(0, n); }"
                         "var refusedHuge = 0, huge = new Image(); huge.onerror = function () { refusedHuge++; };"
                         "huge.src = 'https://x.hang.example/?' + text('b', 3 << 20); huge = null; 'set'") == "set");
    CHECK(page->chargedBytes() == before);
    runUntilIdle();
    CHECK(page->evaluate("refusedHuge") == "1");
    // Long sources on a host that hangs: each pending load is charged its URL (and its copies while under
    // way) until the budget refuses the next ones, which hear their error (or, for an attribute that no
    // longer fits the document, throw).
    REQUIRE(page->evaluate("var long = 'https://big.hang.example/?' + text('a', 1 << 18), errors = 0, images = [], thrown = 0;"
                           "for (var i = 0; i < 40; i++) { var img = new Image(); img.onerror = function () { errors++; };"
                           "  try { img.src = long; images.push(img); } catch (e) { thrown++; } } 'set'") == "set");
    runUntilIdle();
    const std::size_t pending = page->pendingLoadCount();
    const int set = std::stoi(page->evaluate("images.length"));
    CHECK(pending >= 2);
    CHECK(pending < 40);
    CHECK(std::to_string(set - static_cast<int>(pending)) == page->evaluate("errors"));
    CHECK(page->chargedBytes() - before >= pending * 2 * (1u << 18));
    CHECK(page->document().bytes() + page->chargedBytes() <= options.scriptMemoryLimit);
    // New sources end the loads, and their charge goes with them.
    page->evaluate("images.forEach(function (img) { img.src = 'https://page.example/small.gif'; }); long = null;");
    runUntilIdle();
    CHECK(page->pendingLoadCount() == 0);
    CHECK(page->chargedBytes() == before);

    // Navigations wait for the client's turn charged too: past the budget the next one throws.
    CHECK(page->evaluate("var target = 'https://next.example/?' + text('n', 1 << 18), sent = 0, refused = '';"
                         "try { for (var i = 0; i < 256; i++) { location.href = target; sent++; } }"
                         "catch (e) { refused = e.name; } refused") == "RangeError");
    const int sent = std::stoi(page->evaluate("sent"));
    CHECK(sent >= 2);
    CHECK(page->queuedNavigationCount() == static_cast<std::size_t>(sent));
    // Each holds its URL once (the request's and the document's are the same text).
    CHECK(page->chargedBytes() - before >= static_cast<std::size_t>(sent) * (1u << 18));
    CHECK(page->document().bytes() + page->chargedBytes() <= options.scriptMemoryLimit);
    runUntilIdle();
    CHECK(page->queuedNavigationCount() == 0);
    CHECK(page->chargedBytes() == before);
    // And in number: every message is delivered, up to a cap on those waiting at once.
    CHECK(page->evaluate("target = null; sent = 0; refused = '';"
                         "try { for (var i = 0; i <= 1000; i++) { location.href = 'gmsg://m?' + i; sent++; } }"
                         "catch (e) { refused = e.name; } sent + refused") ==
          std::to_string(WebPage::MaximumQueuedNavigations) + "RangeError");
    runUntilIdle();
    CHECK(page->chargedBytes() == before);
}

TEST_CASE_FIXTURE(Harness, "WebPage: a script that removes a later image of its own markup leaves no load behind and no event at a gone node") {
    Registered r;
    LogCapture logs;
    auto client = std::make_shared<Client>();
    auto page = loadPage(*this, client, "<div id='box'></div><script>var seen = 0;</script>", roomy());
    // Markup written with a script: the script takes the image out, and a collection follows, before the
    // insert reaches the image.
    REQUIRE(page->evaluate(
                "document.write('<div><script>"
                "document.getElementById(\"holder\").innerHTML = \"\";"
                "for (var i = 0; i < 6000; i++) document.createElement(\"u\"); ranAt = document.body.getElementsByTagName(\"img\").length;<\\/script>"
                "<p id=\"holder\"><img src=\"https://late.held.example/x.gif\" onload=\"seen++\" onerror=\"seen++\"></p></div>');"
                "'ok'") == "ok");
    r.hosts->release();
    runUntilIdle();
    CHECK(r.hosts->started("late.held.example") == 0);
    CHECK(page->pendingLoadCount() == 0);
    CHECK(page->imageCount() == 0);
    CHECK(page->evaluate("seen") == "0");
    CHECK(page->evaluate("ranAt") == "0");
    CHECK(!logs.contains("uncaught"));
}

TEST_CASE_FIXTURE(Harness, "WebPage: pending script loads are bounded") {
    Registered r;
    auto client = std::make_shared<Client>();
    auto page = loadPage(*this, client, "<p>ad</p>", roomy());
    const std::size_t before = page->chargedBytes();
    REQUIRE(page->evaluate("var failed = 0;"
                           "for (var i = 0; i < 1200; i++) { var s = document.createElement('script');"
                           "  s.src = 'https://s' + i + '.hang.example/x.js'; s.onerror = function () { failed++; };"
                           "  document.body.appendChild(s); } 'added'") == "added");
    runUntilIdle();
    CHECK(page->pendingLoadCount() == SubresourceQueue::MaximumPendingLoads);
    CHECK(page->evaluate("failed") == "200");
    // At most so many at once reach the network; the others wait as small records, each charged.
    CHECK(r.hosts->started("hang.example") == static_cast<int>(SubresourceQueue::MaximumLoadsUnderWay));
    const std::size_t charged = page->chargedBytes() - before;
    CHECK(charged >= SubresourceQueue::MaximumPendingLoads * 512);
    CHECK(charged <= 4u << 20);
    // Taken out and let go of, they still run to their end; closing the page ends them and their charge.
    page->close();
    CHECK(page->chargedBytes() == 0);
}
