#pragma once
// URL additions: query parameters appended in front of an "&adurl=" tail and before any fragment, query
// readings, the impression ticket, and host and scheme comparison. Pure; any thread.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/URL.h"
#include "platform/base/Value.h"

namespace ruzave {

// The URL with the one pair key -> value appended (a missing value appends the bare key).
std::optional<platform::URL> gad_appendQueryValue(const platform::URL& url, const std::optional<std::string>& value,
                                                  std::string_view key);
// The URL with each entry of the dictionary appended in its order: keys and value texts escaped as URL
// parameters, a value whose text is empty leaving the bare key. The pairs go after the existing query, in
// front of an "&adurl=" tail (so adurl stays last) and before the fragment. A null dictionary appends
// nothing; nullopt for any other non-dictionary or when the result does not parse.
std::optional<platform::URL> gad_appendQueryParameters(const platform::URL& url, const platform::Value& parameters);

// The first of gad_parameterValuesForKey.
std::optional<std::string> gad_parameterValueForKey(const platform::URL& url, std::string_view key);
// The percent-decoded values of the "&"-separated "key=value" parts whose key equals `key` exactly, in
// query order; parts that are not exactly one pair or do not decode are skipped. nullopt when none matches.
std::optional<std::vector<std::string>> gad_parameterValuesForKey(const platform::URL& url, std::string_view key);
// The "&"- and ";"-separated pairs, keys and values percent-decoded ("+" stays "+"), keys lower-cased when
// asked; a later key replaces an earlier one. Always a dictionary, empty without a query.
platform::Value gad_dictionaryFromQueryParametersAndConvertKeysToLowercase(const platform::URL& url,
                                                                            bool convertKeysToLowercase);

// The second and third path segments joined by "/" ("/a/b/c/d" -> "b/c"); nullopt with fewer than three.
std::optional<std::string> gad_impressionTicket(const platform::URL& url);
std::string gad_absoluteStringWithoutFragmentComponent(const platform::URL& url);

// False when the URL has no host (or scheme).
bool gad_isHostEqualToString(const platform::URL& url, std::string_view host, bool caseSensitive);
bool gad_isSchemeEqualToString(const platform::URL& url, std::string_view scheme, bool caseSensitive);

} // namespace ruzave
