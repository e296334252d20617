#pragma once
// Where the conversion library sends its pings. Any thread.
#include <string>

namespace ruzave {

class ACTEndpoints {
public:
    static constexpr const char* kConversionHost = "www.ruzaveadservices.example";
    // The conversion base URL; conversion pings go to "<base>/<conversion id>/?...".
    static constexpr const char* kConversionBaseURL = "https://www.ruzaveadservices.example/pagead/conversion";
    // The second network's activity host, kept scrambled in the binary.
    static std::string activityHost();
    // "https://<activity host>/activity;"
    static std::string activityPrefix();
};

} // namespace ruzave
