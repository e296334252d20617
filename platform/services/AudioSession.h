#pragma once
// The audio session: where sound goes now (the route's outputs) and the hardware output volume. Tests set
// both; a route change posts routeChangeNotification (object: the session). Any thread.
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace platform {

class AudioSession {
public:
    // Port types of route outputs.
    static constexpr const char* portHeadphones = "Headphones";
    static constexpr const char* portBuiltInSpeaker = "Speaker";
    static constexpr const char* portBuiltInReceiver = "Receiver";
    static constexpr const char* portHDMI = "HDMI";
    static constexpr const char* portBluetoothA2DP = "BluetoothA2DPOutput";
    static constexpr const char* portLineOut = "LineOut";
    static constexpr const char* routeChangeNotification = "AudioSessionRouteChangeNotification";

    struct Port {
        std::string portType;
        std::string portName;
        bool operator==(const Port&) const = default;
    };

    static std::shared_ptr<AudioSession> sharedInstance();

    // The built-in speaker until a test changes it.
    std::vector<Port> currentRouteOutputs() const;
    // 0...1; 0.5 until a test changes it.
    float outputVolume() const;

    // Tests.
    void setCurrentRouteOutputsForTesting(std::vector<Port> outputs);
    // Clamped to 0...1; NaN is ignored.
    void setOutputVolumeForTesting(float volume);

private:
    AudioSession();
    mutable std::mutex mutex_;
    std::vector<Port> outputs_;
    float volume_ = 0.5f;
};

} // namespace platform
