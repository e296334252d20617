#include <doctest/doctest.h>

#include <atomic>
#include <thread>

#include "platform/runloop/MainLoop.h"
#include "platform/runloop/OperationQueue.h"

using platform::BlockOperation;
using platform::MainLoop;
using platform::OperationQueue;

TEST_CASE("OperationQueue: a width of one runs operations one at a time, in order") {
    auto q = OperationQueue::create("test");
    q->setMaxConcurrentOperationCount(1);
    std::vector<int> order;
    std::atomic<int> inside{0};
    bool overlap = false;
    for (int i = 0; i < 50; ++i) {
        q->addOperation([&, i] {
            if (inside.fetch_add(1) != 0) overlap = true;
            order.push_back(i);
            CHECK(OperationQueue::current() == q);
            inside.fetch_sub(1);
        });
    }
    q->waitUntilAllOperationsAreFinished();
    CHECK_FALSE(overlap);
    REQUIRE(order.size() == 50);
    for (int i = 0; i < 50; ++i) CHECK(order[i] == i);
    CHECK(q->operationCount() == 0);
}

TEST_CASE("OperationQueue: suspended queues hold their work, and cancelled operations skip main but complete") {
    auto q = OperationQueue::create();
    q->setSuspended(true);
    std::atomic<int> ran{0}, completed{0};
    std::vector<std::shared_ptr<BlockOperation>> ops;
    for (int i = 0; i < 3; ++i) {
        auto op = BlockOperation::create([&] { ++ran; });
        op->setCompletionBlock([&] { ++completed; });
        ops.push_back(op);
        q->addOperation(op);
    }
    CHECK(q->operationCount() == 3);
    ops[1]->cancel();
    q->setSuspended(false);
    q->waitUntilAllOperationsAreFinished();
    CHECK(ran == 2);
    CHECK(completed == 3);
    CHECK(ops[1]->isFinished());
    CHECK(ops[1]->isCancelled());

    q->setSuspended(true);
    auto late = BlockOperation::create([&] { ++ran; });
    q->addOperation(late);
    q->cancelAllOperations();
    q->setSuspended(false);
    q->waitUntilAllOperationsAreFinished();
    CHECK(ran == 2);
}

TEST_CASE("OperationQueue: the main queue runs on the main thread and can be waited on from it") {
    auto q = OperationQueue::mainQueue();
    bool onMain = false;
    std::thread([&] { q->addOperation([&] { onMain = MainLoop::isMainThread(); }); }).join();
    q->waitUntilAllOperationsAreFinished();
    CHECK(onMain);
}
