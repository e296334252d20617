// What a page is charged for the URLs of its loads against what the loads really take: the process's
// allocations, the network engine's and the network library's on their own thread included, measured
// while long-URL loads are under way on a host that never answers. And the roads on which a URL past the
// longest a page may load is refused.
#include <doctest/doctest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "platform/base/Log.h"
#include "platform/net/NetworkConfiguration.h"
#include "platform/net/Reachability.h"
#include "platform/net/TransferOrigin.h"
#include "platform/net/URLProtocol.h"
#include "platform/testing/Harness.h"
#include "platform/web/SubresourceQueue.h"
#include "platform/web/WebPage.h"
#include "tests/platform/web/WebPageTestSupport.h"
#include "tools/adserver/SilentServer.h"
#include "tools/HeapInUse.h"

using platform::testing::Harness;
using namespace platform;
using platform::webtest::Client;
using platform::webtest::loadPage;
using platform::webtest::roomy;

namespace {

constexpr long long MB = 1 << 20;

// Keeps the compiler from leaving out an allocation nothing reads.
void escape(const void* p) {
    asm volatile("" : : "g"(p) : "memory");
}

// What the count sees of four fresh blocks the size of a long URL's, which glibc maps on their own (the
// best of a few tries, should another thread free meanwhile).
long long countedOfLargeBlocks() {
    constexpr std::size_t size = 768 << 10;
    long long seen = 0;
    for (int attempt = 0; attempt < 3; ++attempt) {
        const long long before = tools::heapInUseBytes();
        std::vector<std::unique_ptr<char[]>> blocks;
        for (int i = 0; i < 4; ++i) {
            blocks.emplace_back(new char[size]);
            blocks.back()[0] = 1;
            escape(blocks.back().get());
        }
        seen = std::max(seen, tools::heapInUseBytes() - before);
    }
    return seen;
}

// Hosts whose connections go to one listener that never answers: one on plain http (the request is
// written at once, so the network library holds everything it builds for it), one on https (the
// handshake waits).
struct HangingHost {
    std::unique_ptr<adserver::SilentServer> server = adserver::SilentServer::start();
    HangingHost() {
        REQUIRE(server != nullptr);
        Reachability::resetForTesting();
        URLProtocol::unregisterAllClasses();
        auto config = NetworkConfiguration::sharedInstance();
        config->reset();
        config->addHostMapping("hang.charge.example", 80, "127.0.0.1", server->port());
        config->addHostMapping("tls.charge.example", 443, "127.0.0.1", server->port());
        config->addHostMapping("warm.charge.example", 443, "127.0.0.1", server->port());
    }
    ~HangingHost() { NetworkConfiguration::sharedInstance()->reset(); }
};

// What the page's documents and the native bytes it causes hold of its budget (its script heap aside).
long long heldOfBudget(WebPage& page) {
    return static_cast<long long>(page.document().bytes() + page.chargedBytes());
}

// What the page's script heap holds from the system (its arena's chunks grow a whole chunk at a time).
long long heldByHeap(WebPage& page) {
    return static_cast<long long>(page.script()->budget().heldBytes());
}

// What the page's `script` takes from the process (its script heap's growth aside) and from the page's
// budget, once `started` loads reached the listener and the network thread had a moment to write their
// requests. `prepare` runs first, outside the measure: it makes the URLs, which are the script heap's own
// strings.
struct Cost {
    long long allocated = 0;
    long long charged = 0;
    long long loads = 0; // of which its loads and navigations hold (chargedBytes)
};

Cost costOf(Harness& h, HangingHost& host, WebPage& page, const std::string& prepare,
            const std::string& script, std::size_t started) {
    REQUIRE(page.evaluate(prepare + "; 'ok'") == "ok");
    h.runUntilIdle();
    const long long allocatedBefore = tools::heapInUseBytes() - heldByHeap(page);
    const long long chargedBefore = heldOfBudget(page);
    const long long loadsBefore = static_cast<long long>(page.chargedBytes());
    CHECK(page.evaluate(script + "; 'ok'") == "ok");
    h.runUntilIdle();
    REQUIRE(h.runUntil([&] { return host.server->waitingConnections() >= started; }, 30));
    // Each request is written as soon as its connection is made; give the network thread time to do it.
    h.runUntil([] { return false; }, 1.5);
    return {tools::heapInUseBytes() - heldByHeap(page) - allocatedBefore, heldOfBudget(page) - chargedBefore,
            static_cast<long long>(page.chargedBytes()) - loadsBefore};
}

// What the network library holds for one connection (its buffers, and a secure one's state): the
// engine's, bounded by its cap on web content's connections across pages, and not charged to a page.
constexpr long long kConnectionBytes = 128 << 10;
// What a measure lets pass uncharged besides: the process's other threads, the allocator's own records.
constexpr long long kUncounted = MB / 8;

// Nothing is held beyond what was charged but the loads' `connections`, and the charge is no multiple of
// what is held either.
void checkCharged(const Cost& cost, std::size_t connections) {
    MESSAGE("allocated " << cost.allocated << ", charged " << cost.charged << " (the loads " << cost.loads
                         << "), connections " << connections);
    CHECK(cost.allocated <= cost.charged + static_cast<long long>(connections) * kConnectionBytes + kUncounted);
    CHECK(cost.charged <= cost.allocated * 5 / 4 + kUncounted);
}

} // namespace

TEST_CASE_FIXTURE(Harness, "WebPage: a URL is charged what its load really allocates") {
    // The measure sees what it is to compare: blocks as large as the longest URLs measured. Checked at the
    // first entry, before any page of a measure has threads freeing what it held.
    static const long long countedOfFourBlocks = countedOfLargeBlocks();
    REQUIRE(countedOfFourBlocks >= 3 * MB);
    HangingHost host;
    auto client = std::make_shared<Client>();
    auto page = loadPage(*this, client, "<p>ad</p>", roomy(256 * MB));
    REQUIRE(page->evaluate(
                "var pad = 'a'.repeat(1 << 20);"
                "function url(scheme, n, k) {"
                "  var s = scheme + (scheme === 'http' ? '://hang' : '://tls') + '.charge.example/';"
                "  return (k === 'query' ? s + 'q?' : s) + pad.slice(0, n - s.length - 4) + k.slice(0, 4); }"
                "function urls(scheme, n, k, count) { var out = [];"
                "  for (var i = 0; i < count; i++) out.push(url(scheme, n, k + i)); return out; }"
                "function elements(n) { var out = [];"
                "  for (var i = 0; i < n; i++) { var im = new Image(); held.push(im); out.push(im); } return out; }"
                "var held = []; var next = []; var made = []; 'ok'") == "ok");
    // The process builds its trust store at its first secure connection of a configuration: once, not
    // for each load, so it is built before the measures.
    REQUIRE(page->evaluate("var warm = new Image(); warm.src = 'https://warm.charge.example/'; 'ok'") ==
            "ok");
    REQUIRE(runUntil([&] { return host.server->waitingConnections() >= 1; }, 30));
    runUntil([] { return false; }, 1.5);
    // The URLs, and the elements that will load them, are made before each measure: it counts the loads.
    const auto prepared = [](const std::string& urls) { return "next = " + urls + "; made = elements(next.length)"; };
    const std::string images = "for (var i = 0; i < next.length; i++) made[i].src = next[i]";

    // The network library sends no request over a megabyte (a longer URL fails there, as a server's 414
    // would), so the loads measured stay under it.
    SUBCASE("images with long paths or queries, on plain http and on https") {
        for (const char* scheme : {"http", "https"}) {
            for (const char* part : {"path", "query"}) {
                CAPTURE(scheme);
                CAPTURE(part);
                const std::size_t before = host.server->waitingConnections();
                checkCharged(
                    costOf(*this, host, *page,
                           prepared("urls('" + std::string(scheme) + "', 768 << 10, '" + part + "', 2)"), images,
                           before + 2),
                    2);
            }
        }
    }

    // A short URL's load costs little beside its connection, which the page is not charged: the loads
    // under way are measured with their connections, and many more, waiting their turn, without any.
    SUBCASE("images with short URLs, under way and waiting for their host") {
        for (const char* scheme : {"http", "https"}) {
            CAPTURE(scheme);
            const std::string urls = "urls('" + std::string(scheme) + "', 100, ";
            const std::size_t started = host.server->waitingConnections() + SubresourceQueue::MaximumLoadsPerHost;
            const Cost underWay = costOf(
                *this, host, *page,
                prepared(urls + "'s', " + std::to_string(SubresourceQueue::MaximumLoadsPerHost) + ")"), images,
                started);
            checkCharged(underWay, SubresourceQueue::MaximumLoadsPerHost);
            CHECK(underWay.loads > 0);

            const Cost waiting = costOf(*this, host, *page, prepared(urls + "'w', 400)"), images, started);
            checkCharged(waiting, 0);
            // What the loads take beside the heap and documents is charged, and is more than the measure
            // lets pass uncounted: without their charge the bound above would not hold.
            const long long loadsTake = waiting.allocated - (waiting.charged - waiting.loads);
            CHECK(loadsTake > kUncounted);
            CHECK(waiting.loads * 5 / 4 >= loadsTake);
        }
    }

    SUBCASE("navigations waiting for their turn") {
        REQUIRE(page->evaluate("next = urls('https', 1 << 20, 'n', 8); 'ok'") == "ok");
        runUntilIdle();
        const long long allocatedBefore = tools::heapInUseBytes() - heldByHeap(*page);
        const std::size_t chargedBefore = page->chargedBytes();
        // Queued in one entry: none is handed to the client before the script returns.
        REQUIRE(page->evaluate("for (var i = 0; i < next.length; i++) location.href = next[i]; 'ok'") ==
                "ok");
        const auto charged = static_cast<long long>(page->chargedBytes() - chargedBefore);
        checkCharged({tools::heapInUseBytes() - heldByHeap(*page) - allocatedBefore, charged, charged}, 0);
        runUntilIdle();
        CHECK(page->chargedBytes() == chargedBefore);
    }

    page->close();
    CHECK(page->chargedBytes() == 0);
}

TEST_CASE_FIXTURE(Harness, "WebPage: no URL past the longest a page may load is loaded or navigated to") {
    auto client = std::make_shared<Client>();
    auto page = loadPage(*this, client, "<p>ad</p>", roomy(256 * MB));
    LogCapture logs;
    const std::size_t longest = TransferOrigin::MaximumURLLength;
    REQUIRE(page->evaluate("var base = 'https://far.example/'; var long = base + 'a'.repeat(" +
                           std::to_string(longest) + " - base.length + 1); 'ok'") == "ok");

    // Each refusal throws, so the page knows; none leaves a load behind.
    CHECK(page->evaluate("try { location.href = long; 'went' } catch (e) { e.name }") == "RangeError");
    CHECK(page->evaluate("try { location.replace(long); 'went' } catch (e) { e.name }") == "RangeError");
    CHECK(page->evaluate("var failed = 0; var im = new Image(); im.onerror = function () { failed++; };"
                         "im.src = long; 'set'") == "set");
    runUntil([&] { return page->evaluate("failed") == "1"; }, 10);
    CHECK(page->evaluate("failed") == "1");
    // A reference short enough, resolved against a long document URL, is measured as resolved.
    CHECK(page->evaluate("var f = document.createElement('iframe'); f.src = long.slice(base.length);"
                         "try { document.body.appendChild(f); 'appended' } catch (e) { e.name }") ==
          "appended");
    runUntilIdle();
    CHECK(page->pendingLoadCount() == 0);
    CHECK(!logs.contains("uncaught"));
}

TEST_CASE_FIXTURE(Harness,
                  "WebPage: its loads name it as referrer in full up to 4 KB, and by its origin past that") {
    auto client = std::make_shared<Client>();
    const URL image = URL::parse("https://img.example/a.gif").value();
    auto referrerOf = [&](const std::string& pageURL) {
        auto page = WebPage::create("<p>ad</p>", URL::parse(pageURL).value(), client, roomy());
        REQUIRE(page);
        auto referrer = page->subresourceRequest(image).valueForHTTPHeaderField("Referer");
        page->close();
        return referrer;
    };
    const std::string atLimit =
        "https://page.example:8443/?" + std::string(WebPage::MaximumReferrerLength - 27, 'q');
    REQUIRE(atLimit.size() == WebPage::MaximumReferrerLength);
    CHECK(referrerOf(atLimit) == atLimit);
    CHECK(referrerOf(atLimit + "q") == "https://page.example:8443/");
    CHECK(referrerOf("HTTP://Page.Example/" + std::string(8000, 'p')) == "http://page.example/");
    CHECK(referrerOf("https://u:p@[::1]:443/" + std::string(8000, 'p')) == "https://[::1]/");
    // With no host its origin is opaque: it names none rather than "null".
    CHECK(!referrerOf("https:/" + std::string(8000, 'p')).has_value());
    // A document not from the web names none.
    CHECK(!referrerOf("about:blank").has_value());
}
