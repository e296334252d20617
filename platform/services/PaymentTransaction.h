#pragma once
// One payment's passage through the payment queue. Only the queue changes it. Main thread.
#include <memory>
#include <optional>
#include <string>

#include "platform/base/Error.h"
#include "platform/services/Payment.h"

namespace platform {

class PaymentTransaction {
public:
    enum State { Purchasing = 0, Purchased = 1, Failed = 2, Restored = 3, Deferred = 4 };

    const Payment& payment() const { return payment_; }
    State transactionState() const { return state_; }
    // Set once purchased or restored; empty before.
    const std::string& transactionIdentifier() const { return identifier_; }
    // Seconds since 1970 of the last state change that completed it; 0 while purchasing.
    double transactionDate() const { return date_; }
    // Only for a failed transaction.
    const std::optional<Error>& error() const { return error_; }

private:
    friend class PaymentQueue;
    explicit PaymentTransaction(Payment p) : payment_(std::move(p)) {}
    Payment payment_;
    State state_ = Purchasing;
    std::string identifier_;
    double date_ = 0;
    std::optional<Error> error_;
};

} // namespace platform
