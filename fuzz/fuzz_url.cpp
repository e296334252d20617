// URLs from pages and servers: parsing, every accessor, resolution against a base, and percent coding.
// Input: a reference, a newline, then a base URL.
#include "fuzz/FuzzSupport.h"
#include "platform/base/URL.h"

namespace {

void touch(const platform::URL& url) {
    url.scheme();
    url.host();
    url.port();
    url.user();
    url.password();
    url.path();
    url.percentEncodedPath();
    url.pathComponents();
    url.lastPathComponent();
    url.pathExtension();
    url.query();
    url.fragment();
    url.resourceSpecifier();
    url.isFileURL();
    // What a URL prints, it reads back as the same URL.
    auto again = platform::URL::parse(url.absoluteString());
    fuzz::require(again.has_value() && *again == url);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input = fuzz::text(data, size);
    auto [reference, baseText] = fuzz::splitLine(input);
    auto url = platform::URL::parse(reference);
    if (url) touch(*url);
    if (auto base = platform::URL::parse(baseText)) {
        touch(*base);
        if (auto resolved = platform::URL::resolve(reference, *base)) touch(*resolved);
    }

    // Encoding keeps nothing it should not, and decoding gives the bytes back.
    std::string encoded = platform::percentEncode(input);
    auto decoded = platform::percentDecode(encoded, false);
    fuzz::require(decoded.has_value() && *decoded == input);
    platform::percentDecode(input, true);
    platform::percentDecode(input, false);
    platform::parseQuery(input);
    return 0;
}
