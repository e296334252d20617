#include "platform/web/ScriptHeapReserve.h"

#include "platform/web/WebPageBindings.h"

namespace platform {

ScriptHeapReserve& ScriptHeapReserve::shared() {
    static ScriptHeapReserve* reserve = new ScriptHeapReserve();  // never destroyed: the thread outlives statics
    return *reserve;
}

std::unique_ptr<ScriptContext> ScriptHeapReserve::take() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::unique_ptr<ScriptContext> heap;
    if (!ready_.empty()) {
        heap = std::move(ready_.back());
        ready_.pop_back();
    }
    failed_ = false;
    startIfNeeded();
    wake_.notify_one();
    return heap;
}

void ScriptHeapReserve::retire(std::unique_ptr<ScriptContext> heap) {
    if (!heap) return;
    std::lock_guard<std::mutex> lock(mutex_);
    retired_.push_back(std::move(heap));
    startIfNeeded();
    wake_.notify_one();
}

bool ScriptHeapReserve::settle(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    startIfNeeded();
    wake_.notify_one();
    return settled_.wait_for(lock, timeout, [this] { return !working_ && !hasWork(); });
}

void ScriptHeapReserve::startIfNeeded() {
    if (!thread_.joinable()) thread_ = std::thread([this] { run(); });
}

void ScriptHeapReserve::run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        if (!hasWork()) {
            working_ = false;
            settled_.notify_all();
            wake_.wait(lock, [this] { return hasWork(); });
        }
        working_ = true;
        if (!retired_.empty()) {
            auto dead = std::move(retired_);
            lock.unlock();
            dead.clear();
            lock.lock();
            continue;
        }
        lock.unlock();
        auto heap = ScriptContext::create();
        if (heap && !heap->run([](duk_context* ctx) { WebPageBindings::prepare(ctx); })) heap.reset();
        lock.lock();
        // A heap that cannot be made now is tried again when the next one is taken.
        if (heap) ready_.push_back(std::move(heap));
        else failed_ = true;
    }
}

} // namespace platform
