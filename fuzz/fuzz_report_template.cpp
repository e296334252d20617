// Report URL templates with at-quoted keywords, as ads and the server send them.
// Input: a product identifier line, then the template (without a newline: the identifier alone).
// Expansion never fails unsafely; a value is inserted as it stands and never scanned again, a template
// without "@" comes back unchanged, and a bound gives the whole result or none of it.
#include <map>
#include <string>

#include "ads/native/GADAtQuotedKeywords.h"
#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto [skuLine, format] = fuzz::splitLine(fuzz::text(data, size));
    const std::string sku(skuLine);
    const std::map<std::string, std::string> values{{"sku", sku}, {"status", "2"}, {"quantity", "1"}};
    auto expanded = ruzave::GADExpandAtQuotedKeywords(format, values);
    // Each keyword costs at least three characters of the template and gives at most the longest value.
    fuzz::require(expanded.size() <= format.size() * (sku.size() + 1) + format.size());
    if (format.find('@') == std::string_view::npos) fuzz::require(expanded == format);
    // Bounded, it is the same string when that fits, and nothing a byte short of it.
    fuzz::require(ruzave::GADExpandAtQuotedKeywords(format, values, expanded.size()) == expanded);
    if (!expanded.empty())
        fuzz::require(!ruzave::GADExpandAtQuotedKeywords(format, values, expanded.size() - 1).has_value());
    // A template made only of the keyword gives exactly the value, whatever the value holds.
    fuzz::require(ruzave::GADExpandAtQuotedKeywords("@sku@", values) == sku);
    return 0;
}
