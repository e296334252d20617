#include "conversion/ACTEndpoints.h"

#include "conversion/ACT_GTMStringEncoding.h"

namespace ruzave {

namespace {
// The activity host, each byte XOR 0x2A, in Base32.
constexpr const char* kScrambledActivityHost = "JNHAIUCPJZHVAT2YJ5OEWWAEJ5JEWR22IZHQ====";
constexpr unsigned char kScrambleKey = 0x2A;
} // namespace

std::string ACTEndpoints::activityHost() {
    static const std::string host = [] {
        auto bytes = ACT_GTMStringEncoding::rfc4648Base32StringEncoding()->decode(kScrambledActivityHost);
        std::string out;
        if (bytes) {
            for (std::uint8_t b : *bytes) out.push_back(static_cast<char>(b ^ kScrambleKey));
        }
        return out;
    }();
    return host;
}

std::string ACTEndpoints::activityPrefix() {
    return "https://" + activityHost() + "/activity;";
}

} // namespace ruzave
