#pragma once
// A non-negative decimal amount of money held exactly: an integer count of units at a decimal scale
// ("0.99" is 99 at scale 2). Never a binary floating-point number. Any thread (a plain value).
#include <optional>
#include <string>
#include <string_view>

namespace platform {

class Price {
public:
    Price() = default;
    // Reads "0.99", "12", "1.50". Signs, exponents, grouping, empty parts ("1.", ".5") and more than 15
    // significant digits are refused.
    static std::optional<Price> fromString(std::string_view text);

    // The count of units at scale(): 99 for "0.99", 150 for "1.50".
    long long units() const { return units_; }
    // Digits after the decimal point as written.
    int scale() const { return scale_; }
    // The text it was read from, normalised ("007.5" gives "7.5").
    std::string toString() const;
    // The amount in minor units of a currency with `fractionDigits` digits (99 cents for "0.99" and 2).
    // nullopt when the amount has finer digits than that currency allows (and they are not zero).
    std::optional<long long> minorUnits(int fractionDigits) const;

    // Equal amounts compare equal whatever their scale ("1.5" == "1.50").
    bool operator==(const Price& other) const;

private:
    Price(long long units, int scale) : units_(units), scale_(scale) {}
    long long units_ = 0;
    int scale_ = 0;
};

} // namespace platform
