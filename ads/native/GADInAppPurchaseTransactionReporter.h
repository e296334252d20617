#pragma once
// Reports the app's store purchases to the ad network as conversions, whether or not an ad started
// them: it observes the default payment queue from launch and sends one ping per purchased transaction
// through the pinger's retry group, so a ping that fails is stored and sent again later. It stays off
// when another library that reports purchases itself is in the process, and for good once disabled.
// The switches: any thread; transactions arrive on the main thread; the URLs are built on a global queue.
#include <atomic>
#include <deque>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/base/Value.h"
#include "platform/services/PaymentTransactionObserver.h"

namespace platform {
class Price;
} // namespace platform

namespace ruzave {

class GADInAppPurchaseTransactionReporter : public platform::PaymentTransactionObserver,
                                            public std::enable_shared_from_this<GADInAppPurchaseTransactionReporter> {
  public:
    static constexpr const char* kEquivalentClassesKey = "/ruzave/ads/iap_equivalent_classes";
    static constexpr const char* kReportFormatKey = "/ruzave/ads/iap_report_format";
    static constexpr const char* kRetrySuffixKey = "/ruzave/ads/iap_retry_suffix";
    // The transaction identifiers whose reports the pinger has stored, so that one the store delivers
    // again (as it does at a later launch while the app has not finished it) is not reported twice.
    static constexpr const char* kReportedTransactionsKey = "/ruzave/ads/iap_reported_transaction_ids";
    static constexpr std::size_t kMaximumRememberedTransactions = 256;
    static constexpr const char* kRetryGroupKey = "/ruzave/ads/auto-iap";
    static constexpr const char* kDefaultEquivalentClass = "ZARAzodozozadu";
    static constexpr const char* kDefaultRetrySuffix = "&retry=1";

    static std::shared_ptr<GADInAppPurchaseTransactionReporter> sharedInstance();
    // A reporter that reads the remembered transactions afresh, as at a new launch (the shared one is
    // made with it).
    static std::shared_ptr<GADInAppPurchaseTransactionReporter> init();
    static std::string defaultReportFormat();

    // NO once disabled, and while a class named by the equivalent-classes setting exists.
    bool shouldBeEnabled() const;
    // Observes the default payment queue; does nothing once disabled.
    void enableReporting();
    void disableReporting();
    bool wasDisabled() const { return wasDisabled_.load(); }
    bool isReportingEnabled() const { return reportingEnabled_.load(); }

    void paymentQueueUpdatedTransactions(platform::PaymentQueue& queue,
                                         const std::vector<std::shared_ptr<platform::PaymentTransaction>>& transactions) override;

    // The equivalent-classes setting as a list: the server pushes it as text, read as a JSON array of
    // names when it is one, else as names separated by commas (blanks around them trimmed).
    static std::vector<std::string> equivalentClassNames();
    // At most six decimals, rounded down, no trailing zeros, no grouping: "4.99", "1", "2.5".
    static std::string formatPrice(const platform::Price& price);

  private:
    GADInAppPurchaseTransactionReporter() = default;
    void reportTransactionsFromArray(const platform::Value& transactions);
    void reportTransactionsFromArray(const platform::Value& transactions, const platform::Value& sharedParameters);
    // Main thread.
    bool isReportedOrPending(const std::string& identifier);
    void rememberReportedTransaction(const std::string& identifier);

    std::atomic<bool> reportingEnabled_{false};
    std::atomic<bool> wasDisabled_{false};
    // Main thread.
    bool loadedReported_ = false;
    std::set<std::string> reported_;
    std::deque<std::string> reportedOrder_;
    // Collected but not yet stored by the pinger: a duplicate delivery meanwhile is not reported twice,
    // and a process that dies meanwhile has not marked them reported.
    std::set<std::string> pending_;
};

} // namespace ruzave
