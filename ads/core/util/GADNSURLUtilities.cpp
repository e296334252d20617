#include "ads/core/util/GADNSURLUtilities.h"

#include "ads/core/util/GADJSONAdditions.h"
#include "ads/core/util/GADURLEncoding.h"
#include "platform/base/Strings.h"
#include "platform/base/Unicode.h"

namespace ruzave {

namespace {

constexpr std::string_view kAdURLTail = "&adurl=";

// The text a value stands for in a query: scalars in their shortest form, other values described.
std::string parameterText(const platform::Value& value) {
    if (value.is_null()) return {};
    if (value.is_object() || value.is_array() || value.is_binary()) return gad_valueDescription(value);
    return platform::stringValue(value);
}

std::vector<std::string> splitAtAny(std::string_view text, std::string_view separators) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find_first_of(separators, start);
        parts.emplace_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos) return parts;
        start = end + 1;
    }
}

} // namespace

std::optional<platform::URL> gad_appendQueryValue(const platform::URL& url, const std::optional<std::string>& value,
                                                  std::string_view key) {
    platform::Value parameters = platform::Value::object();
    parameters[std::string(key)] = value.value_or(std::string());
    return gad_appendQueryParameters(url, parameters);
}

std::optional<platform::URL> gad_appendQueryParameters(const platform::URL& url, const platform::Value& parameters) {
    if (!parameters.is_null() && !parameters.is_object()) return std::nullopt;
    std::string text = url.absoluteString();

    // The fragment is set aside so that the new pairs land in the query, not after "#".
    std::string fragment;
    if (const auto f = url.fragment(); f && text.size() > f->size() && text[text.size() - f->size() - 1] == '#') {
        fragment = text.substr(text.size() - f->size() - 1);
        text.resize(text.size() - fragment.size());
    }

    // "&adurl=" is looked for in the query only, and what follows it is put back last.
    const auto query = url.query();
    std::string tail;
    if (query && text.size() > query->size() && text[text.size() - query->size() - 1] == '?') {
        const std::size_t at = text.find(kAdURLTail, text.size() - query->size());
        if (at != std::string::npos) {
            tail = text.substr(at);
            text.resize(at);
        }
    }

    // A URL that ends in a bare "?" (as given, or once the tail is cut) takes the first pair directly.
    std::string separator = !query ? "?" : (!text.empty() && text.back() == '?' ? "" : "&");
    if (parameters.is_object()) {
        for (const auto& [key, value] : parameters.items()) {
            text += separator;
            text += gad_stringByEscapingAsURLParameter(key);
            const std::string escaped = gad_stringByEscapingAsURLParameter(parameterText(value));
            if (!escaped.empty()) text += "=" + escaped;
            separator = "&";
        }
    }
    text += tail;
    text += fragment;
    return platform::URL::parse(text);
}

std::optional<std::string> gad_parameterValueForKey(const platform::URL& url, std::string_view key) {
    auto values = gad_parameterValuesForKey(url, key);
    if (!values || values->empty()) return std::nullopt;
    return values->front();
}

std::optional<std::vector<std::string>> gad_parameterValuesForKey(const platform::URL& url, std::string_view key) {
    const auto query = url.query();
    if (!query) return std::nullopt;
    std::vector<std::string> values;
    for (const std::string& part : platform::split(*query, "&")) {
        const auto pieces = platform::split(part, "=");
        if (pieces.size() != 2 || pieces[0] != key) continue;
        if (auto decoded = platform::percentDecode(pieces[1])) values.push_back(std::move(*decoded));
    }
    if (values.empty()) return std::nullopt;
    return values;
}

platform::Value gad_dictionaryFromQueryParametersAndConvertKeysToLowercase(const platform::URL& url,
                                                                            bool convertKeysToLowercase) {
    platform::Value dictionary = platform::Value::object();
    const auto query = url.query();
    if (!query) return dictionary;
    for (const std::string& part : splitAtAny(*query, "&;")) {
        const auto pieces = platform::split(part, "=");
        if (pieces.size() != 2) continue;
        auto key = platform::percentDecode(pieces[0]);
        auto value = platform::percentDecode(pieces[1]);
        if (!key || !value) continue;
        dictionary[convertKeysToLowercase ? platform::toLowerUTF8(*key) : *key] = std::move(*value);
    }
    return dictionary;
}

std::optional<std::string> gad_impressionTicket(const platform::URL& url) {
    std::vector<std::string> segments;
    for (std::string& component : url.pathComponents()) {
        if (component != "/") segments.push_back(std::move(component));
    }
    if (segments.size() < 3) return std::nullopt;
    return segments[1] + "/" + segments[2];
}

std::string gad_absoluteStringWithoutFragmentComponent(const platform::URL& url) {
    const std::string& text = url.absoluteString();
    const auto fragment = url.fragment();
    if (!fragment || text.size() <= fragment->size() || text[text.size() - fragment->size() - 1] != '#') return text;
    return text.substr(0, text.size() - fragment->size() - 1);
}

bool gad_isHostEqualToString(const platform::URL& url, std::string_view host, bool caseSensitive) {
    const std::string own = url.host();
    if (own.empty()) return false;
    if (caseSensitive) return own == host;
    return platform::toLowerUTF8(own) == platform::toLowerUTF8(host);
}

bool gad_isSchemeEqualToString(const platform::URL& url, std::string_view scheme, bool caseSensitive) {
    const std::string own = url.scheme();
    if (own.empty()) return false;
    if (caseSensitive) return own == scheme;
    return platform::toLowerUTF8(own) == platform::toLowerUTF8(scheme);
}

} // namespace ruzave
