#pragma once
// Classes found by name at run time (mediation adapters, custom events, optional services). Each class
// registers, from its own .cpp through a ClassRegistrar, a factory, the protocol names it conforms to and
// the C++ types it may be handed out as. Any thread.
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <typeindex>
#include <unordered_map>
#include <vector>

namespace platform {

class ClassRegistry {
  public:
    using Factory = std::function<std::shared_ptr<void>()>;
    // Turns the factory's object into a pointer to one of its C++ types (same ownership).
    using Caster = std::function<std::shared_ptr<void>(const std::shared_ptr<void>&)>;

    struct ClassInfo {
        Factory factory;
        std::vector<std::string> protocols;
        std::unordered_map<std::type_index, Caster> casters;
    };

    // A later registration under the same name replaces the earlier one.
    static void registerClass(std::string name, ClassInfo info);
    static bool unregisterClass(std::string_view name);
    static bool hasClass(std::string_view name);
    static bool conformsTo(std::string_view className, std::string_view protocolName);

    // A new instance of the named class as a T, where T is a type it registered; nullptr when the class
    // is unknown, was not registered as a T, or its factory fails.
    template <typename T> static std::shared_ptr<T> create(std::string_view name) {
        return std::static_pointer_cast<T>(createAs(name, std::type_index(typeid(T))));
    }

  private:
    static std::shared_ptr<void> createAs(std::string_view name, std::type_index type);
};

} // namespace platform
