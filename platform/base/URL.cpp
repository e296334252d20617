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

// RFC 3986 5.2.4.
std::string removeDotSegments(std::string_view input) {
    std::string in(input);
    std::string out;
    while (!in.empty()) {
        if (in.rfind("../", 0) == 0) {
            in.erase(0, 3);
        } else if (in.rfind("./", 0) == 0) {
            in.erase(0, 2);
        } else if (in.rfind("/./", 0) == 0) {
            in.erase(0, 2);
        } else if (in == "/.") {
            in = "/";
        } else if (in.rfind("/../", 0) == 0 || in == "/..") {
            in = in.size() == 3 ? std::string("/") : in.substr(3);
            const size_t slash = out.rfind('/');
            out.erase(slash == std::string::npos ? 0 : slash);
        } else if (in == "." || in == "..") {
            in.clear();
        } else {
            const size_t next = in.find('/', 1);
            const size_t n = next == std::string::npos ? in.size() : next;
            out.append(in, 0, n);
            in.erase(0, n);
        }
    }
    return out;
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
    auto url = parseStrict(text);
    if (!url) logDebug("URL: not a URL: " + escapeLogText(text.substr(0, 200)));
    return url;
}

std::optional<URL> URL::parseStrict(std::string_view text) {
    if (!hasOnlyLegalCharacters(text)) return std::nullopt;
    URL url;
    std::string_view rest = text;

    if (const size_t hash = rest.find('#'); hash != std::string_view::npos) {
        const std::string_view frag = rest.substr(hash + 1);
        if (!allOf(frag, isQueryChar)) return std::nullopt; // a second "#", or brackets
        url.fragment_ = std::string(frag);
        rest = rest.substr(0, hash);
    }

    const size_t delim = rest.find_first_of(":/?");
    if (delim != std::string_view::npos && rest[delim] == ':') {
        const std::string_view scheme = rest.substr(0, delim);
        if (scheme.empty() || !isAlpha(scheme[0])) return std::nullopt;
        for (char c : scheme)
            if (!isAlpha(c) && !isDigit(c) && c != '+' && c != '-' && c != '.') return std::nullopt;
        url.scheme_ = lower(scheme);
        rest = rest.substr(delim + 1);
        if (!rest.empty() && rest[0] != '/') {
            // Opaque: "mailto:x@y", "about:blank", "data:...". Its query is part of the opaque text.
            if (!allOf(rest, isQueryChar)) return std::nullopt;
            url.opaque_ = true;
            url.path_ = std::string(rest);
            url.valid_ = true;
            url.text_ = std::string(text);
            return url;
        }
    }

    if (const size_t q = rest.find('?'); q != std::string_view::npos) {
        const std::string_view query = rest.substr(q + 1);
        if (!allOf(query, isQueryChar)) return std::nullopt;
        url.query_ = std::string(query);
        rest = rest.substr(0, q);
    }

    if (rest.rfind("//", 0) == 0) {
        rest = rest.substr(2);
        const size_t slash = rest.find('/');
        std::string_view authority = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash);
        url.hasAuthority_ = true;

        if (const size_t at = authority.find('@'); at != std::string_view::npos) {
            const std::string_view userInfo = authority.substr(0, at);
            if (!allOf(userInfo, isUserInfoChar)) return std::nullopt;
            url.userInfo_ = std::string(userInfo);
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
            url.host_ = std::string(literal);
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
            url.host_ = std::string(host);
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
    url.path_ = std::string(rest);
    url.valid_ = true;
    url.text_ = std::string(text);
    return url;
}

std::optional<URL> URL::resolve(std::string_view reference, const URL& base) {
    auto ref = parse(reference);
    if (!ref) return std::nullopt;
    if (!ref->scheme_.empty()) {
        // Normalise the dots of an absolute reference too, as section 5.2.2 does.
        if (ref->opaque_ || ref->path_.find('.') == std::string::npos) return ref;
    } else if (!base.valid_ || base.scheme_.empty()) {
        logDebug("URL: cannot resolve against a base without a scheme");
        return std::nullopt;
    } else if (base.opaque_) {
        // An opaque base ("about:blank") only takes a fragment or nothing.
        if (!reference.empty() && reference[0] != '#') return std::nullopt;
        std::string out = base.text_.substr(0, base.text_.find('#'));
        if (ref->fragment_) out += "#" + *ref->fragment_;
        return parse(out);
    }

    // Section 5.2.2, on the raw (encoded) components.
    std::string scheme, authority, path;
    bool hasAuthority = false;
    std::optional<std::string> query;
    const auto authorityOf = [](const URL& u) {
        std::string a;
        if (u.hasUserInfo_) a += u.userInfo_ + "@";
        a += u.host_.find(':') != std::string::npos ? "[" + u.host_ + "]" : u.host_;
        if (u.port_) a += ":" + std::to_string(*u.port_);
        return a;
    };
    // Keep the authority exactly as written (an empty port, the host's case).
    const auto rawAuthorityOf = [&](const URL& u) -> std::string {
        if (!u.hasAuthority_) return {};
        std::string_view t = u.text_;
        const size_t start = t.find("//");
        if (start == std::string_view::npos) return authorityOf(u);
        t = t.substr(start + 2);
        return std::string(t.substr(0, t.find_first_of("/?#")));
    };

    if (!ref->scheme_.empty()) {
        const size_t colon = ref->text_.find(':');
        scheme = ref->text_.substr(0, colon);
        hasAuthority = ref->hasAuthority_;
        authority = rawAuthorityOf(*ref);
        path = removeDotSegments(ref->path_);
        query = ref->query_;
    } else {
        scheme = base.text_.substr(0, base.text_.find(':'));
        if (ref->hasAuthority_) {
            hasAuthority = true;
            authority = rawAuthorityOf(*ref);
            path = removeDotSegments(ref->path_);
            query = ref->query_;
        } else {
            hasAuthority = base.hasAuthority_;
            authority = rawAuthorityOf(base);
            if (ref->path_.empty()) {
                path = base.path_;
                query = ref->query_ ? ref->query_ : base.query_;
            } else {
                if (ref->path_[0] == '/') {
                    path = removeDotSegments(ref->path_);
                } else {
                    std::string merged;
                    if (base.hasAuthority_ && base.path_.empty()) {
                        merged = "/" + ref->path_;
                    } else {
                        const size_t slash = base.path_.rfind('/');
                        merged =
                            (slash == std::string::npos ? std::string() : base.path_.substr(0, slash + 1)) +
                            ref->path_;
                    }
                    path = removeDotSegments(merged);
                }
                query = ref->query_;
            }
        }
    }

    // Section 5.3.
    std::string out = scheme + ":";
    if (hasAuthority)
        out += "//" + authority;
    else if (path.rfind("//", 0) == 0)
        out += "/."; // keep a path from reading as an authority
    out += path;
    if (query) out += "?" + *query;
    if (ref->fragment_) out += "#" + *ref->fragment_;
    return parse(out);
}

URL URL::fileURL(std::string_view absolutePath) {
    std::string path = percentEncode(absolutePath, "/!$&'()*+,;=:@");
    if (path.empty() || path[0] != '/') path.insert(path.begin(), '/');
    auto url = parse("file://" + path);
    return url ? *url : URL();
}

std::string URL::scheme() const {
    return scheme_;
}

std::string URL::host() const {
    return lower(host_);
}

std::optional<int> URL::port() const {
    return port_;
}

std::optional<int> URL::effectivePort() const {
    if (port_) return port_;
    const std::string s = scheme();
    if (s == "http" || s == "ws") return 80;
    if (s == "https" || s == "wss") return 443;
    if (s == "ftp") return 21;
    return std::nullopt;
}

bool URL::isSameOrigin(const URL& other) const {
    if (!valid_ || !other.valid_ || !hasAuthority_ || !other.hasAuthority_) return false;
    return scheme() == other.scheme() && host() == other.host() && effectivePort() == other.effectivePort();
}

std::string URL::user() const {
    if (!hasUserInfo_) return {};
    return decodedOrEmpty(std::string_view(userInfo_).substr(0, userInfo_.find(':')), "user");
}

std::string URL::password() const {
    const size_t colon = userInfo_.find(':');
    if (!hasUserInfo_ || colon == std::string::npos) return {};
    return decodedOrEmpty(std::string_view(userInfo_).substr(colon + 1), "password");
}

std::string URL::path() const {
    if (opaque_) return {};
    std::string p = decodedOrEmpty(path_, "path");
    // Decide on the encoded form, so an escaped trailing "%2F" stays.
    if (path_.size() > 1 && path_.back() == '/' && !p.empty()) p.pop_back();
    return p;
}

std::string URL::percentEncodedPath() const {
    return opaque_ ? std::string() : path_;
}

std::vector<std::string> URL::pathComponents() const {
    std::vector<std::string> out;
    if (opaque_ || path_.empty()) return out;
    if (path_[0] == '/') out.emplace_back("/");
    size_t start = 0;
    while (start <= path_.size()) {
        size_t end = path_.find('/', start);
        if (end == std::string::npos) end = path_.size();
        if (end > start) {
            auto decoded = percentDecode(std::string_view(path_).substr(start, end - start));
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
    return query_;
}

std::optional<std::string> URL::fragment() const {
    return fragment_;
}

std::string URL::resourceSpecifier() const {
    if (scheme_.empty()) return text_;
    return text_.substr(text_.find(':') + 1);
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
