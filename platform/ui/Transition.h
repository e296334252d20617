#pragma once
// A layer transition (fade, push, move in, reveal) as added to a layer under a key. Plain value: any thread.
#include <string>

namespace platform {

struct Transition {
    std::string type = "fade";   // "fade", "push", "moveIn", "reveal"
    std::string subtype;         // "fromLeft", "fromRight", "fromTop", "fromBottom" or empty
    double duration = 0.25;
    std::string timingFunction;  // "linear", "easeIn", "easeOut", "easeInEaseOut", "default" or empty

    bool operator==(const Transition&) const = default;
};

} // namespace platform
