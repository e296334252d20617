#pragma once
// A product of the store's catalog, as a products request returns it. Any thread (a plain value).
#include <optional>
#include <string>

#include "platform/services/Locale.h"
#include "platform/services/Price.h"

namespace platform {

class Product {
public:
    Product() = default;
    Product(std::string identifier, Price price, Locale priceLocale, std::string title = {}, std::string description = {})
        : identifier_(std::move(identifier)), price_(price), priceLocale_(std::move(priceLocale)),
          title_(std::move(title)), description_(std::move(description)) {}

    const std::string& productIdentifier() const { return identifier_; }
    const std::string& localizedTitle() const { return title_; }
    const std::string& localizedDescription() const { return description_; }
    const Price& price() const { return price_; }
    // "0.99"
    std::string priceString() const { return price_.toString(); }
    // The price in the minor unit of the locale's currency (99 for "0.99" USD); nullopt when it is finer.
    std::optional<long long> priceMinorUnits() const { return price_.minorUnits(priceLocale_.currencyFractionDigits()); }
    const Locale& priceLocale() const { return priceLocale_; }
    const std::string& currencyCode() const { return priceLocale_.currencyCode(); }

private:
    std::string identifier_;
    Price price_;
    Locale priceLocale_;
    std::string title_;
    std::string description_;
};

} // namespace platform
