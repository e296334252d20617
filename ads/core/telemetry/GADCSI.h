#pragma once
// The shared timing reporter. So far it only keeps the ad server's query id of the last response;
// reports come later. Any thread.
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace ruzave {

class GADCSI {
public:
    static std::shared_ptr<GADCSI> sharedInstance();
    std::optional<std::string> GWSQueryID() const;
    void setGWSQueryID(const std::optional<std::string>& queryID);

private:
    GADCSI() = default;
    mutable std::mutex mutex_;
    std::optional<std::string> gwsQueryID_;
};

} // namespace ruzave
