#include "platform/base/URL.h"

#include <charconv>

#include "platform/base/Log.h"
#include "platform/base/Unicode.h"

namespace platform {
namespace {

bool isAlpha(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isHex(char c) {
    return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
int hexValue(char c) {
    if (isDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return c - 'A' + 10;
}
bool isUnreserved(char c) {
    return isAlpha(c) || isDigit(c) || c == '-' || c == '.' || c == '_' || c == '~';
}
bool isSubDelim(char c) {
    switch (c) {
    case '!':
    case '$':
    case '&':
    case '\'':
    case '(':
    case ')':
    case '*':
    case '+':
    case ',':
    case ';':
    case '=':
        return true;
    default:
        return false;
    }
}
// pchar without the escapes, which are checked once for the whole text.
bool isPChar(char c) {
    return isUnreserved(c) || isSubDelim(c) || c == ':' || c == '@' || c == '%';
}

bool allOf(std::string_view s, bool (*pred)(char)) {
    for (char c : s)
        if (!pred(c)) return false;
    return true;
}
bool isPathChar(char c) {
    return isPChar(c) || c == '/';
}
bool isQueryChar(char c) {
    return isPChar(c) || c == '/' || c == '?';
}
bool isUserInfoChar(char c) {
    return isUnreserved(c) || isSubDelim(c) || c == ':' || c == '%';
}
bool isRegNameChar(char c) {
    return isUnreserved(c) || isSubDelim(c) || c == '%';
}
bool isIPLiteralChar(char c) {
    return isHex(c) || c == ':' || c == '.';
}
bool isIPFutureChar(char c) {
    return isUnreserved(c) || isSubDelim(c) || c == ':';
}

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

// The characters the original refuses anywhere in a URL, and escapes that are not "%XX".
bool hasOnlyLegalCharacters(std::string_view text) {
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c <= 0x20 || c >= 0x7F) return false;
        switch (c) {
        case '"':
        case '<':
        case '>':
        case '\\':
        case '^':
        case '`':
        case '{':
        case '|':
        case '}':
            return false;
        case '%':
            if (i + 2 >= text.size()) return false;
            if (!isHex(text[i + 1]) || !isHex(text[i + 2])) return false;
            break;
        default:
            break;
        }
    }
    return true;
}

// RFC 3986 5.2.4, in one pass: each input character is looked at a bounded number of times, and each
// output character is removed at most once, so a path of a million segments costs a million steps.
std::string removeDotSegments(std::string_view in) {
    std::string out;
    out.reserve(in.size());
    // Drops the last segment of the output and its "/".
    const auto pop = [&out] {
        const size_t slash = out.rfind('/');
        out.erase(slash == std::string::npos ? 0 : slash);
    };
    const auto at = [&in](size_t i, std::string_view what) { return in.substr(i, what.size()) == what; };
    size_t i = 0;
    while (i < in.size()) {
        const size_t left = in.size() - i;
        if (at(i, "../")) {
            i += 3;
        } else if (at(i, "./")) {
            i += 2;
        } else if (at(i, "/./")) {
            i += 2; // the input goes on with "/"
        } else if (left == 2 && at(i, "/.")) {
            out.push_back('/');
            break;
        } else if (at(i, "/../")) {
            i += 3;
            pop();
        } else if (left == 3 && at(i, "/..")) {
            pop();
            out.push_back('/');
            break;
        } else if ((left == 1 && in[i] == '.') || (left == 2 && at(i, ".."))) {
            break;
        } else {
            size_t next = in.find('/', i + 1);
            if (next == std::string_view::npos) next = in.size();
            out.append(in.substr(i, next - i));
            i = next;
        }
    }
    return out;
}

// The default port of a scheme that has one; these are also the schemes whose URLs have a host origin.
std::optional<int> effectivePortOf(std::string_view scheme) {
    if (scheme == "http" || scheme == "ws") return 80;
    if (scheme == "https" || scheme == "wss") return 443;
    if (scheme == "ftp") return 21;
    return std::nullopt;
}
bool hasTupleOrigin(std::string_view scheme) {
    return effectivePortOf(scheme).has_value();
}

std::string decodedOrEmpty(std::string_view raw, const char* what) {
    auto decoded = percentDecode(raw);
    if (!decoded) {
        logDebug(std::string("URL: undecodable ") + what + ": " + escapeLogText(raw));
        return {};
    }
    return *decoded;
}

} // namespace

std::optional<URL> URL::parse(std::string_view text) {
    auto url = parseStrict(std::string(text));
    if (!url) logDebug("URL: not a URL: " + escapeLogText(text.substr(0, 200)));
    return url;
}

std::optional<URL> URL::parseStrict(std::string owned) {
    const std::string_view text = owned;
    if (!hasOnlyLegalCharacters(text)) return std::nullopt;
    URL url;
    const auto spanOf = [&text](std::string_view part) { return Span{static_cast<size_t>(part.data() - text.data()), part.size()}; };
    const auto finish = [&url, &owned]() -> std::optional<URL> {
        url.valid_ = true;
        url.text_ = std::make_shared<const std::string>(std::move(owned));
        return url;
    };
    std::string_view rest = text;

    if (const size_t hash = rest.find('#'); hash != std::string_view::npos) {
        const std::string_view frag = rest.substr(hash + 1);
        if (!allOf(frag, isQueryChar)) return std::nullopt; // a second "#", or brackets
        url.fragment_ = spanOf(frag);
        url.hasFragment_ = true;
        rest = rest.substr(0, hash);
    }

    const size_t delim = rest.find_first_of(":/?");
    if (delim != std::string_view::npos && rest[delim] == ':') {
        const std::string_view scheme = rest.substr(0, delim);
        if (scheme.empty() || !isAlpha(scheme[0])) return std::nullopt;
        for (char c : scheme)
            if (!isAlpha(c) && !isDigit(c) && c != '+' && c != '-' && c != '.') return std::nullopt;
        url.scheme_ = spanOf(scheme);
        rest = rest.substr(delim + 1);
        if (!rest.empty() && rest[0] != '/') {
            // Opaque: "mailto:x@y", "about:blank", "data:...". Its query is part of the opaque text.
            if (!allOf(rest, isQueryChar)) return std::nullopt;
            url.opaque_ = true;
            url.path_ = spanOf(rest);
            return finish();
        }
    }

    if (const size_t q = rest.find('?'); q != std::string_view::npos) {
        const std::string_view query = rest.substr(q + 1);
        if (!allOf(query, isQueryChar)) return std::nullopt;
        url.query_ = spanOf(query);
        url.hasQuery_ = true;
        rest = rest.substr(0, q);
    }

    if (rest.substr(0, 2) == "//") {
        rest = rest.substr(2);
        const size_t slash = rest.find('/');
        std::string_view authority = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? rest.substr(rest.size()) : rest.substr(slash);
        url.hasAuthority_ = true;

        if (const size_t at = authority.find('@'); at != std::string_view::npos) {
            const std::string_view userInfo = authority.substr(0, at);
            if (!allOf(userInfo, isUserInfoChar)) return std::nullopt;
            url.userInfo_ = spanOf(userInfo);
            url.hasUserInfo_ = true;
            authority = authority.substr(at + 1);
        }
        std::string_view portText;
        bool hasPort = false;
        if (!authority.empty() && authority[0] == '[') {
            const size_t close = authority.find(']');
            if (close == std::string_view::npos) return std::nullopt;
            const std::string_view literal = authority.substr(1, close - 1);
            if (literal.empty()) return std::nullopt;
            if (literal[0] == 'v' || literal[0] == 'V') {
                if (!allOf(literal, isIPFutureChar)) return std::nullopt;
            } else if (!allOf(literal, isIPLiteralChar) || literal.find(':') == std::string_view::npos) {
                return std::nullopt;
            }
            url.host_ = spanOf(literal);
            const std::string_view after = authority.substr(close + 1);
            if (!after.empty()) {
                if (after[0] != ':') return std::nullopt;
                hasPort = true;
                portText = after.substr(1);
            }
        } else {
            const size_t colon = authority.find(':');
            const std::string_view host = authority.substr(0, colon);
            if (!allOf(host, isRegNameChar)) return std::nullopt;
            url.host_ = spanOf(host);
            if (colon != std::string_view::npos) {
                hasPort = true;
                portText = authority.substr(colon + 1);
            }
        }
        if (hasPort && !portText.empty()) {
            if (!allOf(portText, isDigit)) return std::nullopt;
            int port = 0;
            const auto [end, ec] = std::from_chars(portText.data(), portText.data() + portText.size(), port);
            if (ec != std::errc() || end != portText.data() + portText.size() || port > 65535)
                return std::nullopt;
            url.port_ = port;
        }
    }

    if (!allOf(rest, isPathChar)) return std::nullopt;
    url.path_ = spanOf(rest);
    return finish();
}

std::string_view URL::part(Span span) const {
    if (!text_) return {};
    return std::string_view(*text_).substr(span.at, span.size);
}

std::optional<std::string_view> URL::queryText() const {
    if (!hasQuery_) return std::nullopt;
    return part(query_);
}

std::optional<std::string_view> URL::fragmentText() const {
    if (!hasFragment_) return std::nullopt;
    return part(fragment_);
}

const std::string& URL::absoluteString() const {
    static const std::string empty;
    return text_ ? *text_ : empty;
}

bool URL::isFileURL() const {
    return valid_ && scheme() == "file";
}

std::optional<URL> URL::resolve(std::string_view reference, const URL& base) {
    auto ref = parse(reference);
    if (!ref) return std::nullopt;
    const bool refHasScheme = !ref->schemeText().empty();
    if (refHasScheme) {
        // Normalise the dots of an absolute reference too, as section 5.2.2 does.
        if (ref->opaque_ || ref->pathText().find('.') == std::string_view::npos) return ref;
    } else if (!base.valid_ || base.schemeText().empty()) {
        logDebug("URL: cannot resolve against a base without a scheme");
        return std::nullopt;
    } else if (base.opaque_) {
        // An opaque base ("about:blank") only takes a fragment or nothing.
        if (!reference.empty() && reference[0] != '#') return std::nullopt;
        const std::string_view baseText = base.absoluteString();
        std::string out(baseText.substr(0, baseText.find('#')));
        if (auto fragment = ref->fragmentText()) {
            out += '#';
            out += *fragment;
        }
        return parseStrict(std::move(out));
    }

    // Section 5.2.2, on the raw (encoded) components.
    std::string_view scheme, authority;
    std::string path;
    bool hasAuthority = false;
    std::optional<std::string_view> query;
    // The authority exactly as written (an empty port, the host's case).
    const auto rawAuthorityOf = [](const URL& u) -> std::string_view {
        if (!u.hasAuthority_) return {};
        std::string_view t = u.absoluteString();
        const size_t start = t.find("//");
        if (start == std::string_view::npos) return {};
        t = t.substr(start + 2);
        return t.substr(0, t.find_first_of("/?#"));
    };

    if (refHasScheme) {
        scheme = ref->schemeText();
        hasAuthority = ref->hasAuthority_;
        authority = rawAuthorityOf(*ref);
        path = removeDotSegments(ref->pathText());
        query = ref->queryText();
    } else {
        scheme = base.schemeText();
        const std::string_view refPath = ref->pathText();
        const std::string_view basePath = base.pathText();
        if (ref->hasAuthority_) {
            hasAuthority = true;
            authority = rawAuthorityOf(*ref);
            path = removeDotSegments(refPath);
            query = ref->queryText();
        } else {
            hasAuthority = base.hasAuthority_;
            authority = rawAuthorityOf(base);
            if (refPath.empty()) {
                path = std::string(basePath);
                query = ref->hasQuery_ ? ref->queryText() : base.queryText();
            } else {
                if (refPath[0] == '/') {
                    path = removeDotSegments(refPath);
                } else {
                    std::string merged;
                    if (base.hasAuthority_ && basePath.empty()) {
                        merged.reserve(refPath.size() + 1);
                        merged += '/';
                    } else {
                        const size_t slash = basePath.rfind('/');
                        if (slash != std::string_view::npos) {
                            merged.reserve(slash + 1 + refPath.size());
                            merged += basePath.substr(0, slash + 1);
                        }
                    }
                    merged += refPath;
                    path = removeDotSegments(merged);
                }
                query = ref->queryText();
            }
        }
    }

    // Section 5.3.
    const auto fragment = ref->fragmentText();
    std::string out;
    out.reserve(scheme.size() + 4 + authority.size() + path.size() + (query ? query->size() + 1 : 0) +
                (fragment ? fragment->size() + 1 : 0));
    out += scheme;
    out += ':';
    if (hasAuthority) {
        out += "//";
        out += authority;
    } else if (path.substr(0, 2) == "//") {
        out += "/."; // keep a path from reading as an authority
    }
    out += path;
    if (query) {
        out += '?';
        out += *query;
    }
    if (fragment) {
        out += '#';
        out += *fragment;
    }
    std::string shown = out.substr(0, 200);
    auto url = parseStrict(std::move(out));
    if (!url) logDebug("URL: not a URL: " + escapeLogText(shown));
    return url;
}

URL URL::fileURL(std::string_view absolutePath) {
    std::string path = percentEncode(absolutePath, "/!$&'()*+,;=:@");
    if (path.empty() || path[0] != '/') path.insert(path.begin(), '/');
    auto url = parse("file://" + path);
    return url ? *url : URL();
}

std::string URL::scheme() const {
    return lower(schemeText());
}

std::string URL::host() const {
    return lower(hostText());
}

std::optional<int> URL::port() const {
    return port_;
}

std::optional<int> URL::effectivePort() const {
    if (port_) return port_;
    return effectivePortOf(scheme());
}

bool URL::isSameOrigin(const URL& other) const {
    if (!valid_ || !other.valid_ || !hasAuthority_ || !other.hasAuthority_) return false;
    return scheme() == other.scheme() && host() == other.host() && effectivePort() == other.effectivePort();
}

std::string URL::origin() const {
    if (!valid_) return "null";
    const std::string s = scheme();
    if (s == "blob" && opaque_) {
        // A blob's origin is that of the URL it was made under, when that is a web one.
        auto inner = parse(pathText());
        const std::string innerScheme = inner ? inner->scheme() : std::string();
        return innerScheme == "http" || innerScheme == "https" ? inner->origin() : "null";
    }
    const std::string_view h = hostText();
    if (!hasTupleOrigin(s) || !hasAuthority_ || h.empty()) return "null";
    std::string out = s + "://";
    // An IPv6 (or future) literal was written in brackets, and is served in them.
    const bool literal = host_.at > 0 && (*text_)[host_.at - 1] == '[';
    if (literal) out += '[';
    out += lower(h);
    if (literal) out += ']';
    if (port_ && port_ != effectivePortOf(s)) out += ":" + std::to_string(*port_);
    return out;
}

std::string URL::user() const {
    if (!hasUserInfo_) return {};
    const std::string_view userInfo = userInfoText();
    return decodedOrEmpty(userInfo.substr(0, userInfo.find(':')), "user");
}

std::string URL::password() const {
    const std::string_view userInfo = userInfoText();
    const size_t colon = userInfo.find(':');
    if (!hasUserInfo_ || colon == std::string_view::npos) return {};
    return decodedOrEmpty(userInfo.substr(colon + 1), "password");
}

std::string URL::path() const {
    if (opaque_) return {};
    const std::string_view raw = pathText();
    std::string p = decodedOrEmpty(raw, "path");
    // Decide on the encoded form, so an escaped trailing "%2F" stays.
    if (raw.size() > 1 && raw.back() == '/' && !p.empty()) p.pop_back();
    return p;
}

std::string URL::percentEncodedPath() const {
    return opaque_ ? std::string() : std::string(pathText());
}

std::vector<std::string> URL::pathComponents() const {
    std::vector<std::string> out;
    const std::string_view path = pathText();
    if (opaque_ || path.empty()) return out;
    if (path[0] == '/') out.emplace_back("/");
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string_view::npos) end = path.size();
        if (end > start) {
            auto decoded = percentDecode(path.substr(start, end - start));
            if (!decoded) return {};
            out.push_back(std::move(*decoded));
        }
        start = end + 1;
    }
    return out;
}

std::string URL::lastPathComponent() const {
    auto parts = pathComponents();
    return parts.empty() ? std::string() : parts.back();
}

std::string URL::pathExtension() const {
    const std::string last = lastPathComponent();
    const size_t dot = last.rfind('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == last.size()) return {};
    return last.substr(dot + 1);
}

std::optional<std::string> URL::query() const {
    if (!hasQuery_) return std::nullopt;
    return std::string(part(query_));
}

std::optional<std::string> URL::fragment() const {
    if (!hasFragment_) return std::nullopt;
    return std::string(part(fragment_));
}

std::string URL::resourceSpecifier() const {
    const std::string& text = absoluteString();
    if (schemeText().empty()) return text;
    return text.substr(text.find(':') + 1);
}

std::string percentEncode(std::string_view text, std::string_view keep) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (isUnreserved(c) || keep.find(c) != std::string_view::npos) {
            out.push_back(c);
        } else {
            const auto b = static_cast<unsigned char>(c);
            out.push_back('%');
            out.push_back(hex[b >> 4]);
            out.push_back(hex[b & 0xF]);
        }
    }
    return out;
}

std::optional<std::string> percentDecode(std::string_view text, bool requireUTF8) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out.push_back(text[i]);
            continue;
        }
        if (i + 2 >= text.size() || !isHex(text[i + 1]) || !isHex(text[i + 2])) {
            logDebug("percent decoding: malformed escape");
            return std::nullopt;
        }
        out.push_back(static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2])));
        i += 2;
    }
    if (requireUTF8 && !isValidUTF8(out)) {
        logDebug("percent decoding: not UTF-8");
        return std::nullopt;
    }
    return out;
}

std::vector<std::pair<std::string, std::string>> parseQuery(std::string_view query) {
    std::vector<std::pair<std::string, std::string>> out;
    const auto decode = [](std::string_view part) {
        std::string plus(part);
        for (char& c : plus)
            if (c == '+') c = ' ';
        auto decoded = percentDecode(plus);
        return decoded ? *decoded : plus;
    };
    size_t start = 0;
    while (start <= query.size()) {
        size_t end = query.find('&', start);
        if (end == std::string_view::npos) end = query.size();
        const std::string_view pair = query.substr(start, end - start);
        if (!pair.empty()) {
            const size_t eq = pair.find('=');
            if (eq == std::string_view::npos)
                out.emplace_back(decode(pair), std::string());
            else
                out.emplace_back(decode(pair.substr(0, eq)), decode(pair.substr(eq + 1)));
        }
        start = end + 1;
    }
    return out;
}

} // namespace platform
