#include "platform/web/ScriptContext.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <mutex>
#include <vector>

#include "duktape.h"
#include "platform/base/Log.h"

namespace platform {

namespace {

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

double threadCPUSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

} // namespace

struct ScriptContext::EntryScope {
    ScriptContext& owner;
    std::chrono::steady_clock::time_point started;
    double startedCPU = 0;
    explicit EntryScope(ScriptContext& o) : owner(o) {
        if (owner.depth_++ != 0) return;
        started = std::chrono::steady_clock::now();
        startedCPU = threadCPUSeconds();
        owner.budget_.startEntry(std::chrono::milliseconds(static_cast<long long>(owner.timeLimit_ * 1000)));
    }
    ~EntryScope() {
        if (--owner.depth_ != 0) return;
        owner.lastEntry_.overran = owner.budget_.expired();
        owner.budget_.endEntry();
        owner.lastEntry_.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        owner.lastEntry_.cpuSeconds = threadCPUSeconds() - startedCPU;
    }
};

std::unique_ptr<ScriptContext> ScriptContext::create(std::size_t memoryLimit, Error* error) {
    std::unique_ptr<ScriptContext> sc(new ScriptContext());
    sc->budget_.memoryLimit = memoryLimit;
    sc->ctx_ = duk_create_heap(DukHeapBudget::allocate, DukHeapBudget::reallocate, DukHeapBudget::release,
                               &sc->budget_, fatalHandler);
    if (sc->ctx_ == nullptr) {
        setError(error, Error(ErrorDomain, 2, "cannot create the script heap"));
        return nullptr;
    }
    sc->budget_.attach(sc->ctx_);
    if (!sc->installGuards(error)) return nullptr;
    return sc;
}

bool ScriptContext::installGuards(Error* error) {
    // Compiled once per process; each heap loads the bytecode. Never destroyed: heaps are made ahead on
    // another thread too (ScriptHeapReserve), which may still be at work while the process exits.
    static std::mutex* mutex = new std::mutex();
    static std::vector<unsigned char>* bytecode = new std::vector<unsigned char>();
    return run(
        [&](duk_context* ctx) {
            std::lock_guard<std::mutex> lock(*mutex);
            pushCompiledOnce(ctx, "guards", guardSource(), *bytecode);
            duk_call(ctx, 0);
            // The engine's own object (finalizers, threads, the error hooks, the call stack) is no page's
            // business; nothing of ours uses it.
            duk_push_global_object(ctx);
            duk_del_prop_string(ctx, -1, "Duktape");
        },
        error);
}

void ScriptContext::pushCompiledOnce(duk_context* ctx, const char* name, const char* source,
                                     std::vector<unsigned char>& bytecode) {
    if (bytecode.empty()) {
        duk_push_string(ctx, name);
        duk_compile_string_filename(ctx, DUK_COMPILE_EVAL, source);
        duk_dup_top(ctx);
        duk_dump_function(ctx);
        duk_size_t size = 0;
        auto* data = static_cast<unsigned char*>(duk_get_buffer_data(ctx, -1, &size));
        bytecode.assign(data, data + size);
        duk_pop(ctx);
    } else {
        void* buf = duk_push_fixed_buffer(ctx, bytecode.size());
        std::memcpy(buf, bytecode.data(), bytecode.size());
        duk_load_function(ctx);
    }
}

bool ScriptContext::outOfTime(duk_context* ctx) {
    duk_memory_functions functions{};
    duk_get_memory_functions(ctx, &functions);
    // Every heap of ours is made with a budget as its allocator's data.
    if (functions.alloc_func != DukHeapBudget::allocate || functions.udata == nullptr) return false;
    return static_cast<DukHeapBudget*>(functions.udata)->outOfTime();
}

ScriptContext::~ScriptContext() {
    if (ctx_ != nullptr) duk_destroy_heap(ctx_);
}

bool ScriptContext::run(const std::function<void(duk_context*)>& body, Error* error) {
    bool ok = runEntry(body, error);
    if (depth_ == 0) collectIfGrown();
    return ok;
}

void ScriptContext::collectIfGrown() {
    if (budget_.memoryUsed >= collectAbove_) {
        // A tiny fresh heap is not collected on its first entries; it only gets a threshold.
        if (collectAbove_ != 0) duk_gc(ctx_, 0);
        collectAbove_ = budget_.memoryUsed + std::max(kCollectSlack, budget_.memoryUsed / 2);
    }
}

bool ScriptContext::runEntry(const std::function<void(duk_context*)>& body, Error* error) {
    EntryScope scope(*this);
    duk_idx_t top = duk_get_top(ctx_);
    RunArgs args{&body, nullptr};
    bool ok = true;
    try {
        if (duk_safe_call(ctx_, runTrampoline, &args, 0, 1) != DUK_EXEC_SUCCESS) {
            // Past the deadline the engine's own error may be a bare one (its allocations fail then).
            Error e = budget_.expired() ? Error(ErrorDomain, TimeLimitCode, "the script ran past its time limit")
                                        : errorFromStack(ctx_);
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
