#pragma once
// One Duktape heap with a time limit per entry into the engine, counted in the processor time of its
// thread (which holds inside slow built-ins too, see DukHeapBudget) and a memory cap enforced by its
// allocator. Every host-side touch of the heap goes through run() or evaluate(), which are protected
// calls: a script error, an exhausted budget or a runaway loop comes back as false and an Error, never as
// an exception. Nothing a script defines runs outside an entry: the engine is built without finalizers,
// and its own object (Duktape) is out of scripts' reach. One thread at a time: the main thread, but for
// heaps made ahead and dropped on a thread of their own (ScriptHeapReserve).
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/base/Error.h"
#include "platform/duktape/DukHeapBudget.h"

struct duk_hthread;
typedef struct duk_hthread duk_context;

namespace platform {

class ScriptContext {
public:
    static constexpr std::size_t DefaultMemoryLimit = 64u << 20;
    static constexpr double DefaultTimeLimit = 1.0;
    static constexpr const char* ErrorDomain = "ScriptErrorDomain";
    // The error code of an entry stopped at its time limit.
    static constexpr int TimeLimitCode = 5;

    // nullptr when the heap cannot be made.
    static std::unique_ptr<ScriptContext> create(std::size_t memoryLimit = DefaultMemoryLimit,
                                                 Error* error = nullptr);
    ~ScriptContext();
    ScriptContext(const ScriptContext&) = delete;
    ScriptContext& operator=(const ScriptContext&) = delete;

    duk_context* context() const { return ctx_; }
    void setTimeLimit(double seconds) { timeLimit_ = seconds; }
    double timeLimit() const { return timeLimit_; }
    std::size_t memoryUsed() const { return budget_.memoryUsed; }
    // The heap's allocator and budget: what the host counts against the limit, and the blocks it watches.
    DukHeapBudget& budget() { return budget_; }

    // Compiles and runs `source`. On success `result` (if given) receives the completion value
    // printed the way a web view answers evaluate(): strings as they are, numbers and booleans
    // printed, undefined and null as "".
    bool evaluate(const std::string& source, const std::string& fileName, std::string* result = nullptr,
                  Error* error = nullptr);
    // Runs `body` as one protected entry: any engine error it raises unwinds to here. The stack is
    // restored to its height at entry afterwards.
    bool run(const std::function<void(duk_context*)>& body, Error* error = nullptr);
    // True while some entry is running (nested entries share the outermost one's deadline).
    bool isRunning() const { return depth_ > 0; }

    // The outermost entry that ended last: how long it held the thread (wall clock, and the processor
    // time it used, which a busy machine does not inflate), and whether it was stopped at its limit.
    struct EntryRecord {
        double seconds = 0;
        double cpuSeconds = 0;
        bool overran = false;
    };
    const EntryRecord& lastEntry() const { return lastEntry_; }

    // For natives whose work a script sets the size of: whether the entry running on the heap of `ctx`
    // has used up its time (and from then on, that it has, until it ends). Such a native asks as it goes
    // and throws when told so, and the script unwinds as from any overrun.
    static bool outOfTime(duk_context* ctx);

    // The printed form of the value at `index` (see evaluate).
    static std::string printed(duk_context* ctx, int index);
    // Pushes the function of the program `source`: compiled the first time, into `bytecode`, and loaded from
    // it afterwards, so repeat heaps skip the compiler. The caller guards `bytecode` where threads share it.
    static void pushCompiledOnce(duk_context* ctx, const char* name, const char* source,
                                 std::vector<unsigned char>& bytecode);

private:
    ScriptContext() = default;
    struct EntryScope;
    // The guard script every heap runs first (ScriptContext+Guards.cpp).
    static const char* guardSource();
    bool installGuards(Error* error);

    // After an outermost entry: a full collection once the heap has grown well past its size after
    // the last one. Counting references frees most garbage at once, but every function a script makes
    // is a cycle (with its prototype) that holds what it closed over; a long-lived page that gets a
    // call per request would otherwise pile those up until the engine's own, rare, collection.
    void collectIfGrown();
    bool runEntry(const std::function<void(duk_context*)>& body, Error* error);
    static constexpr std::size_t kCollectSlack = 512u << 10;

    DukHeapBudget budget_;
    std::size_t collectAbove_ = 0;
    duk_context* ctx_ = nullptr;
    double timeLimit_ = DefaultTimeLimit;
    int depth_ = 0;
    EntryRecord lastEntry_;
};

} // namespace platform
