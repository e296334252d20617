// The engine's single-file source, built as C++ against our duk_config.h. Ours is included first (the
// engine's own copy next to duktape.c is then skipped by its include guard); the engine's internal
// provider macros in it only appear when DUK_COMPILING_DUKTAPE is set, so set it first.
#define DUK_COMPILING_DUKTAPE
#include "duk_config.h"
#include "/usr/share/duktape/duktape.c"

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
