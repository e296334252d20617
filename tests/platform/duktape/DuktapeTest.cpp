// The engine as we build it: C++ exceptions for script errors (destructors run), an execution-time
// check that stops runaway scripts, and a heap budget enforced by our allocator.
#include <doctest/doctest.h>

#include <chrono>
#include <cstring>
#include <string>

#include "duktape.h"
#include "platform/duktape/DukHeapBudget.h"

namespace {

struct Heap {
    platform::DukHeapBudget budget;
    duk_context* ctx = nullptr;
    Heap() {
        ctx = duk_create_heap(platform::DukHeapBudget::allocate, platform::DukHeapBudget::reallocate,
                              platform::DukHeapBudget::release, &budget, nullptr);
        budget.attach(ctx);
    }
    ~Heap() {
        if (ctx != nullptr) duk_destroy_heap(ctx);
    }
    // Evaluates `code`; returns the result as a string, or "error:<message>".
    std::string eval(const char* code, std::chrono::milliseconds limit = std::chrono::milliseconds(1000)) {
        budget.startEntry(limit);
        duk_int_t rc = duk_peval_string(ctx, code);
        budget.endEntry();
        std::string out = rc == 0 ? duk_safe_to_string(ctx, -1) : std::string("error:") + duk_safe_to_string(ctx, -1);
        duk_pop(ctx);
        return out;
    }
};

int destructorsRun = 0;
struct Guard {
    ~Guard() { ++destructorsRun; }
};

duk_ret_t throwingNative(duk_context* ctx) {
    Guard guard;
    (void)guard;
    return duk_error(ctx, DUK_ERR_TYPE_ERROR, "native refused");
}

duk_ret_t callbackNative(duk_context* ctx) {
    Guard guard;
    (void)guard;
    // Calls back into script, which throws; the error unwinds through this frame.
    duk_dup(ctx, 0);
    duk_call(ctx, 0);
    return 0;
}

duk_ret_t expireNative(duk_context* ctx) {
    duk_push_global_stash(ctx);
    duk_get_prop_string(ctx, -1, "budget");
    static_cast<platform::DukHeapBudget*>(duk_get_pointer(ctx, -1))->expire();
    return 0;
}

} // namespace

TEST_CASE("Duktape: a script error comes back as an error and the heap stays usable") {
    Heap heap;
    REQUIRE(heap.ctx != nullptr);
    CHECK(heap.eval("throw new Error('boom')") == "error:Error: boom");
    CHECK(heap.eval("undefinedName.prop") .rfind("error:ReferenceError", 0) == 0);
    CHECK(heap.eval("var x = ") .rfind("error:SyntaxError", 0) == 0);
    CHECK(heap.eval("var a = [1,2,3]; a.length * 2") == "6");
    CHECK(heap.eval("var o = {}; o.__defineGetter__('g', function(){ return 'got'; }); o.g") == "got");
}

TEST_CASE("Duktape: a runaway loop is stopped by the time limit and later scripts still run") {
    Heap heap;
    REQUIRE(heap.ctx != nullptr);
    heap.eval("var counter = 1;");
    auto started = std::chrono::steady_clock::now();
    std::string r = heap.eval("for(;;){}", std::chrono::milliseconds(50));
    auto took = std::chrono::steady_clock::now() - started;
    // Past the deadline allocations fail, so the error may be the engine's preallocated one.
    CHECK(r.rfind("error:", 0) == 0);
    CHECK(took < std::chrono::seconds(5));
    // A runaway loop that catches its own errors is still stopped: the check keeps firing.
    r = heap.eval("for(;;){ try { for(;;){} } catch (e) {} }", std::chrono::milliseconds(50));
    CHECK(r.rfind("error:", 0) == 0);
    CHECK(heap.eval("counter + 1") == "2");
}

namespace {
// A thread the scheduler keeps off the processor: its processor clock stands still.
std::chrono::nanoseconds starvedProcessor() {
    return std::chrono::nanoseconds(0);
}
} // namespace

TEST_CASE("Duktape: the time limit counts processor time, with a wall-clock backstop at twice the limit") {
    Heap heap;
    REQUIRE(heap.ctx != nullptr);
    heap.budget.processorTime = starvedProcessor;
    // Past its limit in wall time, short of the backstop: not the script's doing, so it finishes.
    CHECK(heap.eval("var t = Date.now(); while (Date.now() - t < 1300) {} 'done'", std::chrono::milliseconds(1200)) ==
          "done");
    // The backstop stops a runaway whose processor clock never moves, at twice its limit.
    auto started = std::chrono::steady_clock::now();
    CHECK(heap.eval("for(;;){}", std::chrono::milliseconds(1000)).rfind("error:", 0) == 0);
    auto took = std::chrono::steady_clock::now() - started;
    CHECK(took >= std::chrono::seconds(2));
    CHECK(took < std::chrono::seconds(3));
    CHECK(heap.eval("'after'") == "after");
}

TEST_CASE("Duktape: no C++ destructor is skipped when a script error unwinds native frames") {
    Heap heap;
    REQUIRE(heap.ctx != nullptr);
    duk_push_c_function(heap.ctx, throwingNative, 0);
    duk_put_global_string(heap.ctx, "refuse");
    duk_push_c_function(heap.ctx, callbackNative, 1);
    duk_put_global_string(heap.ctx, "callBack");

    destructorsRun = 0;
    CHECK(heap.eval("refuse()") == "error:TypeError: native refused");
    CHECK(destructorsRun == 1);
    CHECK(heap.eval("try { refuse(); 'no' } catch (e) { 'caught ' + e.message }") == "caught native refused");
    CHECK(destructorsRun == 2);
    CHECK(heap.eval("callBack(function(){ throw new Error('inner'); })") == "error:Error: inner");
    CHECK(destructorsRun == 3);
    // The timeout also unwinds through a native frame that is running script.
    CHECK(heap.eval("callBack(function(){ for(;;){} })", std::chrono::milliseconds(50)).rfind("error:", 0) == 0);
    CHECK(destructorsRun == 4);
}

TEST_CASE("Duktape: the heap budget refuses growth past the cap without breaking the heap") {
    Heap heap;
    REQUIRE(heap.ctx != nullptr);
    heap.budget.memoryLimit = heap.budget.memoryUsed + (2u << 20);
    std::string r = heap.eval("var parts = []; for (var i = 0; i < 1e7; i++) parts.push('xxxxxxxxxxxxxxxx' + i); parts.length");
    CHECK(r.rfind("error:", 0) == 0);
    heap.eval("parts = null;");
    duk_gc(heap.ctx, 0);
    CHECK(heap.eval("'still ' + (1 + 1)") == "still 2");
    CHECK(heap.budget.memoryUsed <= heap.budget.memoryLimit);
}

TEST_CASE("Duktape: an expired entry fails every allocation without collecting and the next entry runs normally") {
    Heap heap;
    REQUIRE(heap.ctx != nullptr);
    duk_push_global_stash(heap.ctx);
    duk_push_pointer(heap.ctx, &heap.budget);
    duk_put_prop_string(heap.ctx, -2, "budget");
    duk_pop(heap.ctx);
    duk_push_c_function(heap.ctx, expireNative, 0);
    duk_put_global_string(heap.ctx, "expireNow");

    heap.eval("var junk = []; for (var i = 0; i < 20000; i++) junk.push({ n: i, s: 'item ' + i });");
    // Past the deadline nothing more is allocated, even inside a native loop, and a catch cannot resume.
    // The entry's own limit is a minute: ending well before it means the expiry stopped the script.
    auto started = std::chrono::steady_clock::now();
    std::string r = heap.eval("expireNow(); var caught = 0;"
                              "for (;;) { try { new Array(4294967295).join('x'); } catch (e) { caught++; } }",
                              std::chrono::minutes(1));
    CHECK(r.rfind("error:", 0) == 0);
    CHECK(std::chrono::steady_clock::now() - started < std::chrono::seconds(20));
    // The collector runs again afterwards: dropping the junk gives its memory back.
    std::size_t before = heap.budget.memoryUsed;
    CHECK(heap.eval("junk = null; 'dropped'") == "dropped");
    duk_gc(heap.ctx, 0);
    duk_gc(heap.ctx, 0);
    CHECK(heap.budget.memoryUsed < before / 2);
    CHECK(heap.eval("[2, 1].sort().join('') + 'x'.repeat(3)") == "12xxx");
}

namespace {
// Where the engine keeps an object's finalizer: a hidden key, one no script string is meant to spell.
bool hasFinalizerKey(duk_context* ctx, const char* global) {
    duk_get_global_string(ctx, global);
    bool has = duk_is_object(ctx, -1) && duk_has_prop_lstring(ctx, -1, "\x82" "Finalizer", 10);
    duk_pop(ctx);
    return has;
}
} // namespace

TEST_CASE("Duktape: Duktape.fin refuses every call, and no string a script makes is the engine's finalizer key") {
    Heap heap;
    REQUIRE(heap.ctx != nullptr);
    // Setting and reading, called every way there is, on every kind of object.
    CHECK(heap.eval("var kept = {}, target = {}, fin = Duktape.fin, calls = 0, refused = 0;"
                    "var objects = [kept, Object.prototype, function () {}, [], Object.freeze({}), new Proxy(target, {})];"
                    "var ways = [function (o, f) { fin(o, f); }, function (o, f) { fin.call(null, o, f); },"
                    "  function (o, f) { fin.apply(null, [o, f]); }, function (o, f) { Reflect.apply(fin, null, [o, f]); },"
                    "  function (o, f) { fin.bind(null, o)(f); }, function (o) { fin(o); }];"
                    "objects.forEach(function (o) { ways.forEach(function (way) {"
                    "  calls++; try { way(o, function () {}); } catch (e) { refused++; } }); });"
                    "calls + ':' + refused") == "36:36");
    // Every road from bytes or text to a key, cut from the text every way, then both ways to store under
    // it. (CBOR.decode would hand back text that is not UTF-8, from which a split cuts the hidden key.)
    CHECK(heap.eval("var o = {}, bytes = [0x41, 0x82, 0x46, 0x69, 0x6e, 0x61, 0x6c, 0x69, 0x7a, 0x65, 0x72], texts = ["
                    "  'A\\x82Finalizer', 'A\\xffFinalizer', 'A' + String.fromCharCode(0x82) + 'Finalizer', JSON.parse('\"A\\\\u0082Finalizer\"'),"
                    "  new TextDecoder().decode(new Uint8Array(bytes)), new Buffer(bytes).toString(), 'A' + String(Duktape.dec('hex', '82')),"
                    "  decodeURIComponent('A%C2%82Finalizer'), unescape('A%82Finalizer')];"
                    "try { texts.push(CBOR.decode(new Uint8Array([0x6b].concat(bytes)))); } catch (e) {}"
                    "var keys = [Symbol('Finalizer'), Symbol.for('Finalizer')];"
                    "texts.forEach(function (t) { keys.push(t.split('A')[1], t.slice(1), t.substring(1), t.substr(1)); });"
                    "keys.forEach(function (k) { try { o[k] = function () {}; } catch (e) {}"
                    "  try { Object.defineProperty(Object.prototype, k, { value: function () {}, configurable: true }); } catch (e) {} });"
                    "'stored'") == "stored");
    CHECK_FALSE(hasFinalizerKey(heap.ctx, "o"));
    CHECK_FALSE(hasFinalizerKey(heap.ctx, "kept"));
    CHECK_FALSE(hasFinalizerKey(heap.ctx, "target"));
}
