#pragma once
// The base of the private reporters: one report builds the common parameters, asks the reporting-info
// delegate for the kind's query and URL prefix, and hands the ping URL to a new pinger. Reports run on
// the caller's thread (normally the main thread); the ping itself always runs on the main thread.
#include <memory>
#include <optional>
#include <string>
#include <type_traits>

#include "conversion/ACTPingerDelegate.h"
#include "conversion/ACTReportingInfoDelegate.h"
#include "platform/base/URL.h"
#include "platform/base/Value.h"

namespace ruzave {

class ACTReporterPrivate : public std::enable_shared_from_this<ACTReporterPrivate> {
public:
    virtual ~ACTReporterPrivate() = default;

    // The concrete class's name, for log lines.
    virtual const char* className() const = 0;

    // True when a ping was handed to a pinger.
    bool report();
    // "muid", "timestamp", "bundleid", "appversion", "osversion", "sdkversion"; nullopt without a
    // device token.
    virtual std::optional<platform::Value> commonQueryParameters() const;
    // The delegate's prefix followed by the common and the delegate's parameters joined by its
    // separator; nullopt when there is no delegate or the text is no URL.
    std::optional<platform::URL> reportingURLWithQueryParameters(const platform::Value& common) const;
    // The once-only flag a successful ping of this report sets ("" : none). A stored ping carries it,
    // so that its success still counts after a relaunch.
    virtual std::string pingDeduplicationKey() const { return {}; }

    std::shared_ptr<ACTReportingInfoDelegate> reportingInfoDelegate() const { return reportingInfoDelegate_.lock(); }
    void setReportingInfoDelegate(std::weak_ptr<ACTReportingInfoDelegate> d) { reportingInfoDelegate_ = std::move(d); }
    std::shared_ptr<ACTPingerDelegate> pingerDelegate() const { return pingerDelegate_.lock(); }
    void setPingerDelegate(std::weak_ptr<ACTPingerDelegate> d) { pingerDelegate_ = std::move(d); }

protected:
    // The device token of a report, from its common parameters.
    virtual std::optional<std::string> deviceToken(const platform::Value& common) const;

private:
    std::weak_ptr<ACTReportingInfoDelegate> reportingInfoDelegate_;
    std::weak_ptr<ACTPingerDelegate> pingerDelegate_;
};

// Makes `reporter` its own reporting-info delegate and, when it is one, its own pinger delegate.
template <typename T> std::shared_ptr<T> act_selfDelegating(std::shared_ptr<T> reporter) {
    reporter->setReportingInfoDelegate(reporter);
    if constexpr (std::is_base_of_v<ACTPingerDelegate, T>) reporter->setPingerDelegate(reporter);
    return reporter;
}

} // namespace ruzave
