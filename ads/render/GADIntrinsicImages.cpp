#include "ads/render/GADIntrinsicImages.h"

#include "ads/core/signals/GADDevice.h"
#include "ads/core/signals/GAD_GTMStringEncoding.h"
#include "platform/ui/Bitmap.h"
#include "platform/ui/Image.h"
#include "platform/ui/Screen.h"

namespace ruzave {
namespace {

// RGBA PNGs, 8 bits per channel: white arrows on nothing, and a white cross in a ring on a dark disc.
constexpr const char* kBackButton1x =
    "iVBORw0KGgoAAAANSUhEUgAAABsAAAAbCAYAAACN1PRVAAAAi0lEQVR42mP4//8/A70ww6hleHArFNPcsoP/EaCVlpad+48KaGbZ"
    "bTSLttAiGHmB+DmaRctpkUAkgfgLmkWzaJEa1f5jgl5aJH1jLBY10CKfOWCxqIQWmdoOi0XptCpB5qNZFEXL4oquPqNrnNE9NdI9"
    "n9G9BKF72Uj3Un9A6jO619R0b4OMthvBGAB4Z9kOihh+UAAAAABJRU5ErkJggg==";
constexpr const char* kBackButton2x =
    "iVBORw0KGgoAAAANSUhEUgAAADYAAAA2CAYAAACMRWrdAAABbUlEQVR42u2aIWwCQRBFL0HhUDjO4FAoHAp3qg5Vh0LVVeGq6qqq"
    "6qqaM1U4VBUOhUORIFA4FMtv8l3LrCGh8zs/eeZy5mfvZv/MbpFSKhQpwlgYC2NhzKuxElSkVDH2baYGO1LzmWtjd2CRfqq+xsrd"
    "ytQYfKXftbvGqt3C1D1YpstyaWwCVsmWu09xCtYZU3NPxaMBHsAmY+oTjLyU+yZ4BNuMqQ8w9LJBt8AM7DOm3sHAS/JogydwyJh6"
    "A30vkaoDnsExY+oV9LxkxS54ASfD0InvdL2E4B5XwdKRq9nxku77/F8sHfjftb20LQNWNkt7VsiWl35syD3I0pZ7WdNLozliWrC0"
    "YepoeOmgK+Y6S2vmQzejgZIJ3NKKSd7VzKNiz3RJS/ZcRRiLTzGKR5T7f7VBS0cq6RAs3bZIN5rSowHpYY70+E16YCo94pY+lJA/"
    "RpI++JM+qpU+XJe+DiF9gSXuUoWxMBbG/hZneNBl2KdUlrwAAAAASUVORK5CYII=";

constexpr const char* kForwardButton1x =
    "iVBORw0KGgoAAAANSUhEUgAAABsAAAAbCAYAAACN1PRVAAAAhklEQVR42mP4//8/A70ww4i3rBWKaW4ZyBIYOEhPy0DgHK2DcQua"
    "hbdpnUCWo1n4HIh5aZkaZ6FZ+AWIJWmZ9Hv/YwI1WuazBiwWGtMyU5dgsdCBliVIOhYL7WhZXEWhWTZ/yPuMbnFGt9RIt3xGtxKE"
    "bmUj3Up9utZndK2p6doGGW03EsQA7bnZDu1AQGIAAAAASUVORK5CYII=";
constexpr const char* kForwardButton2x =
    "iVBORw0KGgoAAAANSUhEUgAAADYAAAA2CAYAAACMRWrdAAABbklEQVR42u2aIWzCUBCGm6BwKBw1uCnU3BQOhUPhUCgcCoeam0Lh"
    "UKQGhUOh5qbmUCQIFA5F+Ul+sSxbL6mB+7lLPtPUfHntvbt7L8nzPFEkCbEQC7EQu7dYCjokVRG7yWTgQDI+cy2WUuR3bEDXs1iH"
    "q/RXbEFPUewWn6Cv9Cn+jC8w8Jo81obcNxh6TPdtsDLkdmAEKt426DewNOT2YAyq3iqPV7Aw5I5gAmreSqoWmBtyJzAFdW+14guY"
    "GXJn8A4a3orgJvgAlwK5C99peqvuG1yVs7F6M66yq7alzv/pZMjN+X+66sdqzIRHQ27BzOqq0axyD9sbckvuia466Aqrj50ht2I1"
    "4240MGT9WBTrsg3rvWcTA1b+RZGVGTU8wuClz57tvziUWbUQi0/xiZOHZLqX3KAlSyrJIliybZFsNCVHA5LDHMnxm+TAVHLELXko"
    "IXuMJHvwJ3tUK3u4LnsdQvoCS9ylCrEQCzENroDkZdhysTivAAAAAElFTkSuQmCC";

constexpr const char* kCloseButton1x =
    "iVBORw0KGgoAAAANSUhEUgAAABkAAAAZCAYAAADE6YVjAAAA3klEQVR42s1WwQ3DIAzMkw3Yig0YpTN0HX7ZICMl5ZBOcoAYUrVu"
    "T7KiGOPDOQNZln/AI2PPODqAH+NvJ39mHDeA+FsE9cq3jBjj6r1f83B54h3+urIpAjkppVSSjgxxct50BVjpDAEN8cOKpAYkcM4V"
    "05LLGEnU1aj+RJhIXwihSwA/Y0gkP13TpmKgIekRSQJJAqPv1N7UAt2iJSLRlZ/Grjtpo4ndS6gR1No0JNwHI6KRVshzSaJ10UwF"
    "0n5byVc1Mekuk31isuPNzi6TU9jsPjG7Gc3ueLO/lU/iBbCXBmVDVNrGAAAAAElFTkSuQmCC";
constexpr const char* kCloseButton2x =
    "iVBORw0KGgoAAAANSUhEUgAAADIAAAAyCAYAAAAeP4ixAAACW0lEQVR42u2asW3DMBBFPYHTewAvkDYLqEnlAdIGHsBF2lQGNICn"
    "MFKn0ATZIEWaAEmdAZR7RmjEhxMpUpJjHPIBAoJN3v1Pno4nSrPZP2xcCa4Ft4I7wf0PuOY3/qPPRZK/ETwIngRvgjYB+tCXMYz9"
    "85lnpp8F7UBgA1tnXymcvgjakYFNbJ8lhAiJdmLgY7KQY6Y+BSkSr4L9ft/Udd1sNptmvV4fGtf8xn/0SdnB1+ir8yhIkYdkVVXN"
    "fD5vZEi00Ye+jEmJwvcoIsRZHRPATC8WiyT5rsZYbMQEwWGyldjtds1yuSwWoBu2sDn6yhCflsEvATE/lgDdsI0Py3f2PUPGsG7s"
    "D8FqtZpMRGj4wJeVALKymZVimaVziPgtxloZuA0KKR1OMjHNdrs9NK5LCcfs4LMoxCgRrB2bm1A7fxeE/7mWejBbBGO0HS3GSgBw"
    "jJYz1mqQFnV2YvZ0v1wxWkQAtnU2s1JzdFWsApAcr0lYQnLEdImwhNDgYBWanZnKWg1rs9OhlSMmJsIKrbBpWqtiZjCeDYwdtZiQ"
    "JaZkTGhw0WPg3CvlUg+VhogmNkQEDS7JVEwG0E92LGWfArAPwaEiQqGpwwvOJ9mL52jtgHJ7aAYKRIeKCA1O2gbcj0I4FMi5P3LF"
    "jCGi6z6B+1EIJxx90u5YYko3UCsNwz26EZZWuCkxpSK6SpaTjdGNEDeh5eZmd5N+3WyIbkoUV0WjmzLezYOVq0ddN4cPbo6DXB3Q"
    "uToydXOI7eq1gqsXPa5evbl6Gerq9bSrDwbcfcLh6qMal585XQK+AYOKgfkEZiY4AAAAAElFTkSuQmCC";

constexpr int kTransparentSide = 10;

} // namespace

std::shared_ptr<GADIntrinsicImages> GADIntrinsicImages::sharedInstance() {
    static std::shared_ptr<GADIntrinsicImages> instance(new GADIntrinsicImages());
    return instance;
}

float GADIntrinsicImages::mainScreenDensity() {
    float density = GADDevice::sharedInstance()->mainScreenDensity();
    // Before the device facts are cached the reading is 0: the screen answers for itself then.
    if (density <= 0) density = platform::Screen::mainScreen()->scale();
    return density;
}

std::string GADIntrinsicImages::chooseImage(const std::string& single, const std::string& doubleDensity) {
    return mainScreenDensity() == 1.0f ? single : doubleDensity;
}

std::shared_ptr<platform::Image> GADIntrinsicImages::imageWithBase64EncodedString(const std::string& text) {
    return imageWithBase64EncodedString(text, mainScreenDensity());
}

std::shared_ptr<platform::Image> GADIntrinsicImages::imageWithBase64EncodedString(const std::string& text,
                                                                                  float scale) {
    auto bytes = GAD_GTMStringEncoding::rfc4648Base64StringEncoding()->decode(text);
    if (!bytes || bytes->empty()) return nullptr;
    return platform::Image::imageWithData(*bytes, scale);
}

std::shared_ptr<platform::Image> GADIntrinsicImages::decodeOnce(std::shared_ptr<platform::Image>& slot,
                                                                const char* single, const char* doubleDensity) {
    if (slot) return slot;
    // Each picture is taken at the density it was drawn for, so that it keeps its size in points on
    // screens of other densities too (the double-density one on a triple-density screen).
    const std::string chosen = chooseImage(single, doubleDensity);
    slot = imageWithBase64EncodedString(chosen, chosen == single ? 1.0f : 2.0f);
    return slot;
}

std::shared_ptr<platform::Image> GADIntrinsicImages::browserBackButton() {
    return decodeOnce(browserBackButton_, kBackButton1x, kBackButton2x);
}

std::shared_ptr<platform::Image> GADIntrinsicImages::browserForwardButton() {
    return decodeOnce(browserForwardButton_, kForwardButton1x, kForwardButton2x);
}

std::shared_ptr<platform::Image> GADIntrinsicImages::closeButton() {
    return decodeOnce(closeButton_, kCloseButton1x, kCloseButton2x);
}

std::shared_ptr<platform::Image> GADIntrinsicImages::transparentImage() {
    if (!transparentImage_) {
        float scale = mainScreenDensity();
        int side = static_cast<int>(kTransparentSide * scale + 0.5f);
        // A fresh bitmap is all zeros: clear, not opaque.
        transparentImage_ = platform::Image::imageWithBitmap(platform::Bitmap(side, side), scale);
    }
    return transparentImage_;
}

} // namespace ruzave
