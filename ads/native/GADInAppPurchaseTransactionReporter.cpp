#include "ads/native/GADInAppPurchaseTransactionReporter.h"

#include <cstdio>
#include <map>

#include "ads/core/net/GADPinger.h"
#include "ads/core/public/GADRequest.h"
#include "ads/core/sdkcore/GADHosts.h"
#include "ads/core/signals/GADApplication.h"
#include "ads/core/signals/GADDevice.h"
#include "ads/core/util/GADURLEncoding.h"
#include "ads/native/GADAtQuotedKeywords.h"
#include "ads/native/GADInAppPurchaseProductCache.h"
#include "platform/base/Strings.h"
#include "platform/base/URL.h"
#include "platform/foundation/ClassRegistry.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/runloop/DispatchQueue.h"
#include "platform/services/AdvertisingIdentifierManager.h"
#include "platform/services/PaymentQueue.h"
#include "platform/services/Price.h"

namespace ruzave {
namespace {

constexpr int kPriceDecimals = 6;

std::string stringOf(const platform::Value& dict, const char* key) {
    auto it = dict.find(key);
    return it != dict.end() && it->is_string() ? it->get<std::string>() : std::string{};
}

void addNames(const platform::Value& array, std::vector<std::string>& names) {
    for (const auto& entry : array)
        if (entry.is_string() && !entry.get<std::string>().empty()) names.push_back(entry.get<std::string>());
}

} // namespace

std::shared_ptr<GADInAppPurchaseTransactionReporter> GADInAppPurchaseTransactionReporter::sharedInstance() {
    static const std::shared_ptr<GADInAppPurchaseTransactionReporter> instance = init();
    return instance;
}

std::shared_ptr<GADInAppPurchaseTransactionReporter> GADInAppPurchaseTransactionReporter::init() {
    return std::shared_ptr<GADInAppPurchaseTransactionReporter>(new GADInAppPurchaseTransactionReporter());
}

std::string GADInAppPurchaseTransactionReporter::defaultReportFormat() {
    return std::string("https://") + GADHosts::kConversionHost +
           "/pagead/conversion/?appversion=@appversion@&bundleid=@bundleid@&currency_code=@currencycode@"
           "&iap_source=@iapsource@&lat=@lat@&osversion=@osversion@&price=@price@&quantity=@quantity@"
           "&rdid=@rdid@&sdkversion=@sdkversion@&sku=@sku@&timestamp=@timestamp@&transaction_id=@transactionid@";
}

std::vector<std::string> GADInAppPurchaseTransactionReporter::equivalentClassNames() {
    auto stored = platform::UserDefaults::standard()->object(kEquivalentClassesKey);
    if (!stored || stored->is_null()) return {kDefaultEquivalentClass};
    std::vector<std::string> names;
    if (stored->is_array()) {
        addNames(*stored, names);
        return names;
    }
    if (!stored->is_string()) return names;
    const auto text = stored->get<std::string>();
    if (auto parsed = platform::parseJSON(text); parsed && parsed->is_array()) {
        addNames(*parsed, names);
        return names;
    }
    for (const auto& piece : platform::split(text, ",")) {
        auto name = platform::trim(piece);
        if (!name.empty()) names.push_back(name);
    }
    return names;
}

std::string GADInAppPurchaseTransactionReporter::formatPrice(const platform::Price& price) {
    // From the exact decimal: never through a binary double, which would turn 4.99 into 4.989999.
    long long units = price.units();
    int scale = price.scale();
    for (; scale > kPriceDecimals; --scale) units /= 10; // prices are never negative: this rounds down
    auto digits = std::to_string(units);
    if (scale == 0) return digits;
    if (static_cast<int>(digits.size()) <= scale) digits.insert(0, static_cast<std::size_t>(scale) + 1 - digits.size(), '0');
    digits.insert(digits.size() - static_cast<std::size_t>(scale), ".");
    while (digits.back() == '0') digits.pop_back();
    if (digits.back() == '.') digits.pop_back();
    return digits;
}

bool GADInAppPurchaseTransactionReporter::shouldBeEnabled() const {
    if (wasDisabled_.load()) return false;
    for (const auto& name : equivalentClassNames())
        if (platform::ClassRegistry::hasClass(name)) return false;
    return true;
}

void GADInAppPurchaseTransactionReporter::enableReporting() {
    // Disabling is final for the process.
    if (wasDisabled_.load() || reportingEnabled_.exchange(true)) return;
    platform::PaymentQueue::defaultQueue()->addTransactionObserver(weak_from_this());
}

void GADInAppPurchaseTransactionReporter::disableReporting() {
    wasDisabled_.store(true);
    if (!reportingEnabled_.exchange(false)) return;
    platform::PaymentQueue::defaultQueue()->removeTransactionObserver(shared_from_this());
}

bool GADInAppPurchaseTransactionReporter::isReportedOrPending(const std::string& identifier) {
    if (!loadedReported_) {
        loadedReported_ = true;
        if (auto stored = platform::UserDefaults::standard()->array(kReportedTransactionsKey)) {
            for (const auto& entry : *stored) {
                if (!entry.is_string() || !reported_.insert(entry.get<std::string>()).second) continue;
                reportedOrder_.push_back(entry.get<std::string>());
            }
        }
    }
    return reported_.count(identifier) > 0 || pending_.count(identifier) > 0;
}

void GADInAppPurchaseTransactionReporter::rememberReportedTransaction(const std::string& identifier) {
    pending_.erase(identifier);
    if (!reported_.insert(identifier).second) return;
    reportedOrder_.push_back(identifier);
    while (reportedOrder_.size() > kMaximumRememberedTransactions) {
        reported_.erase(reportedOrder_.front());
        reportedOrder_.pop_front();
    }
    platform::Value list = platform::Value::array();
    for (const auto& id : reportedOrder_) list.push_back(id);
    platform::UserDefaults::standard()->set(kReportedTransactionsKey, std::move(list));
}

void GADInAppPurchaseTransactionReporter::paymentQueueUpdatedTransactions(
    platform::PaymentQueue&, const std::vector<std::shared_ptr<platform::PaymentTransaction>>& transactions) {
    if (!reportingEnabled_.load()) return;
    auto cache = GADInAppPurchaseProductCache::sharedInstance();
    platform::Value kept = platform::Value::array();
    std::set<std::string> unknown;
    for (const auto& transaction : transactions) {
        if (!transaction || transaction->transactionState() != platform::PaymentTransaction::Purchased) continue;
        const auto& identifier = transaction->transactionIdentifier();
        if (!identifier.empty()) {
            if (isReportedOrPending(identifier)) continue;
            pending_.insert(identifier);
        }
        const auto& payment = transaction->payment();
        char timestamp[64];
        std::snprintf(timestamp, sizeof timestamp, "%f", transaction->transactionDate());
        platform::Value entry = platform::Value::object();
        entry["sku"] = payment.productIdentifier;
        entry["transactionid"] = identifier;
        entry["quantity"] = std::to_string(payment.quantity);
        entry["timestamp"] = std::string(timestamp);
        if (!payment.productIdentifier.empty() && !cache->cachedProductForProductID(payment.productIdentifier))
            unknown.insert(payment.productIdentifier);
        kept.push_back(std::move(entry));
    }
    if (kept.empty()) return;
    auto self = shared_from_this();
    if (!unknown.empty()) {
        // Whatever the store answers, the purchases are reported: with the price when it knew the product.
        cache->requestProductsWithProductIdentifiers(unknown, platform::DispatchQueue::main(),
                                                     [self, kept](const auto&, const auto&, const auto&) {
                                                         self->reportTransactionsFromArray(kept);
                                                     });
        return;
    }
    platform::DispatchQueue::main()->async([self, kept] { self->reportTransactionsFromArray(kept); });
}

void GADInAppPurchaseTransactionReporter::reportTransactionsFromArray(const platform::Value& transactions) {
    auto app = GADApplication::sharedInstance();
    auto device = GADDevice::sharedInstance();
    auto identifiers = platform::AdvertisingIdentifierManager::sharedManager();
    platform::Value shared = platform::Value::object();
    shared["appversion"] = app->version();
    shared["bundleid"] = app->mainBundleIdentifier();
    shared["iapsource"] = "auto";
    shared["osversion"] = device->systemVersion();
    shared["rdid"] = identifiers ? identifiers->advertisingIdentifier() : std::string{};
    shared["lat"] = device->limitAdTrackingString();
    shared["sdkversion"] = GADRequest::sdkVersion();
    auto self = shared_from_this();
    platform::DispatchQueue::global()->async(
        [self, transactions, shared] { self->reportTransactionsFromArray(transactions, shared); });
}

void GADInAppPurchaseTransactionReporter::reportTransactionsFromArray(const platform::Value& transactions,
                                                                      const platform::Value& sharedParameters) {
    auto defaults = platform::UserDefaults::standard();
    auto format = defaults->string(kReportFormatKey).value_or(defaultReportFormat());
    auto suffix = defaults->string(kRetrySuffixKey).value_or(kDefaultRetrySuffix);
    auto cache = GADInAppPurchaseProductCache::sharedInstance();
    auto pinger = GADPinger::sharedInstance();
    for (const auto& transaction : transactions) {
        std::map<std::string, std::string> values;
        for (const auto& [key, value] : sharedParameters.items())
            if (value.is_string()) values[key] = value.get<std::string>();
        for (const char* key : {"sku", "transactionid", "quantity", "timestamp"}) values[key] = stringOf(transaction, key);
        if (auto product = cache->cachedProductForProductID(values["sku"])) {
            values["price"] = formatPrice(product->price());
            if (!product->currencyCode().empty()) values["currencycode"] = product->currencyCode();
        }
        for (auto& [key, value] : values) value = gad_stringByEscapingAsURLParameter(value);
        auto expanded = GADExpandAtQuotedKeywords(format, values);
        pinger->pingWithRetryGroupKey(kRetryGroupKey, platform::URL::parse(expanded), expanded + suffix);
    }
    // The pinger stores retry URLs in order on its queue: once this block runs there, the reports above
    // are stored, and only now may a later delivery of these transactions be skipped.
    std::vector<std::string> identifiers;
    for (const auto& transaction : transactions)
        if (auto id = stringOf(transaction, "transactionid"); !id.empty())
            identifiers.push_back(std::move(id));
    if (identifiers.empty()) return;
    auto self = shared_from_this();
    pinger->lockQueue()->async([self, identifiers] {
        platform::DispatchQueue::main()->async([self, identifiers] {
            for (const auto& id : identifiers)
                self->rememberReportedTransaction(id);
        });
    });
}

} // namespace ruzave
