#pragma once
/* The engine's hooks into the host (see DukHeapBudget.h), and two questions the host asks of it.
 * ruzave_duk_exec_timeout_check is called with the heap's user data from the bytecode interrupt and from the engine's native stack check (every
 * call, number conversion, JSON nesting level and regular expression backtrack); a non-zero answer
 * throws a RangeError out of the running script. ruzave_duk_hold_collector stops (or resumes) the
 * garbage collector of a heap, answering whether it changed anything. */
#ifdef __cplusplus
extern "C++" {
#endif
struct duk_hthread;
int ruzave_duk_exec_timeout_check(void* udata);
bool ruzave_duk_hold_collector(duk_hthread* heap, bool hold);
/* For an object by its heap pointer (duk_get_heapptr): how many own property slots it has used (deleted
 * properties may still count until the engine compacts it), and whether properties can be added. */
unsigned ruzave_duk_own_slots(void* object);
bool ruzave_duk_is_extensible(void* object);
#ifdef __cplusplus
}
#endif

/* Bytecodes run between two interrupts (the engine's own default is 256K, far too coarse for a
 * loop of expensive built-ins). */
#define RUZAVE_DUK_INTERRUPT_INTERVAL 1024
