#pragma once
/* The engine's hooks into the host (see DukHeapBudget.h). ruzave_duk_exec_timeout_check is called with
 * the heap's user data from the bytecode interrupt and from the engine's native stack check (every
 * call, number conversion, JSON nesting level and regular expression backtrack); a non-zero answer
 * throws a RangeError out of the running script. ruzave_duk_hold_collector stops (or resumes) the
 * garbage collector of a heap, answering whether it changed anything. */
#ifdef __cplusplus
extern "C++" {
#endif
struct duk_hthread;
int ruzave_duk_exec_timeout_check(void* udata);
bool ruzave_duk_hold_collector(duk_hthread* heap, bool hold);
#ifdef __cplusplus
}
#endif

/* Bytecodes run between two interrupts (the engine's own default is 256K, far too coarse for a
 * loop of expensive built-ins). */
#define RUZAVE_DUK_INTERRUPT_INTERVAL 1024
