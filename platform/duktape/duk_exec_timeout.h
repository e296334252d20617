#pragma once
/* Called by the engine every few thousand bytecodes with the heap's user data; a non-zero answer
 * throws a RangeError out of the running script. The web view sets the deadline per entry. */
#ifdef __cplusplus
extern "C++" {
#endif
int ruzave_duk_exec_timeout_check(void* udata);
#ifdef __cplusplus
}
#endif
