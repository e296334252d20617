#include "platform/services/Locale.h"

#include <algorithm>
#include <array>
#include <mutex>
#include <string_view>

namespace platform {
namespace {

std::mutex& localeMutex() {
    static std::mutex m;
    return m;
}
Locale& currentLocale() {
    static Locale l("en_US", "USD");
    return l;
}
std::vector<std::string>& languages() {
    static std::vector<std::string> v{"en"};
    return v;
}

} // namespace

Locale Locale::current() {
    std::lock_guard lock(localeMutex());
    return currentLocale();
}

void Locale::setCurrent(const Locale& locale) {
    std::lock_guard lock(localeMutex());
    currentLocale() = locale;
}

std::vector<std::string> Locale::preferredLanguages() {
    std::lock_guard lock(localeMutex());
    return languages();
}

void Locale::setPreferredLanguages(std::vector<std::string> list) {
    std::lock_guard lock(localeMutex());
    languages() = std::move(list);
}

std::string Locale::languageCode() const {
    return identifier_.substr(0, identifier_.find_first_of("_-"));
}

std::string Locale::countryCode() const {
    auto sep = identifier_.find_first_of("_-");
    if (sep == std::string::npos) return {};
    auto rest = identifier_.substr(sep + 1);
    return rest.substr(0, rest.find_first_of("_-@"));
}

int Locale::currencyFractionDigits() const {
    // ISO 4217 exceptions to the usual two digits; enough for the catalogs we simulate.
    static constexpr std::array<std::string_view, 9> zero{"JPY", "KRW", "CLP", "ISK", "VND", "XAF", "XOF", "PYG", "UGX"};
    static constexpr std::array<std::string_view, 6> three{"BHD", "IQD", "JOD", "KWD", "OMR", "TND"};
    if (std::find(zero.begin(), zero.end(), currencyCode_) != zero.end()) return 0;
    if (std::find(three.begin(), three.end(), currencyCode_) != three.end()) return 3;
    return 2;
}

} // namespace platform
