#include "platform/services/PaymentQueue.h"

#include <algorithm>
#include <atomic>
#include <string>

#include "platform/base/Log.h"
#include "platform/runloop/Clock.h"
#include "platform/runloop/MainLoop.h"

namespace platform {
namespace {

std::atomic<bool>& paymentsAllowed() {
    static std::atomic<bool> allowed{true};
    return allowed;
}

bool isFinal(PaymentTransaction::State s) {
    return s == PaymentTransaction::Purchased || s == PaymentTransaction::Failed || s == PaymentTransaction::Restored;
}

} // namespace

std::shared_ptr<PaymentQueue> PaymentQueue::defaultQueue() {
    static std::shared_ptr<PaymentQueue> queue(new PaymentQueue());
    return queue;
}

bool PaymentQueue::canMakePayments() { return paymentsAllowed().load(); }
void PaymentQueue::setCanMakePayments(bool allowed) { paymentsAllowed() = allowed; }

void PaymentQueue::addTransactionObserver(const std::weak_ptr<PaymentTransactionObserver>& observer) {
    auto strong = observer.lock();
    if (!strong) return;
    for (auto& o : observers_)
        if (o.lock() == strong) return;
    observers_.push_back(observer);
}

void PaymentQueue::removeTransactionObserver(const std::shared_ptr<PaymentTransactionObserver>& observer) {
    std::erase_if(observers_, [&](const auto& o) {
        auto s = o.lock();
        return !s || s == observer;
    });
}

bool PaymentQueue::addPayment(const Payment& payment, Error* error) {
    if (payment.productIdentifier.empty() || payment.quantity < 1) {
        setError(error, Error(errorDomain, PaymentInvalid, "A payment needs a product identifier and a quantity of at least 1."));
        return false;
    }
    std::shared_ptr<PaymentTransaction> t(new PaymentTransaction(payment));
    transactions_.push_back(t);
    scheduled_[t.get()] = PaymentTransaction::Purchasing;
    announce({t}, false);
    return true;
}

bool PaymentQueue::finishTransaction(const std::shared_ptr<PaymentTransaction>& transaction, Error* error) {
    auto it = std::find(transactions_.begin(), transactions_.end(), transaction);
    if (!transaction || it == transactions_.end()) {
        setError(error, Error(errorDomain, Unknown, "The transaction is not in the payment queue."));
        return false;
    }
    if (!isFinal(transaction->state_)) {
        logWarning("PaymentQueue: cannot finish a transaction that is still purchasing or deferred");
        setError(error, Error(errorDomain, Unknown, "Cannot finish a transaction that is still purchasing or deferred."));
        return false;
    }
    transactions_.erase(it);
    scheduled_.erase(transaction.get());
    announce({transaction}, true);
    return true;
}

void PaymentQueue::scriptOutcome(const std::string& productIdentifier, PaymentTransaction::State state, long errorCode) {
    outcomes_[productIdentifier] = Outcome{state, errorCode};
}

std::size_t PaymentQueue::completePendingForTesting() {
    std::size_t moved = 0;
    for (const auto& t : transactions_) {
        auto& headed = scheduled_[t.get()];
        if (headed != PaymentTransaction::Purchasing && headed != PaymentTransaction::Deferred) continue;
        Outcome outcome;
        if (auto o = outcomes_.find(t->payment_.productIdentifier); o != outcomes_.end()) outcome = o->second;
        if (!canMakePayments()) outcome = Outcome{PaymentTransaction::Failed, PaymentNotAllowed};
        if (outcome.state == headed) continue;
        if (outcome.state == PaymentTransaction::Purchasing) continue; // the store has not answered yet
        if (headed == PaymentTransaction::Deferred && !isFinal(outcome.state)) continue;
        headed = outcome.state;
        std::string identifier;
        if (outcome.state == PaymentTransaction::Purchased || outcome.state == PaymentTransaction::Restored)
            identifier = std::to_string(nextIdentifier_++);
        std::optional<Error> failure;
        if (outcome.state == PaymentTransaction::Failed)
            failure = Error(errorDomain, outcome.errorCode, "The payment failed.");
        // The transaction changes when its update is delivered, not before.
        auto self = shared_from_this();
        MainLoop::main().post([self, t, outcome, identifier, failure] {
            t->state_ = outcome.state;
            if (!identifier.empty()) t->identifier_ = identifier;
            t->date_ = Clock::wallTime();
            t->error_ = failure;
            self->deliver({t}, false);
        });
        ++moved;
    }
    return moved;
}

std::size_t PaymentQueue::redeliverUnfinishedForTesting() {
    std::vector<std::shared_ptr<PaymentTransaction>> again;
    for (const auto& t : transactions_)
        if (isFinal(t->state_)) again.push_back(t);
    if (!again.empty()) announce(again, false);
    return again.size();
}

std::vector<std::shared_ptr<PaymentTransactionObserver>> PaymentQueue::liveObservers() {
    std::vector<std::shared_ptr<PaymentTransactionObserver>> live;
    std::erase_if(observers_, [](const auto& o) { return o.expired(); });
    for (auto& o : observers_)
        if (auto s = o.lock()) live.push_back(std::move(s));
    return live;
}

void PaymentQueue::announce(std::vector<std::shared_ptr<PaymentTransaction>> transactions, bool removed) {
    auto self = shared_from_this();
    MainLoop::main().post([self, transactions = std::move(transactions), removed] {
        self->deliver(transactions, removed);
    });
}

void PaymentQueue::deliver(const std::vector<std::shared_ptr<PaymentTransaction>>& transactions, bool removed) {
    for (auto& observer : liveObservers()) {
        if (removed)
            observer->paymentQueueRemovedTransactions(*this, transactions);
        else
            observer->paymentQueueUpdatedTransactions(*this, transactions);
    }
}

} // namespace platform
