// Response head lines as a server may send them: each input line is one line handed over by the
// transfer library. Whatever arrives, at most one head completes, its status is a 3-digit number at
// most, and no field name is empty.
#include "fuzz/FuzzSupport.h"
#include "platform/net/HTTPResponseHeadParser.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view rest = fuzz::text(data, size);
    platform::HTTPResponseHeadParser parser;
    int completions = 0;
    while (!rest.empty()) {
        auto nl = rest.find('\n');
        std::string_view line = nl == std::string_view::npos ? rest : rest.substr(0, nl + 1);
        rest.remove_prefix(line.size());
        if (parser.addLine(line)) {
            ++completions;
            fuzz::require(parser.status() >= 200 && parser.status() <= 999);
            auto fields = parser.takeFields();
            fuzz::require(fields.size() <= platform::HTTPResponseHeadParser::kMaximumFields);
            for (const auto& [name, value] : fields.fields()) fuzz::require(!name.empty());
        }
    }
    fuzz::require(completions <= 1);
    parser.takeFields();
    return 0;
}
