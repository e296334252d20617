#include "platform/net/NetworkConfiguration.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>

#include "platform/base/Log.h"

namespace platform {

namespace {

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

bool parsePort(std::string_view text, std::uint16_t* out) {
    unsigned value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value == 0 || value > 65535) return false;
    *out = static_cast<std::uint16_t>(value);
    return true;
}

// "host:port" -> parts; the host must be non-empty and contain no colon.
bool parseHostPort(std::string_view text, std::string* host, std::uint16_t* port) {
    auto colon = text.rfind(':');
    if (colon == std::string_view::npos || colon == 0) return false;
    std::string_view h = text.substr(0, colon);
    if (h.find(':') != std::string_view::npos) return false;
    if (!parsePort(text.substr(colon + 1), port)) return false;
    *host = std::string(h);
    return true;
}

std::string lowerHost(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

} // namespace

std::shared_ptr<NetworkConfiguration> NetworkConfiguration::sharedInstance() {
    static std::shared_ptr<NetworkConfiguration> instance(new NetworkConfiguration());
    return instance;
}

NetworkConfiguration::NetworkConfiguration() { resetLocked(); }

const char* NetworkConfiguration::defaultUserAgent() {
    return "Mozilla/5.0 (iPhone; CPU iPhone OS 9_3 like Mac OS X) AppleWebKit/601.1.46 (KHTML, like Gecko) "
           "Mobile/13E230";
}

bool NetworkConfiguration::parseHostMappings(std::string_view mappingText, std::vector<HostMapping>* out,
                                             Error* error) {
    std::vector<HostMapping> result;
    std::size_t pos = 0;
    while (pos <= mappingText.size()) {
        auto comma = mappingText.find(',', pos);
        std::string_view entry = trim(mappingText.substr(pos, comma == std::string_view::npos ? mappingText.npos : comma - pos));
        pos = comma == std::string_view::npos ? mappingText.size() + 1 : comma + 1;
        if (entry.empty()) continue;
        HostMapping m;
        bool ok = false;
        if (auto eq = entry.find('='); eq != std::string_view::npos) {
            ok = parseHostPort(entry.substr(0, eq), &m.host, &m.port) &&
                 parseHostPort(entry.substr(eq + 1), &m.address, &m.toPort);
        } else {
            // host:port:address:port — split at the second colon.
            auto first = entry.find(':');
            auto second = first == std::string_view::npos ? first : entry.find(':', first + 1);
            ok = second != std::string_view::npos && parseHostPort(entry.substr(0, second), &m.host, &m.port) &&
                 parseHostPort(entry.substr(second + 1), &m.address, &m.toPort);
        }
        if (!ok) {
            setError(error, Error("NetworkConfiguration", 1, "malformed host mapping: " + std::string(entry)));
            return false;
        }
        m.host = lowerHost(m.host);
        result.push_back(std::move(m));
    }
    if (out != nullptr) *out = std::move(result);
    return true;
}

void NetworkConfiguration::addHostMapping(const std::string& host, std::uint16_t port, const std::string& address,
                                          std::uint16_t toPort) {
    std::lock_guard lock(mutex_);
    HostMapping m{lowerHost(host), port, address, toPort};
    std::erase_if(mappings_, [&](const HostMapping& e) { return e.host == m.host && e.port == m.port; });
    mappings_.push_back(std::move(m));
    ++generation_;
}

bool NetworkConfiguration::setHostMappings(std::string_view mappingText, Error* error) {
    std::vector<HostMapping> parsed;
    if (!parseHostMappings(mappingText, &parsed, error)) return false;
    std::lock_guard lock(mutex_);
    mappings_.clear();
    for (auto& m : parsed) {
        std::erase_if(mappings_, [&](const HostMapping& e) { return e.host == m.host && e.port == m.port; });
        mappings_.push_back(std::move(m));
    }
    ++generation_;
    return true;
}

void NetworkConfiguration::removeAllHostMappings() {
    std::lock_guard lock(mutex_);
    mappings_.clear();
    ++generation_;
}

std::vector<NetworkConfiguration::HostMapping> NetworkConfiguration::hostMappings() const {
    std::lock_guard lock(mutex_);
    return mappings_;
}

std::vector<std::string> NetworkConfiguration::connectToEntries() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> out;
    out.reserve(mappings_.size());
    for (const auto& m : mappings_) {
        out.push_back(m.host + ":" + std::to_string(m.port) + ":" + m.address + ":" + std::to_string(m.toPort));
    }
    return out;
}

void NetworkConfiguration::setTrustedCAFile(const std::string& path) {
    std::lock_guard lock(mutex_);
    caFile_ = path;
    ++generation_;
}

std::string NetworkConfiguration::trustedCAFile() const {
    std::lock_guard lock(mutex_);
    return caFile_;
}

std::string NetworkConfiguration::userAgent() const {
    std::lock_guard lock(mutex_);
    return userAgent_;
}

void NetworkConfiguration::setUserAgent(const std::string& userAgent) {
    std::lock_guard lock(mutex_);
    userAgent_ = userAgent.empty() ? defaultUserAgent() : userAgent;
}

std::uint64_t NetworkConfiguration::generation() const {
    std::lock_guard lock(mutex_);
    return generation_;
}

void NetworkConfiguration::reset() {
    std::lock_guard lock(mutex_);
    resetLocked();
}

void NetworkConfiguration::resetLocked() {
    mappings_.clear();
    caFile_.clear();
    userAgent_ = defaultUserAgent();
    if (const char* mappingText = std::getenv("RUZAVE_CONNECT_TO"); mappingText != nullptr && *mappingText != '\0') {
        Error error;
        if (!parseHostMappings(mappingText, &mappings_, &error)) {
            mappings_.clear();
            logWarning("RUZAVE_CONNECT_TO ignored: " + error.description);
        }
    }
    if (const char* ca = std::getenv("RUZAVE_CA_FILE"); ca != nullptr) caFile_ = ca;
    ++generation_;
}

} // namespace platform
