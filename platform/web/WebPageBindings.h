#pragma once
// The DOM bindings of a WebPage's heap: native functions over node ids (never pointers, so a wrapper
// outliving its node finds nothing) and the script prelude built on them. Main thread only.
#include <string>

#include "platform/base/Error.h"

struct duk_hthread;
typedef struct duk_hthread duk_context;

namespace platform {

class WebPage;

class WebPageBindings {
public:
    // Installs window, document and the rest into the page's heap. Runs inside an engine entry.
    static void install(duk_context* ctx, WebPage& page);
    // Pushes the prelude's hook `name` (fire, timer, click, submit); the caller pushes the arguments
    // and calls it. Runs inside an engine entry.
    static void pushHook(duk_context* ctx, const char* name);
    static const char* preludeSource();
};

} // namespace platform
