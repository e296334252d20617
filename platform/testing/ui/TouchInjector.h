#pragma once
// Injects touches into a window as a finger would: each touch is hit-tested, reaches the gesture
// recognisers of the view it lands on and of its ancestors, then the view. Timestamps come from the
// Clock (plus `offset` seconds, so drags have a pace without moving the clock). Main thread.
#include <memory>
#include <vector>

#include "platform/ui/Geometry.h"

namespace platform {

class Touch;
class Window;

class TouchInjector {
public:
    // A null window means the key window.
    explicit TouchInjector(std::shared_ptr<Window> window = nullptr);

    // One finger: down, moves, up or cancel. Points are in window coordinates. False when there is no
    // window, or (for move/up/cancel) no finger down, or (for down) one is down already.
    bool down(Point point, double offset = 0);
    bool move(Point point, double offset = 0);
    bool up(double offset = 0);
    bool up(Point point, double offset = 0);
    bool cancel(double offset = 0);
    bool isDown() const { return touch_ != nullptr; }

    // Down and up at `point`.
    static bool tap(Point point, std::shared_ptr<Window> window = nullptr);
    // Down at `from`, `steps` moves to `to` spread over `duration` seconds of timestamps, up at `to`.
    static bool pan(Point from, Point to, int steps = 5, double duration = 0.25,
                    std::shared_ptr<Window> window = nullptr);

private:
    bool send();

    std::shared_ptr<Window> window_;
    std::shared_ptr<Touch> touch_;
};

} // namespace platform
