#pragma once
// The store's payment queue. Payments become transactions; their state changes are announced to the
// observers on the main loop, each state once. The store is simulated: tests script the outcome per
// product and then complete the pending payments. Main thread.
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "platform/base/Error.h"
#include "platform/services/Payment.h"
#include "platform/services/PaymentTransaction.h"
#include "platform/services/PaymentTransactionObserver.h"

namespace platform {

class PaymentQueue : public std::enable_shared_from_this<PaymentQueue> {
public:
    // Error domain and codes of failed transactions.
    static constexpr const char* errorDomain = "PaymentErrorDomain";
    enum ErrorCode { Unknown = 0, ClientInvalid = 1, PaymentCancelled = 2, PaymentInvalid = 3, PaymentNotAllowed = 4,
                     ProductNotAvailable = 5 };

    static std::shared_ptr<PaymentQueue> defaultQueue();
    // Whether this user may buy at all (parental controls). Tests set it; true by default.
    static bool canMakePayments();
    static void setCanMakePayments(bool allowed);

    void addTransactionObserver(const std::weak_ptr<PaymentTransactionObserver>& observer);
    void removeTransactionObserver(const std::shared_ptr<PaymentTransactionObserver>& observer);
    // Adds a transaction in the purchasing state. Refuses (false, error) an empty product identifier or a
    // quantity below 1.
    bool addPayment(const Payment& payment, Error* error = nullptr);
    // Removes a completed (purchased, failed or restored) transaction. Refuses one still purchasing or
    // deferred, and one that is not in the queue.
    bool finishTransaction(const std::shared_ptr<PaymentTransaction>& transaction, Error* error = nullptr);
    // The unfinished transactions, oldest first.
    const std::vector<std::shared_ptr<PaymentTransaction>>& transactions() const { return transactions_; }

    // Tests: what the store answers to payments of `productIdentifier` from now on. Purchased when not
    // scripted; a failed outcome carries `errorCode`.
    void scriptOutcome(const std::string& productIdentifier, PaymentTransaction::State state, long errorCode = 0);
    // Tests: moves every purchasing transaction, and every deferred one whose product now has a final
    // outcome, to its scripted state. The updates arrive on the main loop. Returns how many moved.
    std::size_t completePendingForTesting();
    // Tests: announces every unfinished purchased, failed or restored transaction again, as the store
    // does at a later launch of an app that did not finish them. Returns how many.
    std::size_t redeliverUnfinishedForTesting();

private:
    PaymentQueue() = default;
    struct Outcome {
        PaymentTransaction::State state = PaymentTransaction::Purchased;
        long errorCode = 0;
    };
    // Posts the announcement to the main loop.
    void announce(std::vector<std::shared_ptr<PaymentTransaction>> transactions, bool removed);
    void deliver(const std::vector<std::shared_ptr<PaymentTransaction>>& transactions, bool removed);
    std::vector<std::shared_ptr<PaymentTransactionObserver>> liveObservers();

    std::vector<std::weak_ptr<PaymentTransactionObserver>> observers_;
    std::vector<std::shared_ptr<PaymentTransaction>> transactions_;
    // The state each transaction is headed for; its own state changes only when the update is delivered,
    // so observers see every state in order.
    std::map<const PaymentTransaction*, PaymentTransaction::State> scheduled_;
    std::map<std::string, Outcome> outcomes_;
    long nextIdentifier_ = 1000000000000001;
};

} // namespace platform
