#include "conversion/ACT_GTMStringEncoding.h"

#include "common/StringCodecPresets.h"

namespace ruzave {

namespace {
std::shared_ptr<ACT_GTMStringEncoding> make(StringCodec codec) {
    return std::make_shared<ACT_GTMStringEncoding>(std::move(codec));
}
} // namespace

std::shared_ptr<ACT_GTMStringEncoding> ACT_GTMStringEncoding::stringEncodingWithString(std::string_view alphabet) {
    return initWithString(alphabet);
}

std::shared_ptr<ACT_GTMStringEncoding> ACT_GTMStringEncoding::initWithString(std::string_view alphabet) {
    auto codec = StringCodec::withAlphabet(alphabet);
    if (!codec) return nullptr;
    return make(std::move(*codec));
}

std::shared_ptr<ACT_GTMStringEncoding> ACT_GTMStringEncoding::binaryStringEncoding() {
    return make(codecs::binary());
}

std::shared_ptr<ACT_GTMStringEncoding> ACT_GTMStringEncoding::hexStringEncoding() {
    return make(codecs::hex());
}

std::shared_ptr<ACT_GTMStringEncoding> ACT_GTMStringEncoding::rfc4648Base32StringEncoding() {
    return make(codecs::rfc4648Base32());
}

std::shared_ptr<ACT_GTMStringEncoding> ACT_GTMStringEncoding::rfc4648Base32HexStringEncoding() {
    return make(codecs::rfc4648Base32Hex());
}

std::shared_ptr<ACT_GTMStringEncoding> ACT_GTMStringEncoding::crockfordBase32StringEncoding() {
    return make(codecs::crockfordBase32());
}

std::shared_ptr<ACT_GTMStringEncoding> ACT_GTMStringEncoding::rfc4648Base64StringEncoding() {
    return make(codecs::rfc4648Base64());
}

std::shared_ptr<ACT_GTMStringEncoding> ACT_GTMStringEncoding::rfc4648Base64WebsafeStringEncoding() {
    return make(codecs::rfc4648Base64Websafe());
}

std::string ACT_GTMStringEncoding::description() const {
    return "<Base" + std::to_string(codec_.alphabet().size()) + " StringEncoder: " + codec_.alphabet() + ">";
}

} // namespace ruzave
