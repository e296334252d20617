#pragma once
// A parsed URL or relative reference, following RFC 3986 and the original platform's strict
// validity rules (no spaces, no unescaped quotes or brackets outside an IPv6 host, ASCII only).
// A value type; any thread. Its text is held once, immutable, and shared by every copy; its parts are
// places in that text. A copy costs a reference, whatever the URL's length.
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

class URL {
  public:
    URL() = default; // the empty, invalid URL

    // nullopt when the text is no URL (spaces, illegal characters, malformed escapes, bad port...).
    static std::optional<URL> parse(std::string_view text);
    // RFC 3986 section 5 resolution of `reference` against `base` (which needs a scheme).
    static std::optional<URL> resolve(std::string_view reference, const URL& base);
    // A file URL for an absolute path (a relative path is taken from the root).
    static URL fileURL(std::string_view absolutePath);

    bool isValid() const { return valid_; }
    const std::string& absoluteString() const;

    std::string scheme() const; // lower-cased, "" for a relative reference
    std::string host() const;   // lower-cased, without the brackets of an IPv6 literal
    std::optional<int> port() const;
    // The port as written, else the scheme's default (http/ws 80, https/wss 443, ftp 21), else nullopt.
    std::optional<int> effectivePort() const;
    // Same scheme, host and effective port: where a credential sent to one may also go to the other.
    bool isSameOrigin(const URL& other) const;
    // The origin as the URL standard serializes it, as a page reads location.origin: for http, https,
    // ws, wss and ftp "scheme://host", lower-cased, an IPv6 host in brackets, and ":port" only when the
    // port is not the scheme's default (never the user info); a blob's that of the web URL inside it;
    // "null" for any other (opaque) origin: other schemes, file:, data:, about:, no host, a relative reference.
    std::string origin() const;
    std::string user() const;     // percent-decoded
    std::string password() const; // percent-decoded
    // Percent-decoded, with a trailing "/" dropped as the original does ("/" stays "/");
    // "" when there is none, when the URL is opaque ("mailto:x@y") or the path is not UTF-8.
    std::string path() const;
    std::string percentEncodedPath() const; // as written
    // Decoded components, "/" first for an absolute path; an escaped "%2F" stays inside its component.
    std::vector<std::string> pathComponents() const;
    std::string lastPathComponent() const;
    std::string pathExtension() const;
    std::optional<std::string> query() const;    // raw, without "?"; "" for a bare "?"
    std::optional<std::string> fragment() const; // raw, without "#"
    std::string resourceSpecifier() const;       // everything after "scheme:"
    bool isFileURL() const;
    // True for "//host..." forms and URLs whose path starts at the root.
    bool hasAuthority() const { return hasAuthority_; }

    bool operator==(const URL& o) const { return text_ == o.text_ || absoluteString() == o.absoluteString(); }
    bool operator!=(const URL& o) const { return !(*this == o); }

  private:
    // Where a part lies in the text.
    struct Span {
        std::size_t at = 0;
        std::size_t size = 0;
    };
    static std::optional<URL> parseStrict(std::string text);
    std::string_view part(Span span) const;
    std::string_view schemeText() const { return part(scheme_); }
    std::string_view userInfoText() const { return part(userInfo_); }
    std::string_view hostText() const { return part(host_); }
    std::string_view pathText() const { return part(path_); }
    std::optional<std::string_view> queryText() const;
    std::optional<std::string_view> fragmentText() const;

    std::shared_ptr<const std::string> text_; // null for the empty URL
    bool valid_ = false;
    bool opaque_ = false; // "scheme:" followed by something other than "/"
    bool hasAuthority_ = false;
    bool hasUserInfo_ = false;
    bool hasQuery_ = false;
    bool hasFragment_ = false;
    Span scheme_;   // as written; empty for a relative reference
    Span userInfo_;
    Span host_;     // as written, brackets removed
    std::optional<int> port_;
    Span path_;     // percent-encoded
    Span query_;    // without "?"
    Span fragment_; // without "#"
};

// Percent coding over UTF-8. Encoding keeps the unreserved characters (A-Z a-z 0-9 - . _ ~)
// plus those in `keep`; every other byte becomes "%XX".
std::string percentEncode(std::string_view text, std::string_view keep = "");
// nullopt on a malformed escape, or (when requireUTF8) when the result is not valid UTF-8.
std::optional<std::string> percentDecode(std::string_view text, bool requireUTF8 = true);
// application/x-www-form-urlencoded query parsing ("+" is a space), in order. A pair without "="
// has an empty value; empty pairs are skipped; an undecodable part is kept as written.
std::vector<std::pair<std::string, std::string>> parseQuery(std::string_view query);

} // namespace platform
