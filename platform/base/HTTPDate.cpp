#include "platform/base/HTTPDate.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

#include "platform/base/Log.h"
#include "platform/base/Strings.h"

namespace platform {
namespace {

constexpr std::array<const char*, 7> kShortDays = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr std::array<const char*, 7> kLongDays = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                                  "Thursday", "Friday", "Saturday"};
constexpr std::array<const char*, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// Days from 1970-01-01 to y-m-d in the proleptic Gregorian calendar.
long long daysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

void civilFromDays(long long z, long long& y, unsigned& m, unsigned& d) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = static_cast<long long>(yoe) + era * 400 + (m <= 2);
}

bool isLeap(long long y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

unsigned daysInMonth(long long y, unsigned m) {
    static constexpr unsigned days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeap(y) ? 29 : days[m - 1];
}

class Cursor {
  public:
    explicit Cursor(std::string_view t) : text_(t) {}
    bool atEnd() const { return pos_ == text_.size(); }
    bool spaces() { // one or more
        const size_t start = pos_;
        while (pos_ < text_.size() && text_[pos_] == ' ')
            ++pos_;
        return pos_ > start;
    }
    bool character(char c) {
        if (pos_ < text_.size() && text_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }
    std::string_view word() {
        const size_t start = pos_;
        while (pos_ < text_.size() &&
               ((text_[pos_] >= 'a' && text_[pos_] <= 'z') || (text_[pos_] >= 'A' && text_[pos_] <= 'Z')))
            ++pos_;
        return text_.substr(start, pos_ - start);
    }
    bool number(size_t minDigits, size_t maxDigits, int& out) {
        const size_t start = pos_;
        int value = 0;
        while (pos_ < text_.size() && pos_ - start < maxDigits && text_[pos_] >= '0' && text_[pos_] <= '9')
            value = value * 10 + (text_[pos_++] - '0');
        if (pos_ - start < minDigits) return false;
        // A longer run of digits than allowed is garbage, not a shorter number.
        if (pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9') return false;
        out = value;
        return true;
    }

  private:
    std::string_view text_;
    size_t pos_ = 0;
};

template <size_t N> int indexOf(const std::array<const char*, N>& names, std::string_view word) {
    for (size_t i = 0; i < N; ++i)
        if (equalsIgnoringCase(names[i], word)) return static_cast<int>(i);
    return -1;
}

bool readTime(Cursor& c, int& h, int& mi, int& s) {
    return c.number(2, 2, h) && c.character(':') && c.number(2, 2, mi) && c.character(':') &&
           c.number(2, 2, s);
}

bool zone(Cursor& c) {
    const auto z = c.word();
    return equalsIgnoringCase(z, "GMT") || equalsIgnoringCase(z, "UTC");
}

std::optional<double> parseTrimmed(std::string_view text) {
    Cursor c(text);
    const std::string_view dayName = c.word();
    int day = 0, month = -1, year = 0, h = 0, mi = 0, s = 0;
    if (c.character(',')) {
        if (indexOf(kShortDays, dayName) >= 0) { // RFC 1123
            if (!c.spaces() || !c.number(1, 2, day) || !c.spaces()) return std::nullopt;
            month = indexOf(kMonths, c.word());
            if (!c.spaces() || !c.number(4, 4, year) || !c.spaces() || !readTime(c, h, mi, s) ||
                !c.spaces() || !zone(c))
                return std::nullopt;
        } else if (indexOf(kLongDays, dayName) >= 0) { // RFC 850
            if (!c.spaces() || !c.number(2, 2, day) || !c.character('-')) return std::nullopt;
            month = indexOf(kMonths, c.word());
            if (!c.character('-') || !c.number(2, 2, year) || !c.spaces() || !readTime(c, h, mi, s) ||
                !c.spaces() || !zone(c))
                return std::nullopt;
            year += year < 70 ? 2000 : 1900;
        } else {
            return std::nullopt;
        }
    } else if (indexOf(kShortDays, dayName) >= 0) { // asctime
        if (!c.spaces()) return std::nullopt;
        month = indexOf(kMonths, c.word());
        if (!c.spaces() || !c.number(1, 2, day) || !c.spaces() || !readTime(c, h, mi, s) || !c.spaces() ||
            !c.number(4, 4, year))
            return std::nullopt;
    } else {
        return std::nullopt;
    }
    if (!c.atEnd() || month < 0 || year < 1) return std::nullopt;
    const unsigned m = static_cast<unsigned>(month + 1);
    if (day < 1 || static_cast<unsigned>(day) > daysInMonth(year, m) || h > 23 || mi > 59 || s > 60)
        return std::nullopt;
    const long long days = daysFromCivil(year, m, static_cast<unsigned>(day));
    return static_cast<double>(days * 86400 + h * 3600 + mi * 60 + s);
}

} // namespace

std::optional<double> parseHTTPDate(std::string_view text) {
    auto result = parseTrimmed(trim(text));
    if (!result) logDebug("HTTP date: unreadable: " + escapeLogText(text.substr(0, 100)));
    return result;
}

std::string formatHTTPDate(double secondsSince1970) {
    static const double kMin = static_cast<double>(daysFromCivil(1, 1, 1)) * 86400.0;
    static const double kMax = static_cast<double>(daysFromCivil(9999, 12, 31)) * 86400.0 + 86399.0;
    double t = std::isnan(secondsSince1970) ? 0.0 : std::floor(secondsSince1970);
    t = std::clamp(t, kMin, kMax);
    const auto total = static_cast<long long>(t);
    long long days = total / 86400;
    long long rest = total % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    long long y = 0;
    unsigned m = 0, d = 0;
    civilFromDays(days, y, m, d);
    const long long weekday = ((days % 7) + 7 + 4) % 7; // 1970-01-01 was a Thursday
    return format("%s, %02u %s %04lld %02lld:%02lld:%02lld GMT", kShortDays[static_cast<size_t>(weekday)], d,
                  kMonths[m - 1], y, rest / 3600, (rest / 60) % 60, rest % 60);
}

} // namespace platform
