#include "platform/foundation/PropertyList.h"

#include <cstdint>
#include <cstdlib>
#include <limits>
#include <memory>
#include <plist/plist.h>

#include "platform/base/Error.h"
#include "platform/base/Log.h"

namespace platform {

namespace {

constexpr const char* kDomain = "PropertyListErrorDomain";
// Property-list dates count from 2001-01-01; ours from 1970-01-01.
constexpr double kReferenceDateOffset = 978307200.0;
// Deeper nesting than this is refused rather than risking the stack.
constexpr int kMaxDepth = 256;

struct PlistDeleter {
    void operator()(void* node) const { plist_free(static_cast<plist_t>(node)); }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

struct MallocDeleter {
    void operator()(char* p) const { std::free(p); }
};
using CString = std::unique_ptr<char, MallocDeleter>;

std::optional<Value> toValue(plist_t node, int depth) {
    if (depth > kMaxDepth) return std::nullopt;
    switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
        uint8_t b = 0;
        plist_get_bool_val(node, &b);
        return Value(b != 0);
    }
    case PLIST_UINT:
    case PLIST_UID: {
        uint64_t u = 0;
        if (plist_get_node_type(node) == PLIST_UID)
            plist_get_uid_val(node, &u);
        else
            plist_get_uint_val(node, &u);
        // Property-list integers are signed 64-bit; negative ones come back in two's complement.
        return Value(static_cast<int64_t>(u));
    }
    case PLIST_REAL: {
        double d = 0;
        plist_get_real_val(node, &d);
        return Value(d);
    }
    case PLIST_STRING: {
        char* raw = nullptr;
        plist_get_string_val(node, &raw);
        CString s(raw);
        return Value(std::string(s ? s.get() : ""));
    }
    case PLIST_DATE: {
        int32_t sec = 0;
        int32_t usec = 0;
        plist_get_date_val(node, &sec, &usec);
        return Value(static_cast<double>(sec) + static_cast<double>(usec) / 1e6 + kReferenceDateOffset);
    }
    case PLIST_DATA: {
        char* raw = nullptr;
        uint64_t length = 0;
        plist_get_data_val(node, &raw, &length);
        CString d(raw);
        Bytes bytes;
        if (d)
            bytes.assign(reinterpret_cast<const uint8_t*>(d.get()),
                         reinterpret_cast<const uint8_t*>(d.get()) + length);
        return Value::binary(std::move(bytes));
    }
    case PLIST_ARRAY: {
        Value out = Value::array();
        uint32_t n = plist_array_get_size(node);
        for (uint32_t i = 0; i < n; ++i) {
            plist_t item = plist_array_get_item(node, i);
            if (item == nullptr) return std::nullopt;
            auto v = toValue(item, depth + 1);
            if (!v) return std::nullopt;
            out.push_back(std::move(*v));
        }
        return out;
    }
    case PLIST_DICT: {
        Value out = Value::object();
        plist_dict_iter iter = nullptr;
        plist_dict_new_iter(node, &iter);
        if (iter == nullptr) return out;
        std::optional<Value> result = out;
        for (;;) {
            char* rawKey = nullptr;
            plist_t item = nullptr;
            plist_dict_next_item(node, iter, &rawKey, &item);
            CString key(rawKey);
            if (item == nullptr) break;
            auto v = toValue(item, depth + 1);
            if (!v) {
                result.reset();
                break;
            }
            (*result)[std::string(key ? key.get() : "")] = std::move(*v);
        }
        std::free(iter);
        return result;
    }
    default:
        return std::nullopt;
    }
}

PlistPtr toPlist(const Value& v, int depth) {
    if (depth > kMaxDepth) return nullptr;
    switch (v.type()) {
    case Value::value_t::object: {
        PlistPtr dict(plist_new_dict());
        for (auto it = v.begin(); it != v.end(); ++it) {
            PlistPtr item = toPlist(it.value(), depth + 1);
            if (!item) return nullptr;
            plist_dict_set_item(dict.get(), it.key().c_str(), item.release());
        }
        return dict;
    }
    case Value::value_t::array: {
        PlistPtr array(plist_new_array());
        for (const auto& element : v) {
            PlistPtr item = toPlist(element, depth + 1);
            if (!item) return nullptr;
            plist_array_append_item(array.get(), item.release());
        }
        return array;
    }
    case Value::value_t::string:
        return PlistPtr(plist_new_string(v.get_ref<const std::string&>().c_str()));
    case Value::value_t::boolean:
        return PlistPtr(plist_new_bool(v.get<bool>() ? 1 : 0));
    case Value::value_t::number_integer:
        return PlistPtr(plist_new_uint(static_cast<uint64_t>(v.get<int64_t>())));
    case Value::value_t::number_unsigned:
        return PlistPtr(plist_new_uint(v.get<uint64_t>()));
    case Value::value_t::number_float:
        return PlistPtr(plist_new_real(v.get<double>()));
    case Value::value_t::binary: {
        const auto& bin = v.get_binary();
        return PlistPtr(plist_new_data(reinterpret_cast<const char*>(bin.data()), bin.size()));
    }
    default:
        return nullptr;
    }
}

} // namespace

std::optional<Value> PropertyList::parse(std::string_view bytes, Error* error) {
    if (bytes.empty() || bytes.size() > std::numeric_limits<uint32_t>::max()) {
        setError(error, Error(kDomain, 1, bytes.empty() ? "empty property list" : "property list too large"));
        return std::nullopt;
    }
    plist_t raw = nullptr;
    plist_from_memory(bytes.data(), static_cast<uint32_t>(bytes.size()), &raw);
    PlistPtr root(raw);
    if (!root) {
        logWarning("PropertyList: unreadable property list");
        setError(error, Error(kDomain, 2, "not a property list"));
        return std::nullopt;
    }
    auto value = toValue(root.get(), 0);
    if (!value) {
        logWarning("PropertyList: property list with an unsupported or too deep element");
        setError(error, Error(kDomain, 3, "unsupported property list content"));
    }
    return value;
}

std::optional<std::string> PropertyList::toXML(const Value& value, Error* error) {
    PlistPtr root = toPlist(value, 0);
    if (!root) {
        setError(error, Error(kDomain, 4, "value has no property-list form (null or too deep)"));
        return std::nullopt;
    }
    char* raw = nullptr;
    uint32_t length = 0;
    plist_to_xml(root.get(), &raw, &length);
    if (raw == nullptr) {
        setError(error, Error(kDomain, 5, "cannot write the property list"));
        return std::nullopt;
    }
    std::string xml(raw, length);
    plist_to_xml_free(raw);
    return xml;
}

} // namespace platform
