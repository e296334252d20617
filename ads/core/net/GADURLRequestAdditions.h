#pragma once
// Building the SDK's HTTP requests: given header fields, the SDK's user agent, and a POST body when
// both a body and its type are given. Any thread.
#include <optional>
#include <string>

#include "platform/base/URL.h"
#include "platform/base/Value.h"
#include "platform/net/URLRequest.h"

namespace ruzave {

// nullopt when there is no URL. `headers` is a dictionary of field names to values (non-string values
// are written as their text); it replaces every header field.
std::optional<platform::URLRequest> gad_requestForURL(const std::optional<platform::URL>& url,
                                                      const std::optional<platform::Bytes>& data,
                                                      const std::optional<platform::Value>& headers,
                                                      const std::optional<std::string>& type);

} // namespace ruzave
