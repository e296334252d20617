#pragma once
// The simulated device: model, machine, OS name and version (settable by tests), interface idiom,
// orientation, a per-process identifier for the vendor, and whether it is a simulator. Main thread.
#include <array>
#include <memory>
#include <string>

#include "platform/ui/InterfaceOrientation.h"

namespace platform {

enum class UserInterfaceIdiom { Unspecified = -1, Phone = 0, Pad = 1 };

class Device {
public:
    static std::shared_ptr<Device> currentDevice();

    std::string model() const { return model_; }
    std::string machine() const { return machine_; }
    std::string systemName() const { return "iPhone OS"; }
    std::string systemVersion() const { return systemVersion_; }
    // Major, minor and patch; missing parts are 0 ("7.1" -> 7.1.0), garbage reads as 0.
    std::array<int, 3> systemVersionTriple() const;
    // Whether the system version is at least `version` (compared as triples).
    bool isSystemVersionAtLeast(const std::string& version) const;
    UserInterfaceIdiom userInterfaceIdiom() const { return idiom_; }
    DeviceOrientation orientation() const { return orientation_; }
    // A UUID string, stable for the life of the process.
    std::string identifierForVendor() const;
    bool isSimulator() const { return simulator_; }
    std::string name() const { return "iPhone"; }

    // Test controls.
    void setSystemVersion(std::string version) { systemVersion_ = std::move(version); }
    void setModel(std::string model) { model_ = std::move(model); }
    void setMachine(std::string machine) { machine_ = std::move(machine); }
    void setUserInterfaceIdiom(UserInterfaceIdiom idiom) { idiom_ = idiom; }
    void setOrientation(DeviceOrientation orientation) { orientation_ = orientation; }
    void setSimulator(bool simulator) { simulator_ = simulator; }

    static std::array<int, 3> parseVersion(const std::string& version);

    Device() = default;

private:
    std::string model_ = "iPhone";
    std::string machine_ = "iPhone5,2";
    std::string systemVersion_ = "9.3";
    UserInterfaceIdiom idiom_ = UserInterfaceIdiom::Phone;
    DeviceOrientation orientation_ = DeviceOrientation::Portrait;
    bool simulator_ = false;
};

} // namespace platform
