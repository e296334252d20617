#pragma once
// Decoding of URL queries and application/x-www-form-urlencoded bodies. Any thread (stateless).
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace adserver {

class QueryString {
public:
    // Percent-decodes `text`; '+' becomes a space. A '%' not followed by two hex digits stays as is.
    static std::string decode(std::string_view text);
    // "a=1&b=x+y&c" → {a,1} {b,x y} {c,""}, in order, repeats kept, empty pieces skipped.
    static std::vector<std::pair<std::string, std::string>> parse(std::string_view text);
};

} // namespace adserver
