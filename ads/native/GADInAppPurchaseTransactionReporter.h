#pragma once
// Reports the app's in-app purchase transactions. Not built into this SDK yet: the start-up asks it
// through this interface, and it never asks to be enabled. Any thread.
#include <memory>

namespace ruzave {

class GADInAppPurchaseTransactionReporter {
public:
    static std::shared_ptr<GADInAppPurchaseTransactionReporter> sharedInstance();
    bool shouldBeEnabled() const { return false; }
    void enableReporting() {}

private:
    GADInAppPurchaseTransactionReporter() = default;
};

} // namespace ruzave
