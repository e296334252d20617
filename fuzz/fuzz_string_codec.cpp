// The string codecs: the SDK's fixed encodings and codecs over alphabets taken from the input.
// Input: a selector byte, then (for a custom codec) an alphabet line, then the text to decode.
// Decoding any text never fails unsafely; encoded bytes decode back to themselves.
#include <vector>

#include "ads/core/signals/GAD_GTMStringEncoding.h"
#include "common/StringCodec.h"
#include "fuzz/FuzzSupport.h"

namespace {

void roundTrip(const ruzave::StringCodec& codec, std::string_view text) {
    auto decoded = codec.decode(text);
    codec.decodeToString(text);
    std::vector<std::uint8_t> bytes(text.begin(), text.end());
    auto back = codec.decode(codec.encode(bytes));
    fuzz::require(back.has_value() && *back == bytes);
    if (decoded) {
        auto again = codec.decode(codec.encode(*decoded));
        fuzz::require(again.has_value() && *again == *decoded);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::uint8_t selector = data[0];
    std::string_view input = fuzz::text(data + 1, size - 1);
    std::shared_ptr<ruzave::GAD_GTMStringEncoding> encoding;
    switch (selector % 8) {
    case 0: encoding = ruzave::GAD_GTMStringEncoding::binaryStringEncoding(); break;
    case 1: encoding = ruzave::GAD_GTMStringEncoding::hexStringEncoding(); break;
    case 2: encoding = ruzave::GAD_GTMStringEncoding::rfc4648Base32StringEncoding(); break;
    case 3: encoding = ruzave::GAD_GTMStringEncoding::rfc4648Base32HexStringEncoding(); break;
    case 4: encoding = ruzave::GAD_GTMStringEncoding::crockfordBase32StringEncoding(); break;
    case 5: encoding = ruzave::GAD_GTMStringEncoding::rfc4648Base64StringEncoding(); break;
    case 6: encoding = ruzave::GAD_GTMStringEncoding::rfc4648Base64WebsafeStringEncoding(); break;
    default: {
        // alphabet \n synonyms \n ignored \n text; the padding character and padding from the selector.
        auto [alphabet, rest1] = fuzz::splitLine(input);
        auto [synonyms, rest2] = fuzz::splitLine(rest1);
        auto [ignored, text] = fuzz::splitLine(rest2);
        auto codec = ruzave::StringCodec::withAlphabet(alphabet);
        if (!codec) return 0;
        codec->addDecodeSynonyms(synonyms);
        codec->ignoreCharacters(ignored);
        const char padding = (selector >> 5) != 0 ? '=' : '#';
        if (selector & 0x10) codec->setPaddingChar(padding);
        codec->setDoPad((selector & 0x08) != 0);
        // Synonyms, ignored characters and a padding character may take over alphabet letters; only
        // decoding is checked then.
        bool paddingIsLetter = (selector & 0x10) != 0 && alphabet.find(padding) != std::string_view::npos;
        if (synonyms.empty() && ignored.empty() && !paddingIsLetter) {
            roundTrip(*codec, text);
        } else {
            codec->decode(text);
            codec->decodeToString(text);
        }
        return 0;
    }
    }
    encoding->setDoPad((selector & 0x08) != 0);
    encoding->description();
    encoding->stringByDecoding(input);
    auto decoded = encoding->decode(input);
    std::vector<std::uint8_t> bytes(input.begin(), input.end());
    auto back = encoding->decode(encoding->encode(bytes));
    fuzz::require(back.has_value() && *back == bytes);
    if (decoded) {
        auto again = encoding->decode(encoding->encode(*decoded));
        fuzz::require(again.has_value() && *again == *decoded);
    }
    return 0;
}
