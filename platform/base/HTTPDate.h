#pragma once
// HTTP dates: the three formats of RFC 7231 7.1.1.1 read, RFC 1123 written. Times are seconds
// since 1970 (UTC). Free functions; any thread.
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// "Sun, 06 Nov 1994 08:49:37 GMT", "Sunday, 06-Nov-94 08:49:37 GMT" or "Sun Nov  6 08:49:37 1994".
// Names are case-insensitive and "UTC" is taken for "GMT"; the weekday is checked for being a
// weekday name but not against the date. nullopt (and a debug log line) on anything else.
std::optional<double> parseHTTPDate(std::string_view text);
// RFC 1123 form of a time, whole seconds rounded down; years outside 0001-9999 are clamped.
std::string formatHTTPDate(double secondsSince1970);

} // namespace platform
