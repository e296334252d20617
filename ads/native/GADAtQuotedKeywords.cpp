#include "ads/native/GADAtQuotedKeywords.h"

#include <algorithm>
#include <limits>

namespace ruzave {
namespace {

// How many "@" follow one another from `at`.
std::size_t runOfAts(std::string_view format, std::size_t at) {
    std::size_t run = 0;
    while (at + run < format.size() && format[at + run] == '@')
        ++run;
    return run;
}

} // namespace

std::optional<std::string> GADExpandAtQuotedKeywords(std::string_view format,
                                                     const std::map<std::string, std::string>& values,
                                                     std::size_t maximumLength) {
    std::string out;
    out.reserve(std::min(format.size(), maximumLength));
    const auto fits = [&](std::size_t more) { return more <= maximumLength - out.size(); };
    std::size_t i = 0;
    while (i < format.size()) {
        if (format[i] != '@') {
            auto end = std::min(format.find('@', i), format.size());
            if (!fits(end - i)) return std::nullopt;
            out.append(format, i, end - i);
            i = end;
            continue;
        }
        // A run of "@" is pairs first, each a literal "@". An odd one left over opens a keyword when a name
        // and another odd run follow ("@sku@", "@sku@@@"); that run's pairs stay after the value.
        const std::size_t run = runOfAts(format, i);
        if (!fits(run / 2)) return std::nullopt;
        out.append(run / 2, '@');
        i += run;
        if (run % 2 == 0) continue;
        const auto nameEnd = format.find('@', i);
        if (i < format.size() && nameEnd != std::string_view::npos) {
            const std::size_t closing = runOfAts(format, nameEnd);
            if (closing % 2 == 1) {
                const auto it = values.find(std::string(format.substr(i, nameEnd - i)));
                const std::string_view value =
                    it != values.end() ? std::string_view(it->second) : std::string_view();
                if (!fits(value.size() + closing / 2)) return std::nullopt;
                out += value;
                out.append(closing / 2, '@');
                i = nameEnd + closing;
                continue;
            }
        }
        if (!fits(1)) return std::nullopt;
        out += '@';
    }
    return out;
}

std::string GADExpandAtQuotedKeywords(std::string_view format,
                                      const std::map<std::string, std::string>& values) {
    return *GADExpandAtQuotedKeywords(format, values, std::numeric_limits<std::size_t>::max());
}

} // namespace ruzave
