#pragma once
// The general pasteboard: one string the user copied. Any thread.
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace platform {

class Pasteboard {
public:
    static std::shared_ptr<Pasteboard> general();

    std::optional<std::string> string() const;
    // nullopt clears it.
    void setString(std::optional<std::string> text);
    // Bumped by every change, so a reader can tell whether anything was copied since it last looked.
    long changeCount() const;

private:
    Pasteboard() = default;
    mutable std::mutex mutex_;
    std::optional<std::string> string_;
    long changeCount_ = 0;
};

} // namespace platform
