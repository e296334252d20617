#pragma once
// Script heaps for pages, made ahead and destroyed on a thread of its own: a page then neither waits on
// the main thread while the engine builds its built-ins, our guards and the page bindings, nor while each
// object of its heap is freed when it goes. A heap handed out has had nothing run in it but that set-up
// (WebPageBindings::prepare); heaps are independent of each other and each is touched by one thread at a
// time, handed over under the lock. The thread starts with the first heap asked for, and tops the
// reserve up after each one taken. Any thread.
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/web/ScriptContext.h"

namespace platform {

class ScriptHeapReserve {
public:
    // Heaps kept ready: a burst of pages takes more than the thread makes meanwhile and makes its own.
    static constexpr std::size_t Ready = 2;

    static ScriptHeapReserve& shared();

    // A prepared heap with the default memory limit, or nullptr when none is ready.
    std::unique_ptr<ScriptContext> take();
    // Destroys `heap` on the reserve's thread; its bindings must be detached from its page first.
    void retire(std::unique_ptr<ScriptContext> heap);
    // Waits at most `timeout` until every retired heap is destroyed and the reserve is full (or cannot
    // make heaps now), with its thread waiting for work; whether it got there.
    bool settle(std::chrono::milliseconds timeout);

private:
    ScriptHeapReserve() = default;
    void startIfNeeded();
    bool hasWork() const { return !retired_.empty() || (ready_.size() < Ready && !failed_); }
    void run();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable settled_;
    std::thread thread_;
    std::vector<std::unique_ptr<ScriptContext>> ready_;
    std::vector<std::unique_ptr<ScriptContext>> retired_;
    bool failed_ = false;
    bool working_ = false;
};

} // namespace platform
