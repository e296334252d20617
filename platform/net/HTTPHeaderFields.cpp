#include "platform/net/HTTPHeaderFields.h"

#include <algorithm>

namespace platform {

namespace {
char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
} // namespace

HTTPHeaderFields::HTTPHeaderFields(std::initializer_list<Field> fields) {
    for (const auto& f : fields) add(f.first, f.second);
}

bool HTTPHeaderFields::equalNames(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

void HTTPHeaderFields::set(std::string_view name, std::string_view value) {
    auto first = std::find_if(fields_.begin(), fields_.end(),
                              [&](const Field& f) { return equalNames(f.first, name); });
    if (first == fields_.end()) {
        fields_.emplace_back(std::string(name), std::string(value));
        return;
    }
    first->second = std::string(value);
    auto index = first - fields_.begin();
    fields_.erase(std::remove_if(fields_.begin() + index + 1, fields_.end(),
                                 [&](const Field& f) { return equalNames(f.first, name); }),
                  fields_.end());
}

void HTTPHeaderFields::add(std::string_view name, std::string_view value) {
    fields_.emplace_back(std::string(name), std::string(value));
}

void HTTPHeaderFields::remove(std::string_view name) {
    fields_.erase(std::remove_if(fields_.begin(), fields_.end(),
                                 [&](const Field& f) { return equalNames(f.first, name); }),
                  fields_.end());
}

bool HTTPHeaderFields::contains(std::string_view name) const {
    return std::any_of(fields_.begin(), fields_.end(), [&](const Field& f) { return equalNames(f.first, name); });
}

std::optional<std::string> HTTPHeaderFields::value(std::string_view name) const {
    for (const auto& f : fields_) {
        if (equalNames(f.first, name)) return f.second;
    }
    return std::nullopt;
}

std::vector<std::string> HTTPHeaderFields::values(std::string_view name) const {
    std::vector<std::string> out;
    for (const auto& f : fields_) {
        if (equalNames(f.first, name)) out.push_back(f.second);
    }
    return out;
}

std::optional<std::string> HTTPHeaderFields::combinedValue(std::string_view name) const {
    std::optional<std::string> out;
    for (const auto& f : fields_) {
        if (!equalNames(f.first, name)) continue;
        if (out) {
            *out += ", ";
            *out += f.second;
        } else {
            out = f.second;
        }
    }
    return out;
}

} // namespace platform
