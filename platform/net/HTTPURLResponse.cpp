#include "platform/net/HTTPURLResponse.h"

#include <cctype>
#include <charconv>
#include <utility>
#include <vector>

namespace platform {

namespace {

std::string_view trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

std::string lowered(std::string_view s) {
    std::string out(s);
    for (auto& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// "value; name=token; name=\"quoted\"" -> value and the parameters (names lower-cased), in order.
// Semicolons inside quotes belong to the value.
struct HeaderValue {
    std::string value;
    std::vector<std::pair<std::string, std::string>> params;
};

HeaderValue parseHeaderValue(std::string_view text) {
    std::vector<std::string> parts;
    std::string current;
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (quoted && c == '\\' && i + 1 < text.size()) {
            current += c;
            current += text[++i];
            continue;
        }
        if (c == '"') quoted = !quoted;
        if (c == ';' && !quoted) {
            parts.push_back(std::move(current));
            current.clear();
            continue;
        }
        current += c;
    }
    parts.push_back(std::move(current));

    HeaderValue out;
    out.value = std::string(trim(parts[0]));
    for (std::size_t i = 1; i < parts.size(); ++i) {
        std::string_view p = trim(parts[i]);
        auto eq = p.find('=');
        if (eq == std::string_view::npos) continue;
        std::string name = lowered(trim(p.substr(0, eq)));
        std::string_view raw = trim(p.substr(eq + 1));
        std::string value;
        if (raw.size() >= 2 && raw.front() == '"' && raw.back() == '"') {
            raw = raw.substr(1, raw.size() - 2);
            for (std::size_t k = 0; k < raw.size(); ++k) {
                if (raw[k] == '\\' && k + 1 < raw.size()) ++k;
                value += raw[k];
            }
        } else {
            value = std::string(raw);
        }
        out.params.emplace_back(std::move(name), std::move(value));
    }
    return out;
}

const std::string* param(const HeaderValue& v, std::string_view name) {
    for (const auto& p : v.params) {
        if (p.first == name) return &p.second;
    }
    return nullptr;
}

// A file name never leads anywhere but where the caller puts it.
std::string safeFilename(std::string_view name) {
    auto slash = name.find_last_of("/\\");
    if (slash != std::string_view::npos) name = name.substr(slash + 1);
    std::string out;
    for (char c : name) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) continue;
        out += c;
    }
    if (out == "." || out == "..") return {};
    return out;
}

} // namespace

HTTPURLResponse::HTTPURLResponse(URL url, int statusCode, HTTPHeaderFields headers)
    : url_(std::move(url)), statusCode_(statusCode), headers_(std::move(headers)) {
    if (auto type = headers_.value("Content-Type")) {
        HeaderValue v = parseHeaderValue(*type);
        std::string mime = lowered(v.value);
        if (!mime.empty()) mimeType_ = std::move(mime);
        if (const std::string* charset = param(v, "charset"); charset != nullptr && !charset->empty()) {
            textEncoding_ = lowered(*charset);
        }
    }
    if (auto length = headers_.value("Content-Length")) {
        std::string_view text = trim(*length);
        long long n = -1;
        auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
        if (ec == std::errc() && end == text.data() + text.size() && n >= 0) expectedLength_ = n;
    }
}

std::optional<std::string> HTTPURLResponse::valueForHTTPHeaderField(std::string_view field) const {
    return headers_.combinedValue(field);
}

std::string HTTPURLResponse::suggestedFilename() const {
    if (auto disposition = headers_.value("Content-Disposition")) {
        HeaderValue v = parseHeaderValue(*disposition);
        // RFC 5987 form first: filename*=UTF-8''name%20with%20escapes
        if (const std::string* extended = param(v, "filename*")) {
            auto quote = extended->find("''");
            if (quote != std::string::npos) {
                if (auto decoded = percentDecode(std::string_view(*extended).substr(quote + 2))) {
                    std::string name = safeFilename(*decoded);
                    if (!name.empty()) return name;
                }
            }
        }
        if (const std::string* plain = param(v, "filename")) {
            std::string name = safeFilename(*plain);
            if (!name.empty()) return name;
        }
    }
    std::string last = safeFilename(url_.lastPathComponent());
    if (!last.empty()) return last;
    return "Unknown";
}

std::string HTTPURLResponse::localizedStringForStatusCode(int statusCode) {
    switch (statusCode) {
    case 100: return "continue";
    case 101: return "switching protocols";
    case 200: return "no error";
    case 201: return "created";
    case 202: return "accepted";
    case 203: return "non-authoritative information";
    case 204: return "no content";
    case 205: return "reset content";
    case 206: return "partial content";
    case 300: return "multiple choices";
    case 301: return "moved permanently";
    case 302: return "found";
    case 303: return "see other";
    case 304: return "not modified";
    case 305: return "needs proxy";
    case 307: return "temporarily redirected";
    case 308: return "permanently redirected";
    case 400: return "bad request";
    case 401: return "unauthorized";
    case 402: return "payment required";
    case 403: return "forbidden";
    case 404: return "not found";
    case 405: return "method not allowed";
    case 406: return "unacceptable";
    case 407: return "proxy authentication required";
    case 408: return "request timed out";
    case 409: return "conflict";
    case 410: return "no longer exists";
    case 411: return "length required";
    case 412: return "precondition failed";
    case 413: return "request too large";
    case 414: return "requested URL too long";
    case 415: return "unsupported media type";
    case 416: return "requested range not satisfiable";
    case 417: return "expectation failed";
    case 500: return "internal server error";
    case 501: return "unimplemented";
    case 502: return "bad gateway";
    case 503: return "service unavailable";
    case 504: return "gateway timed out";
    case 505: return "unsupported version";
    default: break;
    }
    if (statusCode >= 100 && statusCode < 200) return "informational";
    if (statusCode >= 200 && statusCode < 300) return "success";
    if (statusCode >= 300 && statusCode < 400) return "redirected";
    if (statusCode >= 400 && statusCode < 500) return "client error";
    return "server error";
}

} // namespace platform
