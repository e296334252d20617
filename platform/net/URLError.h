#pragma once
// The network error domain, its codes, and the making of its errors. Any thread.
#include <string>

#include "platform/base/Error.h"

namespace platform {

class URLError {
public:
    static constexpr const char* Domain = "NSURLErrorDomain";
    static constexpr const char* FailingURLStringKey = "NSErrorFailingURLStringKey";

    enum Code : long {
        Unknown = -1,
        Cancelled = -999,
        BadURL = -1000,
        TimedOut = -1001,
        UnsupportedURL = -1002,
        CannotFindHost = -1003,
        CannotConnectToHost = -1004,
        NetworkConnectionLost = -1005,
        HTTPTooManyRedirects = -1007,
        ResourceUnavailable = -1008,
        NotConnectedToInternet = -1009,
        BadServerResponse = -1011,
        CannotDecodeContentData = -1016,
        SecureConnectionFailed = -1200,
        ServerCertificateUntrusted = -1202,
    };

    // An error of the domain, with its usual description and the failing URL in userInfo.
    static Error make(long code, const std::string& failingURL, const std::string& detail = {});
    // The description the domain gives a code.
    static std::string descriptionFor(long code);
    // Maps a curl result code (CURLcode) to the domain's code.
    static long codeForCurl(int curlCode);
};

} // namespace platform
