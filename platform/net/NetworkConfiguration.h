#pragma once
// Process-wide network settings: host names mapped to local addresses (the URL, Host header and TLS
// server name stay those of the real host), an extra trusted CA file, and the user agent.
// Read at first use from RUZAVE_CONNECT_TO and RUZAVE_CA_FILE. Any thread.
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/Error.h"

namespace platform {

class NetworkConfiguration {
public:
    struct HostMapping {
        std::string host;
        std::uint16_t port = 0;
        std::string address;
        std::uint16_t toPort = 0;
        friend bool operator==(const HostMapping&, const HostMapping&) = default;
    };

    static std::shared_ptr<NetworkConfiguration> sharedInstance();

    // Connections to host:port go to address:toPort instead. A later mapping of the same host:port wins.
    void addHostMapping(const std::string& host, std::uint16_t port, const std::string& address,
                        std::uint16_t toPort);
    // Replaces every mapping with those of `mappingText`: comma-separated "host:port:address:port" entries
    // (also "host:port=address:port"). On a malformed entry nothing changes and false is returned.
    bool setHostMappings(std::string_view mappingText, Error* error = nullptr);
    void removeAllHostMappings();
    std::vector<HostMapping> hostMappings() const;
    // The mappings in curl's connect-to form, "host:port:address:port".
    std::vector<std::string> connectToEntries() const;

    // A PEM file of CAs trusted besides the system's (empty: none).
    void setTrustedCAFile(const std::string& path);
    std::string trustedCAFile() const;

    static const char* defaultUserAgent();
    std::string userAgent() const;
    void setUserAgent(const std::string& userAgent);

    // Grows on every change, so that caches built from the settings know to rebuild.
    std::uint64_t generation() const;

    // Back to the defaults and the environment (tests).
    void reset();

    static bool parseHostMappings(std::string_view mappingText, std::vector<HostMapping>* out, Error* error);

    NetworkConfiguration(const NetworkConfiguration&) = delete;
    NetworkConfiguration& operator=(const NetworkConfiguration&) = delete;

private:
    NetworkConfiguration();
    void resetLocked();

    mutable std::mutex mutex_;
    std::vector<HostMapping> mappings_;
    std::string caFile_;
    std::string userAgent_;
    std::uint64_t generation_ = 0;
};

} // namespace platform
