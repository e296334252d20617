#include "ads/core/signals/GAD_GTMStringEncoding.h"

#include "common/StringCodecPresets.h"

namespace ruzave {

std::shared_ptr<GAD_GTMStringEncoding> GAD_GTMStringEncoding::stringEncodingWithString(std::string_view alphabet) {
    return initWithString(alphabet);
}

std::shared_ptr<GAD_GTMStringEncoding> GAD_GTMStringEncoding::initWithString(std::string_view alphabet) {
    auto codec = StringCodec::withAlphabet(alphabet);
    if (!codec) return nullptr;
    return std::make_shared<GAD_GTMStringEncoding>(std::move(*codec));
}

namespace {

std::shared_ptr<GAD_GTMStringEncoding> wrapped(StringCodec codec) {
    return std::make_shared<GAD_GTMStringEncoding>(std::move(codec));
}

} // namespace

std::shared_ptr<GAD_GTMStringEncoding> GAD_GTMStringEncoding::binaryStringEncoding() {
    return wrapped(codecs::binary());
}

std::shared_ptr<GAD_GTMStringEncoding> GAD_GTMStringEncoding::hexStringEncoding() {
    return wrapped(codecs::hex());
}

std::shared_ptr<GAD_GTMStringEncoding> GAD_GTMStringEncoding::rfc4648Base32StringEncoding() {
    return wrapped(codecs::rfc4648Base32());
}

std::shared_ptr<GAD_GTMStringEncoding> GAD_GTMStringEncoding::rfc4648Base32HexStringEncoding() {
    return wrapped(codecs::rfc4648Base32Hex());
}

std::shared_ptr<GAD_GTMStringEncoding> GAD_GTMStringEncoding::crockfordBase32StringEncoding() {
    return wrapped(codecs::crockfordBase32());
}

std::shared_ptr<GAD_GTMStringEncoding> GAD_GTMStringEncoding::rfc4648Base64StringEncoding() {
    return wrapped(codecs::rfc4648Base64());
}

std::shared_ptr<GAD_GTMStringEncoding> GAD_GTMStringEncoding::rfc4648Base64WebsafeStringEncoding() {
    return wrapped(codecs::rfc4648Base64Websafe());
}

std::string GAD_GTMStringEncoding::description() const {
    return "<Base" + std::to_string(codec_.alphabet().size()) + " StringEncoder: " + codec_.alphabet() + ">";
}

} // namespace ruzave
