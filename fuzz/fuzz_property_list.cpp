// Property lists, XML and binary, as files and servers may hand them over: any bytes parse or are
// refused (strings and keys holding U+0000 included), and what parses writes out as XML that parses again.
#include "fuzz/FuzzSupport.h"
#include "platform/base/Error.h"
#include "platform/foundation/PropertyList.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input = fuzz::text(data, size);
    platform::Error error;
    auto value = platform::PropertyList::parse(input, &error);
    if (!value) return 0;
    auto xml = platform::PropertyList::toXML(*value, &error);
    if (!xml) return 0;
    fuzz::require(platform::PropertyList::parse(*xml).has_value());
    return 0;
}
