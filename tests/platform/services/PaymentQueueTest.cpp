#include <doctest/doctest.h>

#include <string>
#include <vector>

#include "platform/runloop/Clock.h"
#include "platform/services/PaymentQueue.h"
#include "platform/testing/Harness.h"

using platform::PaymentQueue;
using platform::PaymentTransaction;

namespace {

struct Recorder : platform::PaymentTransactionObserver {
    struct Update {
        std::shared_ptr<PaymentTransaction> transaction;
        PaymentTransaction::State state;
    };
    std::vector<Update> updates;
    std::vector<std::shared_ptr<PaymentTransaction>> removed;

    void paymentQueueUpdatedTransactions(PaymentQueue&, const std::vector<std::shared_ptr<PaymentTransaction>>& ts) override {
        for (auto& t : ts) updates.push_back({t, t->transactionState()});
    }
    void paymentQueueRemovedTransactions(PaymentQueue&, const std::vector<std::shared_ptr<PaymentTransaction>>& ts) override {
        removed.insert(removed.end(), ts.begin(), ts.end());
    }
};

} // namespace

TEST_CASE_FIXTURE(platform::testing::Harness, "PaymentQueue: a scripted purchase goes purchasing then purchased, each once, and finishing removes it") {
    auto queue = PaymentQueue::defaultQueue();
    auto recorder = std::make_shared<Recorder>();
    queue->addTransactionObserver(recorder);
    queue->addTransactionObserver(recorder); // a second registration must not double the deliveries
    platform::Clock::setWallTime(1400000000);

    REQUIRE(queue->addPayment({"upgrade", 2}));
    // Completing before the purchasing update was delivered must still show both states, in order.
    CHECK(queue->completePendingForTesting() == 1);
    CHECK(recorder->updates.empty()); // nothing synchronously
    runUntilIdle();

    REQUIRE(recorder->updates.size() == 2);
    CHECK(recorder->updates[0].state == PaymentTransaction::Purchasing);
    CHECK(recorder->updates[1].state == PaymentTransaction::Purchased);
    auto t = recorder->updates[1].transaction;
    CHECK(t == recorder->updates[0].transaction);
    CHECK(t->payment().productIdentifier == "upgrade");
    CHECK(t->payment().quantity == 2);
    CHECK_FALSE(t->transactionIdentifier().empty());
    CHECK(t->transactionDate() == doctest::Approx(1400000000));
    CHECK_FALSE(t->error());

    // Completing again changes nothing: the transaction is no longer pending.
    CHECK(queue->completePendingForTesting() == 0);
    runUntilIdle();
    CHECK(recorder->updates.size() == 2);

    REQUIRE(queue->finishTransaction(t));
    CHECK(queue->transactions().empty());
    runUntilIdle();
    REQUIRE(recorder->removed.size() == 1);
    CHECK(recorder->removed[0] == t);
    CHECK_FALSE(queue->finishTransaction(t)); // already gone
}

TEST_CASE_FIXTURE(platform::testing::Harness, "PaymentQueue: failure carries the scripted error code and deferred waits for a final outcome") {
    auto queue = PaymentQueue::defaultQueue();
    auto recorder = std::make_shared<Recorder>();
    queue->addTransactionObserver(recorder);
    queue->scriptOutcome("coins", PaymentTransaction::Failed, PaymentQueue::PaymentCancelled);
    queue->scriptOutcome("family", PaymentTransaction::Deferred);

    REQUIRE(queue->addPayment({"coins", 1}));
    REQUIRE(queue->addPayment({"family", 1}));
    runUntilIdle();
    queue->completePendingForTesting();
    runUntilIdle();

    REQUIRE(recorder->updates.size() == 4);
    auto failed = recorder->updates[2];
    CHECK(failed.state == PaymentTransaction::Failed);
    REQUIRE(failed.transaction->error());
    CHECK(failed.transaction->error()->code == PaymentQueue::PaymentCancelled);
    CHECK(failed.transaction->transactionIdentifier().empty());
    auto deferred = recorder->updates[3];
    CHECK(deferred.state == PaymentTransaction::Deferred);

    platform::Error error;
    CHECK_FALSE(queue->finishTransaction(deferred.transaction, &error));
    CHECK_FALSE(error.description.empty());

    // Still deferred: completing again announces nothing new.
    CHECK(queue->completePendingForTesting() == 0);
    queue->scriptOutcome("family", PaymentTransaction::Purchased);
    CHECK(queue->completePendingForTesting() == 1);
    runUntilIdle();
    REQUIRE(recorder->updates.size() == 5);
    CHECK(recorder->updates[4].transaction == deferred.transaction);
    CHECK(recorder->updates[4].state == PaymentTransaction::Purchased);
    CHECK(queue->finishTransaction(failed.transaction));
    CHECK(queue->finishTransaction(deferred.transaction));
}

TEST_CASE_FIXTURE(platform::testing::Harness, "PaymentQueue: refuses bad payments, finishing while purchasing, and fails when payments are not allowed") {
    auto queue = PaymentQueue::defaultQueue();
    platform::Error error;
    CHECK_FALSE(queue->addPayment({"", 1}, &error));
    CHECK(error.code == PaymentQueue::PaymentInvalid);
    CHECK_FALSE(queue->addPayment({"upgrade", 0}));
    CHECK(queue->transactions().empty());

    auto recorder = std::make_shared<Recorder>();
    queue->addTransactionObserver(recorder);
    REQUIRE(queue->addPayment({"upgrade", 1}));
    runUntilIdle();
    REQUIRE(recorder->updates.size() == 1);
    CHECK_FALSE(queue->finishTransaction(recorder->updates[0].transaction));

    PaymentQueue::setCanMakePayments(false);
    CHECK_FALSE(PaymentQueue::canMakePayments());
    queue->completePendingForTesting();
    runUntilIdle();
    REQUIRE(recorder->updates.size() == 2);
    CHECK(recorder->updates[1].state == PaymentTransaction::Failed);
    CHECK(recorder->updates[1].transaction->error()->code == PaymentQueue::PaymentNotAllowed);
}

TEST_CASE_FIXTURE(platform::testing::Harness, "PaymentQueue: a removed or released observer hears nothing more") {
    auto queue = PaymentQueue::defaultQueue();
    auto kept = std::make_shared<Recorder>();
    auto removed = std::make_shared<Recorder>();
    auto released = std::make_shared<Recorder>();
    queue->addTransactionObserver(kept);
    queue->addTransactionObserver(removed);
    queue->addTransactionObserver(released);
    REQUIRE(queue->addPayment({"upgrade", 1}));
    // Removal before delivery counts: the update is delivered to whoever observes then.
    queue->removeTransactionObserver(removed);
    released.reset();
    runUntilIdle();
    CHECK(kept->updates.size() == 1);
    CHECK(removed->updates.empty());
}
