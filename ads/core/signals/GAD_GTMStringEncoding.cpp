#include "ads/core/signals/GAD_GTMStringEncoding.h"

namespace ruzave {

std::shared_ptr<GAD_GTMStringEncoding> GAD_GTMStringEncoding::stringEncodingWithString(std::string_view alphabet) {
    return initWithString(alphabet);
}

std::shared_ptr<GAD_GTMStringEncoding> GAD_GTMStringEncoding::initWithString(std::string_view alphabet) {
    auto codec = StringCodec::withAlphabet(alphabet);
    if (!codec) return nullptr;
    return std::make_shared<GAD_GTMStringEncoding>(std::move(*codec));
}

std::shared_ptr<GAD_GTMStringEncoding> GAD_GTMStringEncoding::padded(std::string_view alphabet) {
    auto e = initWithString(alphabet);
    e->setPaddingChar('=');
    e->setDoPad(true);
    return e;
}

std::shared_ptr<GAD_GTMStringEncoding> GAD_GTMStringEncoding::binaryStringEncoding() {
    return initWithString("01");
}

std::shared_ptr<GAD_GTMStringEncoding> GAD_GTMStringEncoding::hexStringEncoding() {
    auto e = initWithString("0123456789ABCDEF");
    e->addDecodeSynonyms("AaBbCcDdEeFf");
    return e;
}

std::shared_ptr<GAD_GTMStringEncoding> GAD_GTMStringEncoding::rfc4648Base32StringEncoding() {
    return padded("ABCDEFGHIJKLMNOPQRSTUVWXYZ234567");
}

std::shared_ptr<GAD_GTMStringEncoding> GAD_GTMStringEncoding::rfc4648Base32HexStringEncoding() {
    return padded("0123456789ABCDEFGHIJKLMNOPQRSTUV");
}

std::shared_ptr<GAD_GTMStringEncoding> GAD_GTMStringEncoding::crockfordBase32StringEncoding() {
    auto e = initWithString("0123456789ABCDEFGHJKMNPQRSTVWXYZ");
    e->addDecodeSynonyms("0oO1iIlLAaBbCcDdEeFfGgHhJjKkMmNnPpQqRrSsTtVvWwXxYyZz");
    return e;
}

std::shared_ptr<GAD_GTMStringEncoding> GAD_GTMStringEncoding::rfc4648Base64StringEncoding() {
    return padded("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/");
}

std::shared_ptr<GAD_GTMStringEncoding> GAD_GTMStringEncoding::rfc4648Base64WebsafeStringEncoding() {
    return padded("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_");
}

std::string GAD_GTMStringEncoding::description() const {
    return "<Base" + std::to_string(codec_.alphabet().size()) + " StringEncoder: " + codec_.alphabet() + ">";
}

} // namespace ruzave
