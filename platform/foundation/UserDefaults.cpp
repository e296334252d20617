#include "platform/foundation/UserDefaults.h"

#include <array>
#include <cstdlib>

#include "platform/base/Error.h"
#include "platform/base/Log.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Sandbox.h"
#include "platform/runloop/DispatchQueue.h"

namespace platform {

namespace {

// Long enough to gather a burst of changes into one write, short enough that little is at risk.
constexpr double kWriteBackDelay = 0.2;
constexpr const char* kDataTag = "$data";
// Wraps a stored dictionary whose only key starts with '$', so it is not mistaken for a tag on load.
constexpr const char* kDictTag = "$dict";

std::mutex& standardMutex() {
    // Never destroyed: queues still running at exit may ask for the standard defaults.
    static auto* m = new std::mutex;
    return *m;
}

std::shared_ptr<UserDefaults>& standardStorage() {
    // Never destroyed, for the same reason; what is still unwritten at exit is written by the exit hook.
    static auto* instance = new std::shared_ptr<UserDefaults>;
    return *instance;
}

void writeStandardAtExit() {
    std::shared_ptr<UserDefaults> defaults;
    {
        std::lock_guard<std::mutex> lock(standardMutex());
        defaults = standardStorage();
    }
    if (defaults) defaults->synchronize();
}

// Shared by every instance and never destroyed, so that dropping an instance from inside a write-back
// never tears down the queue it runs on.
const std::shared_ptr<DispatchQueue>& writeBackQueue() {
    static const auto* queue =
        new std::shared_ptr<DispatchQueue>(DispatchQueue::createSerial("com.ruzave.userdefaults"));
    return *queue;
}

constexpr char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string base64Encode(const std::vector<std::uint8_t>& bytes) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        std::uint32_t n = (bytes[i] << 16) | (bytes[i + 1] << 8) | bytes[i + 2];
        out += kBase64Alphabet[(n >> 18) & 63];
        out += kBase64Alphabet[(n >> 12) & 63];
        out += kBase64Alphabet[(n >> 6) & 63];
        out += kBase64Alphabet[n & 63];
    }
    if (i < bytes.size()) {
        std::uint32_t n = bytes[i] << 16;
        if (i + 1 < bytes.size()) n |= bytes[i + 1] << 8;
        out += kBase64Alphabet[(n >> 18) & 63];
        out += kBase64Alphabet[(n >> 12) & 63];
        out += (i + 1 < bytes.size()) ? kBase64Alphabet[(n >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

std::optional<Bytes> base64Decode(const std::string& text) {
    static const std::array<int, 256> table = [] {
        std::array<int, 256> t{};
        t.fill(-1);
        for (int i = 0; i < 64; ++i)
            t[static_cast<unsigned char>(kBase64Alphabet[i])] = i;
        return t;
    }();
    if (text.size() % 4 != 0) return std::nullopt;
    Bytes out;
    out.reserve(text.size() / 4 * 3);
    for (std::size_t i = 0; i < text.size(); i += 4) {
        int v[4];
        int padding = 0;
        for (int j = 0; j < 4; ++j) {
            unsigned char c = static_cast<unsigned char>(text[i + j]);
            // Padding only at the very end, and at most two.
            if (c == '=' && i + 4 == text.size() && j >= 2) {
                v[j] = 0;
                ++padding;
                continue;
            }
            if (padding > 0 || table[c] < 0) return std::nullopt;
            v[j] = table[c];
        }
        std::uint32_t n = (static_cast<std::uint32_t>(v[0]) << 18) |
                          (static_cast<std::uint32_t>(v[1]) << 12) | (static_cast<std::uint32_t>(v[2]) << 6) |
                          static_cast<std::uint32_t>(v[3]);
        out.push_back(static_cast<std::uint8_t>(n >> 16));
        if (padding < 2) out.push_back(static_cast<std::uint8_t>(n >> 8));
        if (padding < 1) out.push_back(static_cast<std::uint8_t>(n));
    }
    return out;
}

// The stored form: bytes tagged, everything else as it is.
Value encode(const Value& v) {
    if (v.is_binary()) {
        const auto& bin = v.get_binary();
        return Value{{kDataTag, base64Encode(std::vector<std::uint8_t>(bin.begin(), bin.end()))}};
    }
    if (v.is_array()) {
        Value out = Value::array();
        for (const auto& item : v)
            out.push_back(encode(item));
        return out;
    }
    if (v.is_object()) {
        Value out = Value::object();
        for (auto it = v.begin(); it != v.end(); ++it)
            out[it.key()] = encode(it.value());
        if (out.size() == 1 && !out.begin().key().empty() && out.begin().key()[0] == '$')
            return Value{{kDictTag, std::move(out)}};
        return out;
    }
    return v;
}

Value decode(const Value& v);

Value decodeMembers(const Value& object) {
    Value out = Value::object();
    for (auto it = object.begin(); it != object.end(); ++it)
        out[it.key()] = decode(it.value());
    return out;
}

Value decode(const Value& v) {
    if (v.is_array()) {
        Value out = Value::array();
        for (const auto& item : v)
            out.push_back(decode(item));
        return out;
    }
    if (!v.is_object()) return v;
    if (v.size() == 1) {
        const auto first = v.begin();
        if (first.key() == kDataTag && first.value().is_string()) {
            if (auto bytes = base64Decode(first.value().get<std::string>()))
                return Value::binary(std::move(*bytes));
            logWarning("UserDefaults: unreadable data value; kept as stored");
            return v;
        }
        if (first.key() == kDictTag && first.value().is_object()) return decodeMembers(first.value());
    }
    return decodeMembers(v);
}

bool isScalarReadable(const Value& v) {
    return v.is_string() || v.is_number() || v.is_boolean();
}

std::string standardPath() {
    std::string name = Bundle::mainBundle()->identifier();
    for (char& c : name)
        if (c == '/') c = '_';
    if (name.empty() || name == "." || name == "..") name = "standard";
    return Sandbox::preferencesDirectory() + "/" + name + ".json";
}

} // namespace

UserDefaults::UserDefaults(std::string path) : path_(std::move(path)) {
    load();
}

UserDefaults::~UserDefaults() {
    // Whatever was set and not yet written still reaches the file.
    writeIfDirty();
}

std::shared_ptr<UserDefaults> UserDefaults::standard() {
    std::lock_guard<std::mutex> lock(standardMutex());
    auto& instance = standardStorage();
    if (!instance) {
        instance.reset(new UserDefaults(standardPath()));
        static const bool hooked = std::atexit(writeStandardAtExit) == 0;
        (void)hooked;
    }
    return instance;
}

void UserDefaults::resetStandardForTesting() {
    std::shared_ptr<UserDefaults> old;
    {
        std::lock_guard<std::mutex> lock(standardMutex());
        old = std::move(standardStorage());
    }
    if (old) old->synchronize();
}

void UserDefaults::load() {
    Error error;
    auto text = Sandbox::readFile(path_, &error);
    if (!text) {
        logDebug("UserDefaults: no stored settings at " + path_);
        return;
    }
    auto parsed = parseJSON(*text, &error);
    if (!parsed || !parsed->is_object()) {
        logWarning("UserDefaults: stored settings at " + path_ + " are unreadable (" +
                   (parsed ? std::string("not a dictionary") : escapeLogText(error.description)) + "); starting empty");
        return;
    }
    values_ = decodeMembers(*parsed);
}

std::optional<Value> UserDefaults::lookup(std::string_view key) const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (const Value* v = find(values_, key)) return *v;
    if (const Value* v = find(registered_, key)) return *v;
    return std::nullopt;
}

std::optional<Value> UserDefaults::object(std::string_view key) const {
    return lookup(key);
}

std::optional<std::string> UserDefaults::string(std::string_view key) const {
    auto v = lookup(key);
    if (!v || !isScalarReadable(*v)) return std::nullopt;
    return stringValue(*v);
}

long long UserDefaults::integer(std::string_view key) const {
    auto v = lookup(key);
    return (v && isScalarReadable(*v)) ? integerValue(*v) : 0;
}

double UserDefaults::doubleValue(std::string_view key) const {
    auto v = lookup(key);
    return (v && isScalarReadable(*v)) ? platform::doubleValue(*v) : 0.0;
}

bool UserDefaults::boolean(std::string_view key) const {
    auto v = lookup(key);
    return (v && isScalarReadable(*v)) ? boolValue(*v) : false;
}

std::optional<Value> UserDefaults::array(std::string_view key) const {
    auto v = lookup(key);
    if (!v || !v->is_array()) return std::nullopt;
    return v;
}

std::optional<Value> UserDefaults::dictionary(std::string_view key) const {
    auto v = lookup(key);
    if (!v || !v->is_object()) return std::nullopt;
    return v;
}

std::optional<Bytes> UserDefaults::data(std::string_view key) const {
    auto v = lookup(key);
    if (!v || !v->is_binary()) return std::nullopt;
    const auto& bin = v->get_binary();
    return Bytes(bin.begin(), bin.end());
}

std::optional<double> UserDefaults::date(std::string_view key) const {
    auto v = lookup(key);
    if (!v || !v->is_number()) return std::nullopt;
    return v->get<double>();
}

void UserDefaults::set(std::string_view key, Value value) {
    if (value.is_null()) {
        remove(key);
        return;
    }
    std::unique_lock<std::mutex> lock(mutex_);
    values_[std::string(key)] = std::move(value);
    changed(lock);
}

void UserDefaults::remove(std::string_view key) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (values_.erase(std::string(key)) == 0) return;
    changed(lock);
}

bool UserDefaults::removeFromDictionary(std::string_view key, std::string_view member) {
    const std::string name(key);
    std::unique_lock<std::mutex> lock(mutex_);
    auto it = values_.find(name);
    Value* dictionary = it != values_.end() ? &*it : nullptr;
    if (dictionary == nullptr) {
        const Value* registered = find(registered_, key);
        if (registered == nullptr || !registered->is_object() || !registered->contains(member)) return false;
        dictionary = &(values_[name] = *registered);
    }
    if (!dictionary->is_object() || dictionary->erase(std::string(member)) == 0) return false;
    changed(lock);
    return true;
}

void UserDefaults::registerDefaults(const Value& defaults) {
    if (!defaults.is_object()) return;
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = defaults.begin(); it != defaults.end(); ++it)
        registered_[it.key()] = it.value();
}

Value UserDefaults::dictionaryRepresentation() const {
    std::lock_guard<std::mutex> lock(mutex_);
    Value all = registered_;
    for (auto it = values_.begin(); it != values_.end(); ++it)
        all[it.key()] = it.value();
    return all;
}

void UserDefaults::changed(std::unique_lock<std::mutex>& lock) {
    ++changeCount_;
    if (writeBackScheduled_) return;
    writeBackScheduled_ = true;
    lock.unlock();
    std::weak_ptr<UserDefaults> weak = weak_from_this();
    writeBackQueue()->asyncAfter(kWriteBackDelay, [weak] {
        auto self = weak.lock();
        if (!self) return;
        {
            std::lock_guard<std::mutex> guard(self->mutex_);
            self->writeBackScheduled_ = false;
        }
        self->writeIfDirty();
    });
}

bool UserDefaults::synchronize() {
    return writeIfDirty();
}

bool UserDefaults::writeIfDirty() {
    std::lock_guard<std::mutex> writing(writeMutex_);
    Value snapshot;
    std::uint64_t generation;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (changeCount_ == writtenCount_) return true;
        snapshot = values_;
        generation = changeCount_;
    }
    // Encoding and the file work happen outside mutex_, so readers and writers are never held up by I/O.
    std::string text = toJSON(encode(snapshot));
    Error error;
    std::string dir = path_.substr(0, path_.find_last_of('/'));
    bool ok = Sandbox::createDirectory(dir, true, &error) &&
              Sandbox::writeFileAtomically(path_, text, &error, 0600);
    if (!ok) {
        logError("UserDefaults: cannot write " + path_ + ": " + error.description);
        return false;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    writtenCount_ = generation;
    return true;
}

} // namespace platform
