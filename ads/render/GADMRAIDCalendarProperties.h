#pragma once
// The fields of an MRAID calendar event: "start" and "end" as dates (date, "T", time with seconds
// and a zone: "Z" or an offset such as -05:00), and "summary", "description" and "location" as
// given. Missing or unreadable fields stay empty; the record is always made. Values; any thread.
#include <memory>
#include <optional>
#include <string>

#include "platform/base/Value.h"

namespace ruzave {

class GADMRAIDCalendarProperties {
  public:
    static std::shared_ptr<GADMRAIDCalendarProperties> initWithDictionary(const platform::Value& params);
    // Seconds since 1970, or nullopt for text in any other form.
    static std::optional<double> dateFromString(const std::string& text);

    std::optional<double> startTime() const { return startTime_; }
    std::optional<double> endTime() const { return endTime_; }
    const std::optional<std::string>& summary() const { return summary_; }
    const std::optional<std::string>& eventDescription() const { return eventDescription_; }
    const std::optional<std::string>& location() const { return location_; }

  private:
    GADMRAIDCalendarProperties() = default;
    std::optional<double> startTime_, endTime_;
    std::optional<std::string> summary_, eventDescription_, location_;
};

} // namespace ruzave
