#include "platform/web/ScriptContext.h"

#include <chrono>
#include <cstdlib>
#include <exception>

#include "duktape.h"
#include "platform/base/Log.h"

namespace platform {

namespace {

// A size header in front of every block, so the budget can account for frees and reallocs.
struct alignas(std::max_align_t) Header {
    std::size_t size;
};

void* budgetAlloc(void* udata, duk_size_t size) {
    auto* b = static_cast<DukHeapBudget*>(udata);
    if (size == 0) return nullptr;
    if (size > b->memoryLimit || b->memoryUsed > b->memoryLimit - size) return nullptr;
    auto* h = static_cast<Header*>(std::malloc(sizeof(Header) + size));
    if (h == nullptr) return nullptr;
    h->size = size;
    b->memoryUsed += size;
    return h + 1;
}

void budgetFree(void* udata, void* ptr) {
    if (ptr == nullptr) return;
    auto* b = static_cast<DukHeapBudget*>(udata);
    Header* h = static_cast<Header*>(ptr) - 1;
    b->memoryUsed -= h->size;
    std::free(h);
}

void* budgetRealloc(void* udata, void* ptr, duk_size_t size) {
    if (ptr == nullptr) return budgetAlloc(udata, size);
    if (size == 0) {
        budgetFree(udata, ptr);
        return nullptr;
    }
    auto* b = static_cast<DukHeapBudget*>(udata);
    Header* h = static_cast<Header*>(ptr) - 1;
    std::size_t old = h->size;
    if (size > old && (size - old > b->memoryLimit || b->memoryUsed > b->memoryLimit - (size - old))) return nullptr;
    auto* n = static_cast<Header*>(std::realloc(h, sizeof(Header) + size));
    if (n == nullptr) return nullptr;
    n->size = size;
    b->memoryUsed = b->memoryUsed - old + size;
    return n + 1;
}

[[noreturn]] void fatalHandler(void*, const char* msg) {
    logError(std::string("script engine fatal error: ") + escapeLogText(msg != nullptr ? msg : "?"));
    std::abort();
}

struct RunArgs {
    const std::function<void(duk_context*)>* body;
    std::exception_ptr hostException;
};

duk_ret_t runTrampoline(duk_context* ctx, void* udata) {
    auto* args = static_cast<RunArgs*>(udata);
    (*args->body)(ctx);
    return 0;
}

Error errorFromStack(duk_context* ctx) {
    std::string message = duk_safe_to_string(ctx, -1);
    return Error(ScriptContext::ErrorDomain, 1, message);
}

} // namespace

struct ScriptContext::EntryScope {
    ScriptContext& owner;
    explicit EntryScope(ScriptContext& o) : owner(o) {
        if (owner.depth_++ == 0)
            owner.budget_.startEntry(std::chrono::milliseconds(static_cast<long long>(owner.timeLimit_ * 1000)));
    }
    ~EntryScope() {
        if (--owner.depth_ == 0) owner.budget_.endEntry();
    }
};

std::unique_ptr<ScriptContext> ScriptContext::create(std::size_t memoryLimit, Error* error) {
    std::unique_ptr<ScriptContext> sc(new ScriptContext());
    sc->budget_.memoryLimit = memoryLimit;
    sc->ctx_ = duk_create_heap(budgetAlloc, budgetRealloc, budgetFree, &sc->budget_, fatalHandler);
    if (sc->ctx_ == nullptr) {
        setError(error, Error(ErrorDomain, 2, "cannot create the script heap"));
        return nullptr;
    }
    return sc;
}

ScriptContext::~ScriptContext() {
    if (ctx_ != nullptr) duk_destroy_heap(ctx_);
}

bool ScriptContext::run(const std::function<void(duk_context*)>& body, Error* error) {
    EntryScope scope(*this);
    duk_idx_t top = duk_get_top(ctx_);
    RunArgs args{&body, nullptr};
    bool ok = true;
    try {
        if (duk_safe_call(ctx_, runTrampoline, &args, 0, 1) != DUK_EXEC_SUCCESS) {
            Error e = errorFromStack(ctx_);
            logWarning("script error: " + escapeLogText(e.description));
            setError(error, std::move(e));
            ok = false;
        }
    } catch (...) {
        // duk_safe_call converts engine errors; anything else escaping is a host bug, contained here.
        setError(error, Error(ErrorDomain, 3, "host exception in script call"));
        ok = false;
    }
    duk_set_top(ctx_, top);
    return ok;
}

std::string ScriptContext::printed(duk_context* ctx, int index) {
    switch (duk_get_type(ctx, index)) {
    case DUK_TYPE_NONE:
    case DUK_TYPE_UNDEFINED:
    case DUK_TYPE_NULL: return {};
    case DUK_TYPE_STRING: {
        duk_size_t len = 0;
        const char* s = duk_get_lstring(ctx, index, &len);
        return std::string(s, len);
    }
    default: {
        duk_size_t len = 0;
        duk_dup(ctx, index);
        const char* s = duk_safe_to_lstring(ctx, -1, &len);
        std::string out(s != nullptr ? s : "", len);
        duk_pop(ctx);
        return out;
    }
    }
}

bool ScriptContext::evaluate(const std::string& source, const std::string& fileName, std::string* result,
                             Error* error) {
    std::string out;
    bool ok = run(
        [&](duk_context* ctx) {
            duk_push_string(ctx, fileName.c_str());
            duk_compile_lstring_filename(ctx, DUK_COMPILE_EVAL, source.data(), source.size());
            duk_call(ctx, 0);
            if (result != nullptr) out = printed(ctx, -1);
        },
        error);
    if (result != nullptr) *result = ok ? std::move(out) : std::string();
    return ok;
}

} // namespace platform
