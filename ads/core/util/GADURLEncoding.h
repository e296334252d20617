#pragma once
// Escaping of URL parameter keys and values. Pure; any thread.
#include <string>
#include <string_view>

namespace ruzave {

// Every UTF-8 byte except ASCII letters, digits and "-", ".", "_", "~" as "%XX" (upper-case hex); so
// reserved characters such as "&", "=", "/" and "?" are escaped too, and a space becomes "%20".
std::string gad_stringByEscapingAsURLParameter(std::string_view text);

} // namespace ruzave
