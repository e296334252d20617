#pragma once
// Marks the extras objects that a request accepts; each is stored under its class name.
// Main thread (filled in by the app before the request is handed over).
#include <memory>
#include <string>

namespace ruzave {

class GADAdNetworkExtras {
public:
    virtual ~GADAdNetworkExtras() = default;
    // The name the request files the extras under.
    virtual std::string extrasClassName() const = 0;
};

} // namespace ruzave
