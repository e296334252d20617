#include "platform/foundation/PropertyList.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <memory>
#include <vector>
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
        // By its stored length: a string may hold U+0000, which the copying accessor asserts on.
        uint64_t length = 0;
        const char* text = plist_get_string_ptr(node, &length);
        return Value(text != nullptr ? std::string(text, length) : std::string());
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

uint64_t readBigEndian(std::string_view bytes, std::size_t at, std::size_t width) {
    uint64_t v = 0;
    for (std::size_t i = 0; i < width; ++i) v = (v << 8) | static_cast<unsigned char>(bytes[at + i]);
    return v;
}

// A binary object's length from its marker: the low nibble, or for 0xF an integer object after it.
// Moves `at` to the object's contents; nullopt when it runs past `end` or is wider than 8 bytes (the
// library reads only the low 8 bytes of a wider one; no writer makes them).
std::optional<uint64_t> objectLength(std::string_view bytes, std::size_t& at, std::size_t end) {
    const unsigned char marker = static_cast<unsigned char>(bytes[at++]);
    if ((marker & 0x0F) != 0x0F) return marker & 0x0F;
    if (at >= end) return std::nullopt;
    const unsigned char intMarker = static_cast<unsigned char>(bytes[at++]);
    const std::size_t width = std::size_t{1} << (intMarker & 0x0F);
    if ((intMarker & 0xF0) != 0x10 || width > 8 || width > end - at) return std::nullopt;
    const uint64_t length = readBigEndian(bytes, at, width);
    at += width;
    return length;
}

// The library keeps a dictionary key read from a binary list by its stored length but hands it out
// only through an accessor that asserts the key holds no NUL (an ASCII one comes out cut at the NUL).
// Such a key (an ASCII key with a zero byte, a UTF-16 one with U+0000) has no faithful reading anyway.
// True when the document holds one, or when this check cannot read every key the way the library
// would: a table, offset, reference or length it cannot read (wider than 8 bytes, or running past the
// objects), a key laid outside the objects, or dictionaries and keys claiming more bytes than the
// document has (objects laid over one another, which would make this scan quadratic). A sound list has
// none of these, and the library refuses most of them anyway.
bool binaryListIsRefused(std::string_view bytes) {
    constexpr std::size_t kHeader = 8;
    constexpr std::size_t kTrailer = 32;
    if (bytes.size() < kHeader + kTrailer) return true;
    const std::size_t trailer = bytes.size() - kTrailer;
    const std::size_t offsetSize = static_cast<unsigned char>(bytes[trailer + 6]);
    const std::size_t refSize = static_cast<unsigned char>(bytes[trailer + 7]);
    const uint64_t count = readBigEndian(bytes, trailer + 8, 8);
    const uint64_t table = readBigEndian(bytes, trailer + 24, 8);
    if (offsetSize == 0 || offsetSize > 8 || refSize == 0 || refSize > 8 || table < kHeader || table >= trailer ||
        count > (trailer - table) / offsetSize)
        return true;
    // Objects lie between the header and the offset table; the library reads none from elsewhere.
    const std::size_t end = static_cast<std::size_t>(table);
    const auto offsetOf = [&](uint64_t index) -> std::optional<std::size_t> {
        const uint64_t offset = readBigEndian(bytes, static_cast<std::size_t>(table + index * offsetSize), offsetSize);
        if (offset < kHeader || offset >= end) return std::nullopt;
        return static_cast<std::size_t>(offset);
    };
    // Each object is looked at once, however many table entries or references name it.
    const auto distinct = [](std::vector<std::size_t>& offsets) {
        std::sort(offsets.begin(), offsets.end());
        offsets.erase(std::unique(offsets.begin(), offsets.end()), offsets.end());
    };
    std::vector<std::size_t> dictionaries;
    for (uint64_t i = 0; i < count; ++i) {
        std::optional<std::size_t> at = offsetOf(i);
        if (!at) return true;
        if ((static_cast<unsigned char>(bytes[*at]) >> 4) == 0xD) dictionaries.push_back(*at);
    }
    distinct(dictionaries);
    std::size_t budget = bytes.size();
    std::vector<std::size_t> keys;
    for (std::size_t at : dictionaries) {
        // A dictionary holds its key references, then as many value references.
        std::optional<uint64_t> n = objectLength(bytes, at, end);
        if (!n || *n > (end - at) / refSize / 2 || *n > budget) return true;
        budget -= static_cast<std::size_t>(*n);
        for (uint64_t k = 0; k < *n; ++k) {
            const uint64_t ref = readBigEndian(bytes, static_cast<std::size_t>(at + k * refSize), refSize);
            if (ref >= count) return true;
            keys.push_back(*offsetOf(ref));  // every entry below `count` was checked above
        }
    }
    distinct(keys);
    for (std::size_t at : keys) {
        // The library refuses a key of any other kind before reading it.
        const unsigned kind = static_cast<unsigned char>(bytes[at]) >> 4;
        if (kind != 0x5 && kind != 0x6) continue;
        std::optional<uint64_t> length = objectLength(bytes, at, end);
        const std::size_t unit = kind == 0x6 ? 2 : 1;
        if (!length || *length > (end - at) / unit || *length > budget) return true;
        budget -= static_cast<std::size_t>(*length);
        for (uint64_t c = 0; c < *length; ++c)
            if (readBigEndian(bytes, static_cast<std::size_t>(at + c * unit), unit) == 0) return true;
    }
    return false;
}

} // namespace

std::optional<Value> PropertyList::parse(std::string_view bytes, Error* error) {
    const bool binary = bytes.substr(0, 6) == "bplist";
    // A C string's terminator may come along with an XML text.
    while (!binary && !bytes.empty() && bytes.back() == '\0') bytes.remove_suffix(1);
    if (bytes.empty() || bytes.size() > std::numeric_limits<uint32_t>::max()) {
        setError(error, Error(kDomain, 1, bytes.empty() ? "empty property list" : "property list too large"));
        return std::nullopt;
    }
    // NUL is no XML character; in a binary key it has no faithful reading (see binaryListIsRefused).
    if (binary ? binaryListIsRefused(bytes) : bytes.find('\0') != std::string_view::npos) {
        logWarning(binary ? "PropertyList: a binary list with a NUL in a key, or whose keys cannot be checked"
                          : "PropertyList: a NUL character in an XML text");
        setError(error, Error(kDomain, 2, "not a property list"));
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
