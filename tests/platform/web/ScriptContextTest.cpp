// The time limit holds whatever a script calls, and the built-ins replaced to make it hold answer as
// the engine's own do.
#include <doctest/doctest.h>

#include <algorithm>
#include <string>

#include "platform/web/ScriptContext.h"
#include "tests/platform/web/ScriptLeftovers.h"

using platform::ScriptContext;

namespace {

// How much processor time past its limit an entry may use. The promise is 50 ms; sanitizer builds run
// the engine's unwinding (freeing what the script built) and each step of a slow built-in several times
// slower.
double slack() {
#if defined(RUZAVE_SANITIZED)
    return 0.15;
#else
    return 0.05;
#endif
}

// Runs `setup` without a tight limit, then `attack` under `limit`; answers the processor time the attack
// used (which a busy machine does not inflate) and whether it was stopped at its limit.
struct Attack {
    double cpuSeconds = 0;
    bool stopped = false;
    platform::Error error;
};
Attack attack(const char* setup, const char* script, double limit = 0.1) {
    auto sc = ScriptContext::create();
    REQUIRE(sc);
    sc->setTimeLimit(30);
    REQUIRE(sc->evaluate(setup, "setup"));
    sc->setTimeLimit(limit);
    Attack a;
    bool ok = sc->evaluate(script, "attack", nullptr, &a.error);
    a.cpuSeconds = sc->lastEntry().cpuSeconds;
    a.stopped = !ok && sc->lastEntry().overran;
    // The heap stays usable.
    std::string two;
    CHECK(sc->evaluate("1 + 1", "after", &two));
    CHECK(two == "2");
    return a;
}

std::string eval(ScriptContext& sc, const std::string& source) {
    std::string out;
    platform::Error e;
    if (!sc.evaluate(source, "test", &out, &e)) return "error: " + e.description;
    return out;
}

} // namespace

TEST_CASE("ScriptContext: slow built-ins are stopped within the limit") {
    struct Case {
        const char* setup;
        const char* script;
    };
    const Case cases[] = {
        // Loops of expensive built-ins run few bytecodes between them.
        {"", "for (;;) { new Array(2000).join('x') }"},
        {"var t = JSON.stringify(new Array(20000).join('1,').split(','))", "for (;;) JSON.parse(t)"},
        {"var s = 'x'.repeat(1e5)", "for (;;) s.replace(/x/g, 'yy')"},
        // One call that never returns to the bytecode loop.
        {"", "new Array(4294967295).join('')"},
        {"", "var a = []; a.length = 4294967294; a.unshift(1)"},
        {"", "/(a+)+b/.test('aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa')"},
        {"var a = []; for (var i = 0; i < 1e6; i++) a[i] = 'same'", "a.sort()"},
        {"var s = 'a'.repeat(1e6), q = 'a'.repeat(5e5) + 'b'", "s.indexOf(q)"},
        {"var s = 'a'.repeat(1e6), q = 'a'.repeat(5e5) + 'b'", "s.lastIndexOf(q)"},
        {"var s = 'a'.repeat(1e6), q = 'a'.repeat(5e5) + 'b'", "s.split(q)"},
        {"var s = 'a'.repeat(1e6), q = 'a'.repeat(5e5) + 'b'", "s.replace(q, '')"},
        {"var s = 'a'.repeat(1e6), q = 'a'.repeat(5e5) + 'b'", "s.includes(q)"},
        {"var s = 'x'.repeat(1e7)", "for (;;) s.toUpperCase()"},
    };
    for (const auto& c : cases) {
        CAPTURE(c.script);
        Attack a = attack(c.setup, c.script);
        CHECK(a.stopped);
        CHECK(a.error.code == ScriptContext::TimeLimitCode);
        CHECK(a.cpuSeconds < 0.1 + slack());
    }
}

TEST_CASE("ScriptContext: a stopped script cannot catch the error and carry on") {
    Attack a = attack("", "for (;;) { try { new Array(4294967295).join('') } catch (e) {} }");
    CHECK(a.stopped);
    CHECK(a.cpuSeconds < 0.1 + slack());
    a = attack("", "try { for (;;) {} } finally { for (;;) { new Array(1000).join('x') } }");
    CHECK(a.stopped);
    CHECK(a.cpuSeconds < 0.1 + slack());
    // A quick script is not affected by an earlier stop.
    auto sc = ScriptContext::create();
    REQUIRE(sc);
    sc->setTimeLimit(0.05);
    CHECK_FALSE(sc->evaluate("for (;;) {}", "spin"));
    CHECK(sc->lastEntry().overran);
    CHECK(eval(*sc, "[3, 1, 2].sort().join()") == "1,2,3");
    CHECK_FALSE(sc->lastEntry().overran);
}

TEST_CASE("ScriptContext: long string searches answer as the short ones") {
    auto sc = ScriptContext::create();
    REQUIRE(sc);
    sc->setTimeLimit(60);
    // Inputs past the size where the guarded search takes over, with matches across window edges.
    eval(*sc, "var unit = 'abcdefghij', s = unit.repeat(300000) + 'NEEDLEab' + unit.repeat(1000), n = s.length;");
    CHECK(eval(*sc, "s.indexOf('NEEDLE')") == "3000000");
    CHECK(eval(*sc, "s.indexOf('jab')") == "9");
    CHECK(eval(*sc, "s.indexOf('jab', 3000000)") == "3000017");
    CHECK(eval(*sc, "s.indexOf('hijabc', 1048570)") == "1048577");
    CHECK(eval(*sc, "s.indexOf('absent')") == "-1");
    CHECK(eval(*sc, "s.indexOf('', 5)") == "5");
    CHECK(eval(*sc, "s.indexOf('a', -7)") == "0");
    CHECK(eval(*sc, "s.indexOf('j', n + 10)") == "-1");
    CHECK(eval(*sc, "s.lastIndexOf('NEEDLE')") == "3000000");
    CHECK(eval(*sc, "s.lastIndexOf('abc')") == eval(*sc, "n - 10"));
    CHECK(eval(*sc, "s.lastIndexOf('abc', 2999999)") == "2999990");
    CHECK(eval(*sc, "s.lastIndexOf('abc', NaN)") == eval(*sc, "n - 10"));
    CHECK(eval(*sc, "s.lastIndexOf('a', -1)") == "0");
    CHECK(eval(*sc, "s.lastIndexOf('', 12)") == "12");
    CHECK(eval(*sc, "s.includes('NEEDLE')") == "true");
    CHECK(eval(*sc, "s.includes('NEEDLE', 3000001)") == "false");
    CHECK(eval(*sc, "try { s.includes(/x/) } catch (e) { e.name }") == "TypeError");
    CHECK(eval(*sc, "var p = s.split('NEEDLE'); p.length + ':' + p[0].length + ':' + p[1].length") ==
          "2:3000000:10002");
    CHECK(eval(*sc, "s.split('j', 3).join('|')") == "abcdefghi|abcdefghi|abcdefghi");
    CHECK(eval(*sc, "s.split('j', 0).length") == "0");
    CHECK(eval(*sc, "s.split('abcdefghij').length") == "301001");
    CHECK(eval(*sc, "var r = s.replace('NEEDLE', '[$&|$$|$1]'); r.substr(3000000, 15)") == "[NEEDLE|$|$1]ab");
    CHECK(eval(*sc, "r.length") == eval(*sc, "n + 7"));
    CHECK(eval(*sc, "s.replace('NEEDLE', \"$`\").length") == eval(*sc, "n - 6 + 3000000"));
    CHECK(eval(*sc, "s.replace('NEEDLE', \"<$'>\").substr(3000000, 3)") == "<ab");
    CHECK(eval(*sc, "s.replace('NEEDLE', function (m, at, all) { return m.toLowerCase() + at + (all === s); })"
                    ".substr(3000000, 17)") == "needle3000000true");
    CHECK(eval(*sc, "s.replace('absent', 'x') === s") == "true");
    CHECK(eval(*sc, "String.prototype.indexOf.call(12345, 34)") == "2");
    CHECK(eval(*sc, "try { String.prototype.indexOf.call(null, 'a') } catch (e) { e.name }") == "TypeError");
}

TEST_CASE("ScriptContext: long case conversion and sorting answer as the short ones") {
    auto sc = ScriptContext::create();
    REQUIRE(sc);
    sc->setTimeLimit(60);
    // The final sigma depends on the letter after it, and the sharp s grows: neither may change at a
    // slice edge.
    CHECK(eval(*sc, "var u = 'a\\u03a3 \\u00df\\u00c9x\\ud83d\\ude00', s = u.repeat(5001);"
                    "s.toLowerCase() === u.toLowerCase().repeat(5001)") == "true");
    CHECK(eval(*sc, "s.toUpperCase() === u.toUpperCase().repeat(5001)") == "true");
    CHECK(eval(*sc, "s.toLocaleUpperCase() === u.toLocaleUpperCase().repeat(5001)") == "true");
    CHECK(eval(*sc, "s.toUpperCase().length - s.length") == "5001");

    CHECK(eval(*sc, "var a = [10, 9, 1, undefined, 'b', , 2]; a.sort(); a.length + ':' + a.join(',') + ':' + (5 in a) + (6 in a)")
          == "7:1,10,2,9,b,,:truefalse");
    CHECK(eval(*sc, "[{k: 1, n: 'first'}, {k: 0}, {k: 1, n: 'second'}].map(function (o) {"
                    " o.toString = function () { return String(this.k); }; return o; })"
                    ".sort().map(function (o) { return o.n; }).join()") == ",first,second");
    CHECK(eval(*sc, "var o = {length: 3, 0: 'c', 2: 'a'}; Array.prototype.sort.call(o);"
                    "o[0] + o[1] + (2 in o)") == "acfalse");
    CHECK(eval(*sc, "[3, 20, 100].sort(function (x, y) { return x - y; }).join()") == "3,20,100");
    CHECK(eval(*sc, "try { Object.freeze([2, 1]).sort() } catch (e) { e.name }") == "TypeError");
}

TEST_CASE("ScriptContext: a long-lived heap called again and again does not pile up dropped closures") {
    auto sc = ScriptContext::create();
    REQUIRE(sc);
    sc->setTimeLimit(30);
    // A page with many live objects (the engine's own collection waits in proportion to them), whose
    // every call leaves a function behind (a cycle with its prototype) holding a 2 KB string: garbage
    // that only a full collection frees.
    REQUIRE(eval(*sc, "var live = []; for (var i = 0; i < 20000; i++) live.push({ n: i });"
                      "var base = new Array(2049).join('x'); var kept = 0;"
                      "function leave() { var big = base + Math.random(); var f = function () { return big.length; };"
                      " kept = f(); } void 0;") == "");
    const std::size_t start = sc->memoryUsed();
    std::size_t highest = start;
    for (int i = 0; i < 3000; ++i) {
        REQUIRE(sc->evaluate("leave();", "call"));
        highest = std::max(highest, sc->memoryUsed());
    }
    CHECK(std::stoi(eval(*sc, "kept")) > 2048);
    // 3000 calls leave about 6 MB behind if nothing collects them.
    CHECK(highest - start < (2u << 20));
}

TEST_CASE("ScriptContext: a script cannot reach the engine's own object") {
    auto sc = ScriptContext::create();
    REQUIRE(sc);
    CHECK(eval(*sc, "typeof Duktape") == "undefined");
    CHECK(eval(*sc, "String(this.Duktape) + String(Function('return this')().Duktape)") == "undefinedundefined");
    CHECK(eval(*sc, "Object.getOwnPropertyNames(this).indexOf('Duktape')") == "-1");
    // Nothing else within reach offers the engine's finalizers, threads or call stack.
    CHECK(eval(*sc, "var g = this, offered = [];"
                    "Object.getOwnPropertyNames(g).forEach(function (n) {"
                    "  var v; try { v = g[n]; } catch (e) { return; }"
                    "  if (v && ['fin', 'act', 'Thread', 'errCreate'].some(function (k) { return k in Object(v); })) offered.push(n);"
                    "}); offered.join()") == "");
    // Our guards still work without it.
    CHECK(eval(*sc, "'b,a'.split(',').sort().join()") == "a,b");
}

TEST_CASE("ScriptContext: nothing a script leaves behind runs when its heap is collected outside an entry or ends") {
    using namespace scriptleftovers;
    noted = 0;
    {
        auto sc = ScriptContext::create();
        REQUIRE(sc);
        REQUIRE(sc->run(installNote));
        std::string offers;
        REQUIRE(sc->evaluate(kLeaveBehind, "leave", &offers));
        CHECK(offers == "0");
        CHECK(noted == 0);
        bool keyed = true;
        REQUIRE(sc->run([&](duk_context* ctx) { keyed = finalizerKeyInReach(ctx); }));
        CHECK_FALSE(keyed);
        // A collection outside any entry, as after an entry that grew the heap.
        duk_gc(sc->context(), 0);
        duk_gc(sc->context(), 0);
        CHECK(noted == 0);
    }
    // The heap's end, with half the objects alive.
    CHECK(noted == 0);
}
