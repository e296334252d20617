#pragma once
// Files to download ahead of use: a known length, an unknown (chunked) length, a slow stream and one
// that stops half way. Bodies are a repeating byte pattern (byte i is i % 251), so a copy can be checked.
// Any thread.
#include <cstddef>
#include <string>

namespace adserver {

class AdServer;

// "/precache/known?size=<n>"        n bytes with Content-Length (Content-Disposition from "name")
// "/precache/unknown?size=<n>"      n bytes, chunked
// "/precache/slow?size=<n>"         n bytes in 4 KiB pieces, 5 ms apart
// "/precache/aborted?size=<n>"      announces n bytes, closes after n / 2
// "/precache/status?code=<c>"       answers c with a short body
void installPrecacheRoutes(AdServer& server);

// The body every route serves for `size` bytes.
std::string precacheBody(std::size_t size);

} // namespace adserver
