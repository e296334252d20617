#include "platform/net/HTTPResponseHeadParser.h"

#include <algorithm>

namespace platform {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trimLine(std::string_view s) {
    while (!s.empty() && (s.back() == '\r' || s.back() == '\n' || isBlank(s.back())))
        s.remove_suffix(1);
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    return s;
}

} // namespace

bool HTTPResponseHeadParser::addLine(std::string_view line) {
    if (complete_) return false;
    if (line.starts_with("HTTP/")) {
        // A new head (the final one after interim ones) starts from nothing.
        fields_.clear();
        status_ = 0;
        auto space = line.find(' ');
        if (space != std::string_view::npos) {
            int code = 0;
            for (std::size_t i = space + 1; i < line.size() && i < space + 4; ++i) {
                if (line[i] < '0' || line[i] > '9') break;
                code = code * 10 + (line[i] - '0');
            }
            status_ = code;
        }
        return false;
    }
    std::string_view trimmed = trimLine(line);
    if (trimmed.empty()) {
        if (status_ < 200) return false;
        complete_ = true;
        return true;
    }
    if (isBlank(line.front()) && !fields_.empty()) {
        // An obsolete folded line continues the previous field.
        std::string& value = fields_.back().second;
        if (value.size() < kMaximumFoldedValue) value.append(" ").append(trimmed);
        return false;
    }
    auto colon = trimmed.find(':');
    if (colon == std::string_view::npos || fields_.size() >= kMaximumFields) return false;
    std::string_view name = trimLine(trimmed.substr(0, colon));
    // A name is a token: a line whose name is empty or holds white space or control characters is
    // no field (it would forge or hide one).
    if (name.empty() || std::any_of(name.begin(), name.end(), [](char c) {
            auto u = static_cast<unsigned char>(c);
            return u <= 0x20 || u == 0x7F;
        })) {
        return false;
    }
    fields_.emplace_back(std::string(name), std::string(trimLine(trimmed.substr(colon + 1))));
    return false;
}

HTTPHeaderFields HTTPResponseHeadParser::takeFields() {
    HTTPHeaderFields out;
    for (auto& [name, value] : fields_)
        out.add(name, value);
    fields_.clear();
    return out;
}

} // namespace platform
