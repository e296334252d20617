#pragma once
// The user's locale: identifier such as "en_US", its currency and the preferred languages. Tests set them.
// Any thread.
#include <string>
#include <vector>

namespace platform {

class Locale {
public:
    Locale() = default;
    Locale(std::string identifier, std::string currencyCode)
        : identifier_(std::move(identifier)), currencyCode_(std::move(currencyCode)) {}

    // The process's current locale ("en_US", "USD" until a test changes it).
    static Locale current();
    static void setCurrent(const Locale& locale);
    // Most preferred first ("en" until a test changes it).
    static std::vector<std::string> preferredLanguages();
    static void setPreferredLanguages(std::vector<std::string> languages);

    const std::string& identifier() const { return identifier_; }
    const std::string& currencyCode() const { return currencyCode_; }
    // The part before the first '_' or '-' ("en" of "en_US").
    std::string languageCode() const;
    // The region after it ("US" of "en_US"), empty when there is none.
    std::string countryCode() const;
    // Digits after the decimal point in the currency's minor unit (2 for USD, 0 for JPY, 3 for KWD).
    int currencyFractionDigits() const;

    bool operator==(const Locale&) const = default;

private:
    std::string identifier_;
    std::string currencyCode_;
};

} // namespace platform
