// The engine's single-file source, built as C++ against our duk_config.h (found first on the include path).
#include "duk_config.h"
#include "/usr/share/duktape/duktape.c"
