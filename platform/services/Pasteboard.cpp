#include "platform/services/Pasteboard.h"

namespace platform {

std::shared_ptr<Pasteboard> Pasteboard::general() {
    static std::shared_ptr<Pasteboard> board(new Pasteboard());
    return board;
}

std::optional<std::string> Pasteboard::string() const {
    std::lock_guard lock(mutex_);
    return string_;
}

void Pasteboard::setString(std::optional<std::string> text) {
    std::lock_guard lock(mutex_);
    string_ = std::move(text);
    ++changeCount_;
}

long Pasteboard::changeCount() const {
    std::lock_guard lock(mutex_);
    return changeCount_;
}

} // namespace platform
