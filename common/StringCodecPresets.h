#pragma once
// The predefined codecs: binary, hex, the RFC 4648 alphabets and Crockford's Base32, each with the
// padding and decode synonyms that go with it. Any thread; each call makes a new codec.
#include "common/StringCodec.h"

namespace ruzave::codecs {

StringCodec binary();                // "01", no padding
StringCodec hex();                   // upper-case out, either case in
StringCodec rfc4648Base32();         // "=" padding
StringCodec rfc4648Base32Hex();      // "=" padding
StringCodec crockfordBase32();       // no padding; "o" reads as 0, "i" and "l" as 1, either case
StringCodec rfc4648Base64();         // "=" padding
StringCodec rfc4648Base64Websafe();  // "-" and "_", "=" padding

} // namespace ruzave::codecs
