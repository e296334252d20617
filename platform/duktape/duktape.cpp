// The engine's single-file source, built as C++ against our duk_config.h. Ours is included first (the
// engine's own copy next to duktape.c is then skipped by its include guard); the engine's internal
// provider macros in it only appear when DUK_COMPILING_DUKTAPE is set, so set it first.
#define DUK_COMPILING_DUKTAPE
#include "duk_config.h"
// The header is generated from the system's copy at configure time; stop here if the changes the
// engine is built around did not make it in.
#if !defined(DUK_USE_CPP_EXCEPTIONS) || !defined(DUK_USE_INTERRUPT_COUNTER) || !defined(DUK_USE_EXEC_TIMEOUT_CHECK) || \
    !defined(DUK_USE_NATIVE_STACK_CHECK) || !defined(RUZAVE_DUK_INTERRUPT_INTERVAL) || defined(DUK_USE_FINALIZER_SUPPORT) || \
    defined(DUK_USE_CBOR_SUPPORT)
#error "duk_config.h lacks our changes: reconfigure (platform/duktape/CMakeLists.txt writes it)"
#endif
// Without finalizer support no object is ever marked finalizable, so the engine's one use of the
// finalize list outside that support (in duk_push_heapptr) is never reached.
#define DUK_HEAP_REMOVE_FROM_FINALIZE_LIST(heap, hdr) ((void)(heap), (void)(hdr))
#include "/usr/share/duktape/duktape.c"

// The engine's prebuilt table of built-ins still lists Duktape.fin, which it only defines with finalizer
// support: without it, setting or reading a finalizer is refused (as duk_set_finalizer is).
DUK_INTERNAL duk_ret_t duk_bi_duktape_object_fin(duk_hthread* thr) {
    DUK_DCERROR_UNSUPPORTED(thr);
}

// Holding the collector the way the engine's own debugger does while paused. Never from inside a
// collection (it resets the count when it ends).
bool ruzave_duk_hold_collector(duk_hthread* thr, bool hold) {
    if (thr == nullptr) return false;
    duk_heap* heap = thr->heap;
    if (hold) {
        if (heap->ms_running != 0) return false;
        heap->ms_prevent_count++;
        return true;
    }
    if (heap->ms_running != 0 || heap->ms_prevent_count == 0) return false;
    heap->ms_prevent_count--;
    return true;
}

// What the public API does not tell of an object, by its heap pointer (see duk_exec_timeout.h).
unsigned ruzave_duk_own_slots(void* object) {
    auto* h = static_cast<duk_hobject*>(object);
    return static_cast<unsigned>(DUK_HOBJECT_GET_ENEXT(h) + DUK_HOBJECT_GET_ASIZE(h));
}

bool ruzave_duk_is_extensible(void* object) {
    return DUK_HOBJECT_HAS_EXTENSIBLE(static_cast<duk_hobject*>(object)) != 0;
}
