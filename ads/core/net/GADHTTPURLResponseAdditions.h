#pragma once
// How long an HTTP response may be served from memory, by its Pragma, Date, Cache-Control and Expires
// fields. Pure functions of the response and the wall clock; any thread.
#include <optional>
#include <string_view>

#include "platform/net/HTTPURLResponse.h"

namespace ruzave {

// Seconds since 1970 at which the response expires; nullopt when it must not be kept.
std::optional<double> gad_expirationDate(const platform::HTTPURLResponse& response);
// An HTTP date in any of its three forms (RFC 1123, RFC 850, asctime), seconds since 1970.
std::optional<double> gad_dateFromHttpDateString(std::string_view text);

} // namespace ruzave
