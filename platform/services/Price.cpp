#include "platform/services/Price.h"

#include <limits>

namespace platform {
namespace {

constexpr int maxDigits = 15; // keeps every multiplication below far inside 64 bits

long long pow10(int n) {
    long long p = 1;
    while (n-- > 0) p *= 10;
    return p;
}

} // namespace

std::optional<Price> Price::fromString(std::string_view text) {
    auto dot = text.find('.');
    auto whole = text.substr(0, dot);
    auto fraction = dot == std::string_view::npos ? std::string_view{} : text.substr(dot + 1);
    if (whole.empty() || (dot != std::string_view::npos && fraction.empty())) return std::nullopt;
    long long units = 0;
    int significant = 0;
    for (auto part : {whole, fraction}) {
        for (char c : part) {
            if (c < '0' || c > '9') return std::nullopt;
            if (significant > 0 || c != '0') ++significant;
            if (significant > maxDigits) return std::nullopt;
            units = units * 10 + (c - '0');
        }
    }
    return Price(units, static_cast<int>(fraction.size()));
}

std::string Price::toString() const {
    auto digits = std::to_string(units_);
    if (scale_ == 0) return digits;
    if (static_cast<int>(digits.size()) <= scale_) digits.insert(0, static_cast<std::size_t>(scale_) + 1 - digits.size(), '0');
    digits.insert(digits.size() - static_cast<std::size_t>(scale_), ".");
    return digits;
}

std::optional<long long> Price::minorUnits(int fractionDigits) const {
    if (fractionDigits < 0 || fractionDigits > maxDigits) return std::nullopt;
    if (fractionDigits >= scale_) {
        auto factor = pow10(fractionDigits - scale_);
        if (units_ > std::numeric_limits<long long>::max() / factor) return std::nullopt;
        return units_ * factor;
    }
    auto divisor = pow10(scale_ - fractionDigits);
    if (units_ % divisor != 0) return std::nullopt;
    return units_ / divisor;
}

bool Price::operator==(const Price& other) const {
    int scale = scale_ > other.scale_ ? scale_ : other.scale_;
    auto a = minorUnits(scale);
    auto b = other.minorUnits(scale);
    return a && b && *a == *b;
}

} // namespace platform
