#pragma once
// For the tests of what a page leaves in its heap: a script that leaves behind everything that could
// run when an object goes, each touch of it counted by a native `note`.
#include <atomic>

#include "duktape.h"

namespace scriptleftovers {

inline std::atomic<int> noted{0};

inline duk_ret_t note(duk_context*) {
    ++noted;
    return 0;
}

// Defines the global `note` in the heap at the top of `ctx`'s stack (run it inside an entry).
inline void installNote(duk_context* ctx) {
    duk_push_c_function(ctx, note, DUK_VARARGS);
    duk_put_global_string(ctx, "note");
}

// Every road to code that runs when an object goes: a finalizer set through whatever in reach offers
// one, or stored under the engine's key spelled every way a script can; proxies and accessors that
// note any touch. On cycles the collector frees, on objects that live until the heap ends (`kept`),
// and on the prototypes every object has. Completes with how many objects offered a finalizer.
inline constexpr const char* kLeaveBehind = R"JS(
var g = Function('return this')(), kept = [], fins = [], keys = [Symbol('Finalizer'), Symbol.for('Finalizer')];
[g, this].concat(Object.getOwnPropertyNames(g).map(function (n) { try { return g[n]; } catch (e) {} }))
    .forEach(function (c) { if (c && typeof c.fin === 'function') fins.push(c.fin); });
['\x82Finalizer', '\xffFinalizer', '_Finalizer', 'Finalizer'].forEach(function (t) {
    t = 'A' + t; keys.push(t.split('A')[1], t.slice(1)); });
try { keys.push(CBOR.decode(new Uint8Array([0x6b, 0x41, 0x82, 0x46, 0x69, 0x6e, 0x61, 0x6c, 0x69, 0x7a, 0x65, 0x72])).split('A')[1]); } catch (e) {}
var traps = {};
['get', 'set', 'has', 'deleteProperty', 'defineProperty', 'getOwnPropertyDescriptor', 'ownKeys',
 'getPrototypeOf', 'setPrototypeOf', 'isExtensible', 'preventExtensions', 'apply', 'construct']
    .forEach(function (t) { traps[t] = function () { note(); return Reflect[t].apply(null, arguments); }; });
function plant(o, accessors) {
    var f = function () { note(); };
    fins.forEach(function (fin) { try { fin(o, f); } catch (e) {} });
    keys.forEach(function (k) { try { Object.defineProperty(o, k, { value: f, configurable: true }); } catch (e) {} });
    if (accessors) ['valueOf', 'toString', 'toJSON', 'constructor'].forEach(function (k) {
        Object.defineProperty(o, k, { get: f, configurable: true }); });
    return o;
}
for (var i = 0; i < 50; i++) {
    var a = plant({}, true), b = plant(function () {}, true), p = new Proxy(plant(function () {}, true), traps);
    var child = Object.create(p);
    a.self = a; a.b = b; b.a = a; a.p = p; a.child = child;
    if (i % 2) kept.push(a);
}
plant(Object.prototype, false); plant(Function.prototype, false);
String(fins.length)
)JS";

// Whether objects in the heap at the top of `ctx`'s stack find anything under the engine's finalizer key
// (run it inside an entry).
inline bool finalizerKeyInReach(duk_context* ctx) {
    duk_push_object(ctx);
    bool has = duk_has_prop_lstring(ctx, -1, "\x82" "Finalizer", 10);
    duk_pop(ctx);
    return has;
}

} // namespace scriptleftovers
