#pragma once
// Interface and device orientations and the orientation masks. Plain values: any thread.

namespace platform {

enum class InterfaceOrientation {
    Unknown = 0,
    Portrait = 1,
    PortraitUpsideDown = 2,
    LandscapeLeft = 4,
    LandscapeRight = 3,
};

enum InterfaceOrientationMask : unsigned {
    InterfaceOrientationMaskPortrait = 1u << 1,
    InterfaceOrientationMaskPortraitUpsideDown = 1u << 2,
    InterfaceOrientationMaskLandscapeRight = 1u << 3,
    InterfaceOrientationMaskLandscapeLeft = 1u << 4,
    InterfaceOrientationMaskLandscape = (1u << 3) | (1u << 4),
    InterfaceOrientationMaskAllButUpsideDown = (1u << 1) | (1u << 3) | (1u << 4),
    InterfaceOrientationMaskAll = (1u << 1) | (1u << 2) | (1u << 3) | (1u << 4),
};

enum class DeviceOrientation {
    Unknown = 0,
    Portrait = 1,
    PortraitUpsideDown = 2,
    LandscapeLeft = 3,
    LandscapeRight = 4,
    FaceUp = 5,
    FaceDown = 6,
};

inline bool isLandscape(InterfaceOrientation o) {
    return o == InterfaceOrientation::LandscapeLeft || o == InterfaceOrientation::LandscapeRight;
}

inline unsigned maskFor(InterfaceOrientation o) {
    return o == InterfaceOrientation::Unknown ? 0u : 1u << static_cast<unsigned>(o);
}

} // namespace platform
