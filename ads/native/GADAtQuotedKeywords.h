#pragma once
// Report URL templates with at-quoted keywords: a keyword is its name between two "@" ("@sku@"), and a
// literal "@" is written "@@". Pure; any thread.
#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace ruzave {

// Replaces each keyword found in `values` by its value (inserted as given, never scanned again), removes
// every other keyword and turns each "@@" into "@". A run of "@" is read as pairs first, so "@@@sku@" is
// a literal "@" before the keyword, "@sku@@@" the keyword followed by a literal "@", and "@@sku@@" is the
// literal text "@sku@".
std::string GADExpandAtQuotedKeywords(std::string_view format, const std::map<std::string, std::string>& values);
// The same, or nullopt once the result would be longer than `maximumLength` bytes: expansion stops there,
// so no more than the bound is ever built.
std::optional<std::string> GADExpandAtQuotedKeywords(std::string_view format,
                                                     const std::map<std::string, std::string>& values,
                                                     std::size_t maximumLength);

} // namespace ruzave
