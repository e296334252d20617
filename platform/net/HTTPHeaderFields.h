#pragma once
// HTTP header fields: names compared case-insensitively, order of arrival kept, repeats allowed.
// A plain value; any thread.
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

class HTTPHeaderFields {
public:
    using Field = std::pair<std::string, std::string>;

    HTTPHeaderFields() = default;
    HTTPHeaderFields(std::initializer_list<Field> fields);

    // Replaces every field of that name with one, kept at the place of the first.
    void set(std::string_view name, std::string_view value);
    // Appends another field, even if the name is already present.
    void add(std::string_view name, std::string_view value);
    void remove(std::string_view name);

    bool contains(std::string_view name) const;
    // The first value of the name.
    std::optional<std::string> value(std::string_view name) const;
    // Every value of the name, in order.
    std::vector<std::string> values(std::string_view name) const;
    // Every value of the name joined with ", " (how repeated fields read as one).
    std::optional<std::string> combinedValue(std::string_view name) const;

    const std::vector<Field>& fields() const { return fields_; }
    std::size_t size() const { return fields_.size(); }
    bool empty() const { return fields_.empty(); }

    static bool equalNames(std::string_view a, std::string_view b);

    friend bool operator==(const HTTPHeaderFields&, const HTTPHeaderFields&) = default;

private:
    std::vector<Field> fields_;
};

} // namespace platform
