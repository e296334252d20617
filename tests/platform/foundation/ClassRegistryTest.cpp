#include <doctest/doctest.h>

#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/base/Log.h"
#include "platform/foundation/ClassRegistrar.h"
#include "platform/foundation/ClassRegistry.h"

using platform::ClassRegistrar;
using platform::ClassRegistry;

namespace {

struct AdNetworkAdapter {
    virtual ~AdNetworkAdapter() = default;
    virtual std::string networkName() const = 0;
};

struct CustomEvent {
    virtual ~CustomEvent() = default;
    virtual int eventKind() const = 0;
};

struct Unrelated {
    virtual ~Unrelated() = default;
};

// Two bases, so the adapter base sits at a non-zero offset: a bad cast would show up as garbage.
class SampleAdapter : public CustomEvent, public AdNetworkAdapter {
  public:
    std::string networkName() const override { return "sample"; }
    int eventKind() const override { return 7; }
};

// Made only through its own factory.
class FactoryMade : public AdNetworkAdapter {
  public:
    static std::shared_ptr<FactoryMade> make() { return std::shared_ptr<FactoryMade>(new FactoryMade()); }
    std::string networkName() const override { return "factory"; }

  private:
    FactoryMade() = default;
};

const ClassRegistrar<SampleAdapter, AdNetworkAdapter, CustomEvent>
    sampleRegistrar("SampleAdapter", {"AdNetworkAdapter", "CustomEvent"});
const ClassRegistrar<FactoryMade, AdNetworkAdapter> factoryRegistrar("FactoryMade", {"AdNetworkAdapter"},
                                                                     &FactoryMade::make);

} // namespace

TEST_CASE("ClassRegistry: a registered class is created as any type it registered") {
    CHECK(ClassRegistry::hasClass("SampleAdapter"));
    auto adapter = ClassRegistry::create<AdNetworkAdapter>("SampleAdapter");
    REQUIRE(adapter != nullptr);
    CHECK(adapter->networkName() == "sample");
    auto event = ClassRegistry::create<CustomEvent>("SampleAdapter");
    REQUIRE(event != nullptr);
    CHECK(event->eventKind() == 7);
    auto concrete = ClassRegistry::create<SampleAdapter>("SampleAdapter");
    REQUIRE(concrete != nullptr);
    CHECK(concrete->networkName() == "sample");
    // Each call makes a new instance.
    CHECK(ClassRegistry::create<SampleAdapter>("SampleAdapter") != concrete);

    auto made = ClassRegistry::create<AdNetworkAdapter>("FactoryMade");
    REQUIRE(made != nullptr);
    CHECK(made->networkName() == "factory");
}

TEST_CASE("ClassRegistry: a type the class did not register, or an unknown name, gives nullptr") {
    CHECK(ClassRegistry::create<Unrelated>("SampleAdapter") == nullptr);
    CHECK(ClassRegistry::create<CustomEvent>("FactoryMade") == nullptr);
    CHECK(ClassRegistry::create<AdNetworkAdapter>("NoSuchAdapter") == nullptr);
    CHECK(ClassRegistry::create<AdNetworkAdapter>("") == nullptr);
    CHECK_FALSE(ClassRegistry::hasClass("NoSuchAdapter"));
    CHECK_FALSE(ClassRegistry::hasClass("sampleadapter"));
}

TEST_CASE("ClassRegistry: conformance follows the registered protocol names") {
    CHECK(ClassRegistry::conformsTo("SampleAdapter", "AdNetworkAdapter"));
    CHECK(ClassRegistry::conformsTo("SampleAdapter", "CustomEvent"));
    CHECK(ClassRegistry::conformsTo("FactoryMade", "AdNetworkAdapter"));
    CHECK_FALSE(ClassRegistry::conformsTo("FactoryMade", "CustomEvent"));
    CHECK_FALSE(ClassRegistry::conformsTo("NoSuchAdapter", "AdNetworkAdapter"));
    CHECK_FALSE(ClassRegistry::conformsTo("SampleAdapter", ""));
}

TEST_CASE("ClassRegistry: unregistering and registering again") {
    CHECK(ClassRegistry::unregisterClass("FactoryMade"));
    CHECK_FALSE(ClassRegistry::hasClass("FactoryMade"));
    CHECK(ClassRegistry::create<AdNetworkAdapter>("FactoryMade") == nullptr);
    CHECK_FALSE(ClassRegistry::unregisterClass("FactoryMade"));

    // A later registration under a taken name replaces the earlier one.
    ClassRegistrar<SampleAdapter, AdNetworkAdapter> replacement("FactoryMade", {"Replaced"});
    CHECK(ClassRegistry::conformsTo("FactoryMade", "Replaced"));
    CHECK_FALSE(ClassRegistry::conformsTo("FactoryMade", "AdNetworkAdapter"));
    CHECK(ClassRegistry::create<AdNetworkAdapter>("FactoryMade")->networkName() == "sample");
}

TEST_CASE("ClassRegistry: a failing factory gives nullptr and a log line") {
    ClassRegistrar<SampleAdapter, AdNetworkAdapter> throwing(
        "Throwing", {}, []() -> std::shared_ptr<SampleAdapter> { throw std::runtime_error("no memory"); });
    ClassRegistrar<SampleAdapter> empty("Empty", {}, [] { return std::shared_ptr<SampleAdapter>(); });
    platform::LogCapture log;
    CHECK(ClassRegistry::create<AdNetworkAdapter>("Throwing") == nullptr);
    CHECK(log.contains("no memory"));
    CHECK(ClassRegistry::create<SampleAdapter>("Empty") == nullptr);
}

TEST_CASE("ClassRegistry: lookups and registrations from many threads") {
    std::vector<std::thread> threads;
    std::atomic<int> created{0};
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t, &created] {
            for (int i = 0; i < 200; ++i) {
                std::string name = "Dynamic" + std::to_string(t) + "-" + std::to_string(i % 5);
                ClassRegistrar<SampleAdapter, AdNetworkAdapter> reg(name, {"AdNetworkAdapter"});
                if (ClassRegistry::create<AdNetworkAdapter>("SampleAdapter")) ++created;
                (void)ClassRegistry::conformsTo(name, "AdNetworkAdapter");
                ClassRegistry::unregisterClass(name);
            }
        });
    for (auto& th : threads)
        th.join();
    CHECK(created == 800);
    CHECK_FALSE(ClassRegistry::hasClass("Dynamic0-0"));
}
