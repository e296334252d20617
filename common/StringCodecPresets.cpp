#include "common/StringCodecPresets.h"

namespace ruzave::codecs {

namespace {

// The alphabets below are fixed and valid, so withAlphabet always gives a codec.
StringCodec plain(std::string_view alphabet) {
    return *StringCodec::withAlphabet(alphabet);
}

StringCodec padded(std::string_view alphabet) {
    StringCodec codec = plain(alphabet);
    codec.setPaddingChar('=');
    codec.setDoPad(true);
    return codec;
}

} // namespace

StringCodec binary() {
    return plain("01");
}

StringCodec hex() {
    StringCodec codec = plain("0123456789ABCDEF");
    codec.addDecodeSynonyms("AaBbCcDdEeFf");
    return codec;
}

StringCodec rfc4648Base32() {
    return padded("ABCDEFGHIJKLMNOPQRSTUVWXYZ234567");
}

StringCodec rfc4648Base32Hex() {
    return padded("0123456789ABCDEFGHIJKLMNOPQRSTUV");
}

StringCodec crockfordBase32() {
    StringCodec codec = plain("0123456789ABCDEFGHJKMNPQRSTVWXYZ");
    codec.addDecodeSynonyms("0oO1iIlLAaBbCcDdEeFfGgHhJjKkMmNnPpQqRrSsTtVvWwXxYyZz");
    return codec;
}

StringCodec rfc4648Base64() {
    return padded("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/");
}

StringCodec rfc4648Base64Websafe() {
    return padded("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_");
}

} // namespace ruzave::codecs
