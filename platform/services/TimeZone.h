#pragma once
// The local time zone: identifier and offset from GMT. Tests set it. Any thread.
#include <string>

namespace platform {

class TimeZone {
public:
    TimeZone() = default;
    TimeZone(std::string identifier, long secondsFromGMT)
        : identifier_(std::move(identifier)), secondsFromGMT_(secondsFromGMT) {}

    // "GMT" with offset 0 until a test changes it.
    static TimeZone local();
    static void setLocal(const TimeZone& zone);

    const std::string& identifier() const { return identifier_; }
    long secondsFromGMT() const { return secondsFromGMT_; }

    bool operator==(const TimeZone&) const = default;

private:
    std::string identifier_ = "GMT";
    long secondsFromGMT_ = 0;
};

} // namespace platform
