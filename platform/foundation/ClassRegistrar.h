#pragma once
// Registers class T under a name at load time, from T's own .cpp:
//   static platform::ClassRegistrar<MyAdapter, AdNetworkAdapter> reg("MyAdapter", {"AdNetworkAdapter"});
// T can then be created as a T or as any of the listed base types. Instances come from T's default
// constructor, or from the given factory (for classes made through their own static factories).
// Runs during static initialisation; any thread.
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <type_traits>
#include <typeindex>

#include "platform/foundation/ClassRegistry.h"

namespace platform {

template <typename T, typename... Bases> class ClassRegistrar {
    static_assert((std::is_base_of_v<Bases, T> && ...),
                  "a registered type must derive from each listed base");

  public:
    using Factory = std::function<std::shared_ptr<T>()>;

    ClassRegistrar(std::string name, std::initializer_list<std::string> protocols)
        : ClassRegistrar(std::move(name), protocols, [] { return std::make_shared<T>(); }) {}

    ClassRegistrar(std::string name, std::initializer_list<std::string> protocols, Factory factory) {
        ClassRegistry::ClassInfo info;
        info.factory = [factory = std::move(factory)]() -> std::shared_ptr<void> { return factory(); };
        info.protocols.assign(protocols.begin(), protocols.end());
        info.casters.emplace(std::type_index(typeid(T)), [](const std::shared_ptr<void>& p) { return p; });
        (info.casters.emplace(std::type_index(typeid(Bases)),
                              [](const std::shared_ptr<void>& p) {
                                  std::shared_ptr<Bases> base = std::static_pointer_cast<T>(p);
                                  return std::static_pointer_cast<void>(base);
                              }),
         ...);
        ClassRegistry::registerClass(std::move(name), std::move(info));
    }
};

} // namespace platform
