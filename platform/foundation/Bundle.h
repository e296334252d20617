#pragma once
// The app's main bundle: its information dictionary (identifier, versions, name, the SDK it was built
// with) and its folder inside the sandbox. The host app or a test sets the dictionary. Any thread.
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/base/Value.h"

namespace platform {

class Bundle {
  public:
    static std::shared_ptr<Bundle> mainBundle();

    std::string identifier() const;   // CFBundleIdentifier
    std::string version() const;      // CFBundleVersion
    std::string shortVersion() const; // CFBundleShortVersionString
    std::string name() const;         // CFBundleName
    std::string sdkName() const;      // DTSDKName
    std::string platformName() const; // DTPlatformName
    // The bundle's folder, <home>/App.app; it exists when returned.
    std::string path() const;

    Value infoDictionary() const;
    // nullopt when the key is absent.
    std::optional<Value> objectForInfoKey(std::string_view key) const;

    // Replaces the whole dictionary; a non-dictionary is refused (returns false).
    bool setInfoDictionary(Value info);
    // Sets one key; null removes it.
    void setValue(std::string_view key, Value value);

  private:
    Bundle();
    std::string stringForKey(std::string_view key) const;

    mutable std::mutex mutex_;
    Value info_;
};

} // namespace platform
