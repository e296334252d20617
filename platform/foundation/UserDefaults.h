#pragma once
// The app's persistent settings. Any thread (including one about to exit, or a crash handler:
// synchronize() writes on the caller's thread and never needs the main loop).
//
// Persisted as one JSON object in <home>/Library/Preferences/<bundle identifier>.json ("standard.json"
// when the bundle has no identifier), written whole to a temporary file, flushed and renamed, mode 0600.
// Writes are coalesced: a change marks the store dirty and a write-back follows shortly on a private
// queue, or at synchronize(). A missing, corrupt or torn file reads as empty (and is logged).
//
// Values are platform::Value. Bytes are JSON binary (Value::binary); in the file they are tagged as
// {"$data": "<base64>"}. Dates are plain numbers, seconds since 1970; date() reads any number.
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/base/Value.h"

namespace platform {

class UserDefaults : public std::enable_shared_from_this<UserDefaults> {
  public:
    static std::shared_ptr<UserDefaults> standard();
    // Tests: writes pending changes and drops the shared instance, so that the next standard() reopens
    // the file (of the current sandbox and bundle).
    static void resetStandardForTesting();

    // Reads fall back to the registered defaults when the key is absent.
    std::optional<Value> object(std::string_view key) const;
    // Strings as they are; numbers and booleans as their text; otherwise nullopt.
    std::optional<std::string> string(std::string_view key) const;
    // Strings, numbers and booleans read with integerValue / doubleValue / boolValue; otherwise 0 / false.
    long long integer(std::string_view key) const;
    double doubleValue(std::string_view key) const;
    bool boolean(std::string_view key) const;
    std::optional<Value> array(std::string_view key) const;
    std::optional<Value> dictionary(std::string_view key) const;
    std::optional<Bytes> data(std::string_view key) const;
    // Seconds since 1970.
    std::optional<double> date(std::string_view key) const;

    // Setting null removes the key.
    void set(std::string_view key, Value value);
    void remove(std::string_view key);
    // Removes `member` from the dictionary at `key` in place, without copying the dictionary (a
    // registered one is copied into the store first). True when the member was there.
    bool removeFromDictionary(std::string_view key, std::string_view member);
    // Values read for absent keys; not persisted. Merged into what was registered before.
    void registerDefaults(const Value& defaults);
    // The registered defaults overlaid with the stored values.
    Value dictionaryRepresentation() const;
    // Writes pending changes now. True when nothing was pending or the write succeeded.
    bool synchronize();

    const std::string& filePath() const { return path_; }

    ~UserDefaults();
    UserDefaults(const UserDefaults&) = delete;
    UserDefaults& operator=(const UserDefaults&) = delete;

  private:
    explicit UserDefaults(std::string path);
    void load();
    std::optional<Value> lookup(std::string_view key) const;
    void changed(std::unique_lock<std::mutex>& lock);
    bool writeIfDirty();

    const std::string path_;
    mutable std::mutex mutex_;
    Value values_ = Value::object();
    Value registered_ = Value::object();
    std::uint64_t changeCount_ = 0;
    std::uint64_t writtenCount_ = 0;
    bool writeBackScheduled_ = false;
    // Serialises whole-file writes; taken before mutex_, never while mutex_ is held.
    std::mutex writeMutex_;
};

} // namespace platform
