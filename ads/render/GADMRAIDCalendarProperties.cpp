#include "ads/render/GADMRAIDCalendarProperties.h"

#include <cctype>
#include <ctime>

namespace ruzave {
namespace {

// Reads exactly `n` digits at `pos`.
bool digits(const std::string& s, std::size_t& pos, std::size_t n, int& out) {
    if (pos + n > s.size()) return false;
    out = 0;
    for (std::size_t i = 0; i < n; ++i) {
        unsigned char c = static_cast<unsigned char>(s[pos + i]);
        if (!std::isdigit(c)) return false;
        out = out * 10 + (c - '0');
    }
    pos += n;
    return true;
}

bool literal(const std::string& s, std::size_t& pos, char c) {
    if (pos >= s.size() || s[pos] != c) return false;
    ++pos;
    return true;
}

std::optional<std::string> text(const platform::Value& params, const char* key) {
    if (!params.is_object()) return std::nullopt;
    auto it = params.find(key);
    if (it == params.end() || !it->is_string()) return std::nullopt;
    return it->get<std::string>();
}

} // namespace

std::optional<double> GADMRAIDCalendarProperties::dateFromString(const std::string& s) {
    std::size_t pos = 0;
    int year, month, day, hour, minute, second;
    if (!digits(s, pos, 4, year) || !literal(s, pos, '-') || !digits(s, pos, 2, month) || !literal(s, pos, '-') ||
        !digits(s, pos, 2, day) || !literal(s, pos, 'T') || !digits(s, pos, 2, hour) || !literal(s, pos, ':') ||
        !digits(s, pos, 2, minute) || !literal(s, pos, ':') || !digits(s, pos, 2, second))
        return std::nullopt;
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60) return std::nullopt;
    int offset = 0;
    if (literal(s, pos, 'Z')) {
        // UTC
    } else if (pos < s.size() && (s[pos] == '+' || s[pos] == '-')) {
        int sign = s[pos] == '-' ? -1 : 1;
        ++pos;
        int oh, om;
        if (!digits(s, pos, 2, oh) || !literal(s, pos, ':') || !digits(s, pos, 2, om) || oh > 23 || om > 59)
            return std::nullopt;
        offset = sign * (oh * 3600 + om * 60);
    } else {
        return std::nullopt;
    }
    if (pos != s.size()) return std::nullopt;
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    return static_cast<double>(timegm(&tm)) - offset;
}

std::shared_ptr<GADMRAIDCalendarProperties> GADMRAIDCalendarProperties::initWithDictionary(const platform::Value& params) {
    std::shared_ptr<GADMRAIDCalendarProperties> p(new GADMRAIDCalendarProperties());
    if (auto start = text(params, "start")) p->startTime_ = dateFromString(*start);
    if (auto end = text(params, "end")) p->endTime_ = dateFromString(*end);
    p->summary_ = text(params, "summary");
    p->eventDescription_ = text(params, "description");
    p->location_ = text(params, "location");
    return p;
}

} // namespace ruzave
