// The engine's single-file source, built as C++ against our duk_config.h. Ours is included first (the
// engine's own copy next to duktape.c is then skipped by its include guard); the engine's internal
// provider macros in it only appear when DUK_COMPILING_DUKTAPE is set, so set it first.
#define DUK_COMPILING_DUKTAPE
#include "duk_config.h"
#include "/usr/share/duktape/duktape.c"
