#include "platform/foundation/Bundle.h"

#include "platform/base/Error.h"
#include "platform/base/Log.h"
#include "platform/foundation/Sandbox.h"

namespace platform {

namespace {

Value defaultInfo() {
    return Value{
        {"CFBundleIdentifier", "com.ruzave.demo"},
        {"CFBundleVersion", "1.0"},
        {"CFBundleShortVersionString", "1.0"},
        {"CFBundleName", "RuzaveDemo"},
        {"CFBundleExecutable", "RuzaveDemo"},
        {"DTSDKName", "iphoneos6.1"},
        {"DTPlatformName", "iphoneos"},
    };
}

} // namespace

Bundle::Bundle() : info_(defaultInfo()) {}

std::shared_ptr<Bundle> Bundle::mainBundle() {
    // Never destroyed: background work still running while the process exits may ask for it.
    static const auto* bundle = new std::shared_ptr<Bundle>(new Bundle());
    return *bundle;
}

std::string Bundle::stringForKey(std::string_view key) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::string* s = findString(info_, key);
    return s != nullptr ? *s : std::string();
}

std::string Bundle::identifier() const {
    return stringForKey("CFBundleIdentifier");
}
std::string Bundle::version() const {
    return stringForKey("CFBundleVersion");
}
std::string Bundle::shortVersion() const {
    return stringForKey("CFBundleShortVersionString");
}
std::string Bundle::name() const {
    return stringForKey("CFBundleName");
}
std::string Bundle::sdkName() const {
    return stringForKey("DTSDKName");
}
std::string Bundle::platformName() const {
    return stringForKey("DTPlatformName");
}

std::string Bundle::path() const {
    std::string path = Sandbox::homeDirectory() + "/App.app";
    Error error;
    if (!Sandbox::createDirectory(path, true, &error)) logError("Bundle: " + error.description);
    return path;
}

Value Bundle::infoDictionary() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return info_;
}

std::optional<Value> Bundle::objectForInfoKey(std::string_view key) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const Value* v = find(info_, key);
    if (v == nullptr) return std::nullopt;
    return *v;
}

bool Bundle::setInfoDictionary(Value info) {
    if (!info.is_object()) return false;
    std::lock_guard<std::mutex> lock(mutex_);
    info_ = std::move(info);
    return true;
}

void Bundle::setValue(std::string_view key, Value value) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string k(key);
    if (value.is_null())
        info_.erase(k);
    else
        info_[k] = std::move(value);
}

} // namespace platform
