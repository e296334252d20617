#include "ads/core/net/GADHTTPURLResponseAdditions.h"

#include <cctype>
#include <string>

#include "platform/base/HTTPDate.h"
#include "platform/runloop/Clock.h"

namespace ruzave {

namespace {

// The integer at the start of `text` after white space; nullopt when no digit follows. Saturates
// instead of overflowing, so an absurd max-age stays a huge but finite lifetime.
std::optional<double> leadingInteger(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i >= text.size() || !std::isdigit(static_cast<unsigned char>(text[i]))) return std::nullopt;
    double value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        if (value < 1e15) value = value * 10 + (text[i] - '0');
    }
    return negative ? -value : value;
}

} // namespace

std::optional<double> gad_dateFromHttpDateString(std::string_view text) { return platform::parseHTTPDate(text); }

std::optional<double> gad_expirationDate(const platform::HTTPURLResponse& response) {
    const double now = platform::Clock::wallTime();
    if (response.valueForHTTPHeaderField("Pragma") == std::optional<std::string>("no-cache")) return std::nullopt;

    // A Date that does not parse is read as now: the server's lifetimes are then taken from now on.
    double base = now;
    if (auto date = response.valueForHTTPHeaderField("Date")) {
        if (auto parsed = gad_dateFromHttpDateString(*date)) base = *parsed;
    }

    if (auto cacheControl = response.valueForHTTPHeaderField("Cache-Control")) {
        if (cacheControl->find("no-store") != std::string::npos) return std::nullopt;
        const auto at = cacheControl->find("max-age=");
        if (at != std::string::npos) {
            if (auto seconds = leadingInteger(std::string_view(*cacheControl).substr(at + 8))) {
                if (*seconds >= 1) return base + *seconds;
                return std::nullopt;
            }
        }
    }

    if (auto expiresText = response.valueForHTTPHeaderField("Expires")) {
        auto expires = gad_dateFromHttpDateString(*expiresText);
        // Measured against the server's own Date, so a device clock that differs does not matter.
        if (expires && *expires > base) return now + (*expires - base);
    }
    return std::nullopt;
}

} // namespace ruzave
