// Heaps go back to the system whatever the pages in them did.
#include <doctest/doctest.h>

#include <chrono>
#include <string>

#include "platform/duktape/DukHeapBudget.h"
#include "platform/web/ScriptHeapReserve.h"

using platform::DukHeapBudget;
using platform::ScriptContext;
using platform::ScriptHeapReserve;

TEST_CASE("ScriptHeapReserve: a page that leaves an endless finalizer behind holds up no later page's heap") {
    auto& reserve = ScriptHeapReserve::shared();
    // The first heap of a process compiles the set-up scripts, later ones load them compiled, a little
    // larger: compare with heaps of the later kind only.
    REQUIRE(reserve.settle(std::chrono::seconds(60)));
    while (auto heap = reserve.take()) reserve.retire(std::move(heap));
    REQUIRE(reserve.settle(std::chrono::seconds(60)));
    const std::size_t before = DukHeapBudget::heldByAllHeaps();

    auto hostile = reserve.take();
    REQUIRE(hostile);
    // Every route to a finalizer the page can find: none is there.
    std::string found;
    CHECK(hostile->evaluate("var g = Function('return this')(), o = {}, tried = 0, set = 0;"
                            "var seen = [typeof Duktape === 'undefined' ? null : Duktape, this.Duktape, g.Duktape];"
                            "Object.getOwnPropertyNames(g).forEach(function (n) { try { seen.push(g[n]); } catch (e) {} });"
                            "seen.forEach(function (c) {"
                            "  if (!c || typeof c.fin !== 'function') return;"
                            "  tried++;"
                            "  try { c.fin(o, function () { for (;;) {} }); c.fin(Object.prototype, c.fin(o)); set++; } catch (e) {}"
                            "}); tried + ':' + set",
                            "hostile", &found));
    CHECK(found == "0:0");
    reserve.retire(std::move(hostile));

    // Later pages, each building a little; a burst may outrun the reserve, which then makes its own.
    for (int i = 0; i < 200; ++i) {
        auto heap = reserve.take();
        if (!heap) heap = ScriptContext::create();
        REQUIRE(heap);
        CHECK(heap->evaluate("var a = []; for (var i = 0; i < 2000; i++) a.push({ n: i, s: 'item ' + i }); void 0", "page"));
        reserve.retire(std::move(heap));
    }
    // Every heap is destroyed, and the reserve's thread waits for work again.
    CHECK(reserve.settle(std::chrono::seconds(60)));
    CHECK(DukHeapBudget::heldByAllHeaps() <= before);
}
