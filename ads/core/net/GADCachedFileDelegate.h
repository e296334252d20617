#pragma once
// What a cached file tells its owner about one download. Main thread.
#include <optional>

#include "platform/base/Error.h"
#include "platform/base/URL.h"

namespace ruzave {

class GADCachedFile;

class GADCachedFileDelegate {
  public:
    virtual ~GADCachedFileDelegate() = default;
    // An error refuses the redirect (and ends the download with that error); nullopt follows it.
    virtual std::optional<platform::Error> cachedFileShouldRedirectToURL(GADCachedFile& file,
                                                                         const platform::URL& url) = 0;
    virtual void cachedFileDownloadDidEnd(GADCachedFile& file) = 0;
    virtual void cachedFileDownloadDidFail(GADCachedFile& file, const std::optional<platform::Error>& error) = 0;
};

} // namespace ruzave
