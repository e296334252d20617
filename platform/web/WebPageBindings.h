#pragma once
// The DOM bindings of a WebPage's heap: native functions over node ids (never pointers, so a wrapper
// outliving its node finds nothing) and the script prelude built on them. Main thread only, but for
// prepare.
#include <span>
#include <string>

#include "platform/base/Error.h"

struct duk_hthread;
typedef struct duk_hthread duk_context;

namespace platform {

class WebPage;

class WebPageBindings {
public:
    // Installs window, document and the rest into the page's heap: prepare, then attach. Runs inside an
    // engine entry.
    static void install(duk_context* ctx, WebPage& page);
    // Installs the bindings into a heap that has no page yet (any thread, inside an engine entry); nothing
    // about a page is read until attach.
    static void prepare(duk_context* ctx);
    // Gives a prepared heap its page: the document and the user agent are read now. Inside an entry.
    static void attach(duk_context* ctx, WebPage& page);
    // From now on the heap's calls about its page fail with a script error (the page is going). Outside
    // any entry; false when it could not be done.
    static bool detach(duk_context* ctx);
    // Pushes the prelude's hook `name` (fire, timer, click, submit); the caller pushes the arguments
    // and calls it. Runs inside an engine entry.
    static void pushHook(duk_context* ctx, const char* name);
    static const char* preludeSource();

    // The natives the prelude is built on, by name and number of arguments. A prepared heap also keeps
    // them in its global stash as "natives", out of pages' reach, where tests call them directly.
    struct NativeInfo {
        const char* name;
        int nargs;
    };
    static std::span<const NativeInfo> natives();
};

} // namespace platform
