#pragma once
// One script message of an ad page ("gmsg" URL): its action name and string parameters. Immutable;
// any thread.
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/base/URL.h"
#include "platform/base/Value.h"

namespace ruzave {

class GADNotification {
  public:
    // The scheme, lower-cased, is "gmsg"; a URL without a scheme is no message.
    static bool isNotificationURL(const platform::URL& url);
    // nullptr when the URL is no message URL or names nothing.
    static std::shared_ptr<GADNotification> initWithNotificationURL(const platform::URL& url);
    // nullptr for an empty name; parameters that are not an object of strings give an empty one.
    static std::shared_ptr<GADNotification> initWithName(const std::string& name,
                                                         const std::optional<platform::Value>& parameters);

    const std::string& name() const { return name_; }
    // An object from key to string value; empty (never null) without a query.
    const platform::Value& parameters() const { return parameters_; }
    std::optional<std::string> parameter(const std::string& key) const;
    // The string under `key` in a parameter dictionary; nullopt when it is missing, not a string, or the
    // dictionary is no object.
    static std::optional<std::string> stringParameter(const platform::Value& parameters, std::string_view key);
    std::string description() const;

  private:
    GADNotification(std::string name, platform::Value parameters)
        : name_(std::move(name)), parameters_(std::move(parameters)) {}
    std::string name_;
    platform::Value parameters_;
};

} // namespace ruzave
