// Heaps go back to the system whatever the pages in them did.
#include <doctest/doctest.h>

#include <chrono>
#include <string>

#include "platform/duktape/DukHeapBudget.h"
#include "platform/web/ScriptHeapReserve.h"
#include "tests/platform/web/ScriptLeftovers.h"

using platform::DukHeapBudget;
using platform::ScriptContext;
using platform::ScriptHeapReserve;

TEST_CASE("ScriptHeapReserve: a page that leaves behind what could run when its heap goes holds up no later page's heap") {
    auto& reserve = ScriptHeapReserve::shared();
    // The first heap of a process compiles the set-up scripts, later ones load them compiled, a little
    // larger: compare with heaps of the later kind only.
    REQUIRE(reserve.settle(std::chrono::seconds(60)));
    while (auto heap = reserve.take()) reserve.retire(std::move(heap));
    REQUIRE(reserve.settle(std::chrono::seconds(60)));
    const std::size_t before = DukHeapBudget::heldByAllHeaps();

    // A page that leaves behind all it can that might run when its heap goes (on the reserve's thread).
    using namespace scriptleftovers;
    noted = 0;
    auto hostile = reserve.take();
    REQUIRE(hostile);
    REQUIRE(hostile->run(installNote));
    std::string offers;
    CHECK(hostile->evaluate(kLeaveBehind, "hostile", &offers));
    CHECK(offers == "0");
    bool keyed = true;
    REQUIRE(hostile->run([&](duk_context* ctx) { keyed = finalizerKeyInReach(ctx); }));
    CHECK_FALSE(keyed);
    reserve.retire(std::move(hostile));

    // Later pages, each building a little; a burst may outrun the reserve, which then makes its own.
    for (int i = 0; i < 200; ++i) {
        auto heap = reserve.take();
        if (!heap) heap = ScriptContext::create();
        REQUIRE(heap);
        CHECK(heap->evaluate("var a = []; for (var i = 0; i < 2000; i++) a.push({ n: i, s: 'item ' + i }); void 0", "page"));
        reserve.retire(std::move(heap));
    }
    // Every heap is destroyed, the hostile one without running anything of its page, and the reserve's
    // thread waits for work again.
    CHECK(reserve.settle(std::chrono::seconds(60)));
    CHECK(noted == 0);
    CHECK(DukHeapBudget::heldByAllHeaps() <= before);
}
