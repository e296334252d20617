#pragma once
// Hears the payment queue's transaction updates, on the main thread.
#include <memory>
#include <vector>

namespace platform {

class PaymentQueue;
class PaymentTransaction;

class PaymentTransactionObserver {
public:
    virtual ~PaymentTransactionObserver() = default;
    // Each state a transaction reaches is announced once to each observer.
    virtual void paymentQueueUpdatedTransactions(PaymentQueue& queue,
                                                 const std::vector<std::shared_ptr<PaymentTransaction>>& transactions) = 0;
    // Finished transactions leave the queue.
    virtual void paymentQueueRemovedTransactions(PaymentQueue&,
                                                 const std::vector<std::shared_ptr<PaymentTransaction>>&) {}
};

} // namespace platform
