// Script message URLs as a page writes them: the URL is read, and a message URL gives a message whose
// name is never empty and whose parameters are an object of strings. Input lines are tried both as
// whole URLs and as what follows "gmsg://h/".
#include <string>

#include "ads/render/GADNotification.h"
#include "fuzz/FuzzSupport.h"
#include "platform/base/Value.h"

namespace {

void check(std::string_view text) {
    auto url = platform::URL::parse(text);
    if (!url) return;
    auto note = ruzave::GADNotification::initWithNotificationURL(*url);
    if (!note) return;
    fuzz::require(!note->name().empty());
    fuzz::require(note->parameters().is_object());
    for (const auto& [key, value] : note->parameters().items()) fuzz::require(value.is_string());
    if (!note->parameters().empty()) {
        fuzz::require(note->parameter(note->parameters().begin().key()).has_value());
    }
    note->description();
    auto copy = ruzave::GADNotification::initWithName(note->name(), note->parameters());
    fuzz::require(copy && copy->parameters() == note->parameters());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input = fuzz::text(data, size);
    check(input);
    check("gmsg://h/" + std::string(input));
    auto [name, parameters] = fuzz::splitLine(input);
    ruzave::GADNotification::initWithName(std::string(name), platform::parseJSON(parameters));
    return 0;
}
