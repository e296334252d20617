#pragma once
// The "@"-quoted keyword macros of the templates the ad server sends: "@keyword@" stands for a value and
// "@@" for a literal "@". Callers escape each value (gad_escapeAts, or as a URL parameter), replace the
// keywords they know, remove the rest, then unescape. Pure; any thread.
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace ruzave {

// The text without its last character when that is "/".
std::string gad_stripTrailingSlash(std::string_view text);
// Every "@" doubled.
std::string gad_escapeAts(std::string_view text);

// Replaces, in one left-to-right pass, every keyword matching `pattern` that stands between an opening "@"
// which is not the second half of an escaped "@@" and a closing "@"; escaped "@@" pairs directly before
// either "@" stay. The replacement goes in literally and is never scanned again. The pattern is an
// ECMAScript expression that must match the whole keyword, which never holds "@" (keywords of more than
// 1024 bytes are not matched against a non-literal pattern). Nothing happens when the pattern or the
// replacement is missing, or the pattern is invalid.
void gad_replaceAtQuotedKeywordPattern(std::string& text, std::optional<std::string_view> pattern,
                                       std::optional<std::string_view> replacement);
// The value of a keyword, or nullopt to leave it as it stands.
using GADKeywordValue = std::function<std::optional<std::string_view>(std::string_view keyword)>;
// The same single pass, with each keyword's value given by `valueFor` (values go in literally).
void gad_replaceAtQuotedKeywords(std::string& text, const GADKeywordValue& valueFor);
// Deletes every remaining "@"-quoted keyword.
void gad_removeAtQuotedKeywords(std::string& text);
// Every "@@" becomes "@", left to right without overlap.
void gad_unescapeAts(std::string& text);

} // namespace ruzave
