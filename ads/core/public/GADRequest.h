#pragma once
// What an app asks for with an ad: user facts, content URL, test devices, network extras and native
// options; it builds the base of the request parameter dictionary. Filled on the main thread, then
// copied; parameters() may run on any thread (the request signal is computed on the main thread).
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ads/core/public/GADAdNetworkExtras.h"
#include "ads/core/signals/GADLocation.h"
#include "platform/base/Value.h"

namespace ruzave {

// The test-device identifier of the simulator, for GADRequest::setTestDevices().
inline constexpr const char* kGADSimulatorID = "Simulator";

class GADRequest {
public:
    static constexpr const char* kSDKVersion = "zudo-sdk-i-v7.5.2";
    static constexpr const char* kSDKVersionIdentifiers = "rc.1";
    static constexpr const char* kSDKVersionMetadata = "79c019728c92e2becb873e2ec68944d6bd128de1";

    static std::shared_ptr<GADRequest> request();
    static std::shared_ptr<GADRequest> init() { return request(); }
    virtual ~GADRequest() = default;
    // A new, independent request (extras objects themselves are shared).
    virtual std::shared_ptr<GADRequest> copy() const;

    static const std::string& sdkVersion();
    static std::string sdkVersionIdentifiers();
    static std::string sdkVersionMetadata();
    static const std::string& extendedSDKVersionNumber();
    static int requestTypeFromString(const std::optional<std::string>& text);

    virtual std::string description() const;
    // The class name the description starts with.
    virtual std::string className() const { return "GADRequest"; }

    // Logs and stores nothing for null extras.
    void registerAdNetworkExtras(const std::shared_ptr<GADAdNetworkExtras>& extras);
    std::shared_ptr<GADAdNetworkExtras> adNetworkExtrasFor(const std::string& className) const;
    void removeAdNetworkExtrasFor(const std::string& className);
    // The registered GADExtras' parameters; "_useOnce" true removes the extras after this read.
    std::optional<platform::Value> networkExtrasAdditionalParameters();
    void addAdditionalParametersFromDictionary(const platform::Value& dictionary);

    std::optional<std::string> genderString() const;
    // "yyyyMMdd" of the birthday (Gregorian, POSIX), nullopt without one.
    std::optional<std::string> birthdayString() const;
    std::optional<std::string> contentURLString() const;
    void setBirthdayWithMonth(long month, long day, long year);
    void setLocationWithLatitude(float latitude, float longitude, float accuracy);
    void setLocationWithDescription(const std::string& description);
    void tagForChildDirectedTreatment(bool childDirected) { childDirectedTreatment_ = childDirected; }

    bool isATestDevice() const;
    virtual platform::Value parameters() const;

    const std::optional<platform::Value>& testDevices() const { return testDevices_; }
    void setTestDevices(const std::optional<platform::Value>& v) { testDevices_ = v; }
    int gender() const { return gender_; }
    void setGender(int gender) { gender_ = gender; }
    // Seconds since 1970.
    const std::optional<double>& birthday() const { return birthday_; }
    void setBirthday(const std::optional<double>& v) { birthday_ = v; }
    const std::optional<platform::Value>& keywords() const { return keywords_; }
    void setKeywords(const std::optional<platform::Value>& v) { keywords_ = v; }
    const std::optional<std::string>& contentURL() const { return contentURL_; }
    void setContentURL(const std::optional<std::string>& v) { contentURL_ = v; }
    const std::optional<std::string>& requestAgent() const { return requestAgent_; }
    void setRequestAgent(const std::optional<std::string>& v) { requestAgent_ = v; }
    std::shared_ptr<GADLocation> location() const { return location_; }
    void setLocation(const std::shared_ptr<GADLocation>& v) { location_ = v ? v->copy() : nullptr; }
    const std::optional<bool>& childDirectedTreatment() const { return childDirectedTreatment_; }
    void setChildDirectedTreatment(const std::optional<bool>& v) { childDirectedTreatment_ = v; }
    const std::optional<platform::Value>& privateMediationExtras() const { return privateMediationExtras_; }
    void setPrivateMediationExtras(const std::optional<platform::Value>& v) { privateMediationExtras_ = v; }
    const std::optional<platform::Value>& formatParameters() const { return formatParameters_; }
    void setFormatParameters(const std::optional<platform::Value>& v) { formatParameters_ = v; }
    int responseType() const { return responseType_; }
    void setResponseType(int v) { responseType_ = v; }
    const platform::Value& additionalParameters() const { return additionalParameters_; }

protected:
    GADRequest() = default;
    // What every factory of a request, of any class, runs first.
    static void willCreateRequest();
    // Copies this request's fields into `target`, a new request of the same class.
    void copyInto(GADRequest& target) const;

private:
    std::optional<platform::Value> extrasParameters() const;

    std::map<std::string, std::shared_ptr<GADAdNetworkExtras>> networkExtrasMap_;
    platform::Value additionalParameters_ = platform::Value::object();
    std::optional<platform::Value> testDevices_;
    int gender_ = 0;
    std::optional<double> birthday_;
    std::optional<platform::Value> keywords_;
    std::optional<std::string> contentURL_;
    std::optional<std::string> requestAgent_;
    std::shared_ptr<GADLocation> location_;
    std::optional<bool> childDirectedTreatment_;
    std::optional<platform::Value> privateMediationExtras_;
    std::optional<platform::Value> formatParameters_;
    int responseType_ = 0;
};

} // namespace ruzave
