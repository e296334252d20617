#include <doctest/doctest.h>

#include "platform/base/Error.h"
#include "platform/foundation/PropertyList.h"

using platform::Error;
using platform::PropertyList;
using platform::Value;

namespace {

// {"name":"Ruzave","count":42,"neg":-7,"ratio":0.25,"on":true,"when":2013-01-01T00:00:00Z,
//  "blob":<00 01 fe>,"list":[1,"two",{"three":3}]} as a binary property list.
const unsigned char kBinary[] =
    "\x62\x70\x6c\x69\x73\x74\x30\x30\xd8\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a\x0b\x0c\x0d\x0e\x0f\x10\x54"
    "\x6e\x61\x6d\x65\x55\x63\x6f\x75\x6e\x74\x53\x6e\x65\x67\x55\x72\x61\x74\x69\x6f\x52\x6f\x6e\x54\x77\x68"
    "\x65\x6e\x54\x62\x6c\x6f\x62\x54\x6c\x69\x73\x74\x56\x52\x75\x7a\x61\x76\x65\x10\x2a\x13\xff\xff\xff\xff"
    "\xff\xff\xff\xf9\x23\x3f\xd0\x00\x00\x00\x00\x00\x00\x09\x33\x41\xb6\x92\x5e\x80\x00\x00\x00\x43\x00\x01"
    "\xfe\xa3\x11\x12\x13\x10\x01\x53\x74\x77\x6f\xd1\x14\x15\x55\x74\x68\x72\x65\x65\x10\x03\x08\x19\x1e\x24"
    "\x28\x2e\x31\x36\x3b\x40\x47\x49\x52\x5b\x5c\x65\x69\x6d\x6f\x73\x76\x7c\x00\x00\x00\x00\x00\x00\x01\x01"
    "\x00\x00\x00\x00\x00\x00\x00\x16\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x7e";

std::string_view binaryPlist() {
    return {reinterpret_cast<const char*>(kBinary), sizeof kBinary - 1};
}

void checkSample(const Value& v) {
    REQUIRE(v.is_object());
    CHECK(v["name"] == "Ruzave");
    CHECK(v["count"].get<long long>() == 42);
    CHECK(v["neg"].get<long long>() == -7);
    CHECK(v["ratio"].get<double>() == doctest::Approx(0.25));
    CHECK(v["on"] == true);
    CHECK(v["when"].get<double>() == 1356998400.0);
    REQUIRE(v["blob"].is_binary());
    CHECK(v["blob"] == Value::binary({0x00, 0x01, 0xfe}));
    REQUIRE(v["list"].is_array());
    CHECK(v["list"][0].get<long long>() == 1);
    CHECK(v["list"][1] == "two");
    CHECK(v["list"][2]["three"].get<long long>() == 3);
}

} // namespace

TEST_CASE("PropertyList: reads a binary property list of every kind") {
    Error error;
    auto v = PropertyList::parse(binaryPlist(), &error);
    REQUIRE(v.has_value());
    checkSample(*v);
}

TEST_CASE("PropertyList: reads an XML property list of every kind") {
    const char* xml = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
  <key>name</key><string>Ruzave</string>
  <key>count</key><integer>42</integer>
  <key>neg</key><integer>-7</integer>
  <key>ratio</key><real>0.25</real>
  <key>on</key><true/>
  <key>when</key><date>2013-01-01T00:00:00Z</date>
  <key>blob</key><data>AAH+</data>
  <key>list</key><array><integer>1</integer><string>two</string><dict><key>three</key><integer>3</integer></dict></array>
</dict>
</plist>)";
    auto v = PropertyList::parse(xml);
    REQUIRE(v.has_value());
    checkSample(*v);
}

TEST_CASE("PropertyList: garbage, truncation and empty input give an error") {
    for (std::string_view bad : {std::string_view(""), std::string_view("hello world"),
                                 std::string_view("<plist><dict><key>a</key>"),
                                 std::string_view("bplist00\xff\x01"), binaryPlist().substr(0, 120)}) {
        Error error;
        CAPTURE(bad.size());
        CHECK_FALSE(PropertyList::parse(bad, &error).has_value());
        CHECK_FALSE(error.empty());
    }
}

TEST_CASE("PropertyList: a value written as XML reads back the same") {
    Value original = {{"s", "text & <markup>"},
                      {"i", -12},
                      {"d", 2.5},
                      {"b", false},
                      {"bytes", Value::binary({1, 2, 3})},
                      {"nested", {{"list", {1, "x"}}}}};
    auto xml = PropertyList::toXML(original);
    REQUIRE(xml.has_value());
    auto back = PropertyList::parse(*xml);
    REQUIRE(back.has_value());
    CHECK((*back)["s"] == "text & <markup>");
    CHECK((*back)["i"].get<long long>() == -12);
    CHECK((*back)["d"].get<double>() == doctest::Approx(2.5));
    CHECK((*back)["b"] == false);
    CHECK((*back)["bytes"] == Value::binary({1, 2, 3}));
    CHECK((*back)["nested"]["list"][1] == "x");
}

TEST_CASE("PropertyList: null has no property-list form") {
    Error error;
    CHECK_FALSE(PropertyList::toXML(Value{{"a", {1, nullptr}}}, &error).has_value());
    CHECK_FALSE(error.empty());
}

namespace {

template <std::size_t N>
std::string_view bytesOf(const char (&literal)[N]) {
    return {literal, N - 1};
}

// ["é\0y"]: a UTF-16 string holding U+0000.
const char kUTF16StringWithNUL[] =
    "\x62\x70\x6c\x69\x73\x74\x30\x30\xa1\x01\x63\x00\xe9\x00\x00\x00\x79\x08\x0a\x00\x00\x00\x00\x00\x00\x01"
    "\x01\x00\x00\x00\x00\x00\x00\x00\x02\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x11";
// {"ok":{"é\0b":1}}: a UTF-16 key holding U+0000, one level down.
const char kUTF16KeyWithNUL[] =
    "\x62\x70\x6c\x69\x73\x74\x30\x30\xd1\x01\x02\x52\x6f\x6b\xd1\x03\x04\x63\x00\xe9\x00\x00\x00\x62\x10\x01"
    "\x08\x0b\x0e\x11\x18\x00\x00\x00\x00\x00\x00\x01\x01\x00\x00\x00\x00\x00\x00\x00\x05\x00\x00\x00\x00\x00"
    "\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x1a";
// {"a\0b":"x"}: an ASCII key holding a zero byte.
const char kASCIIKeyWithNUL[] =
    "\x62\x70\x6c\x69\x73\x74\x30\x30\xd1\x01\x02\x53\x61\x00\x62\x51\x78\x08\x0b\x0f\x00\x00\x00\x00\x00\x00"
    "\x01\x01\x00\x00\x00\x00\x00\x00\x00\x03\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x11";
// {"é" + 18 × "x" + "\0": 1}: the NUL is the 20th unit of a key whose length needs its own integer.
const char kLongKeyWithNUL[] =
    "\x62\x70\x6c\x69\x73\x74\x30\x30\xd1\x01\x02\x6f\x10\x14\x00\xe9\x00\x78\x00\x78\x00\x78\x00\x78\x00\x78"
    "\x00\x78\x00\x78\x00\x78\x00\x78\x00\x78\x00\x78\x00\x78\x00\x78\x00\x78\x00\x78\x00\x78\x00\x78\x00\x78"
    "\x00\x00\x10\x01\x08\x0b\x36\x00\x00\x00\x00\x00\x00\x01\x01\x00\x00\x00\x00\x00\x00\x00\x03\x00\x00\x00"
    "\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x38";
// {"é" + 18 × "x" + "y": "é\0"}: the same long key without NUL, its value holding one.
const char kLongKeyStringWithNUL[] =
    "\x62\x70\x6c\x69\x73\x74\x30\x30\xd1\x01\x02\x6f\x10\x14\x00\xe9\x00\x78\x00\x78\x00\x78\x00\x78\x00\x78"
    "\x00\x78\x00\x78\x00\x78\x00\x78\x00\x78\x00\x78\x00\x78\x00\x78\x00\x78\x00\x78\x00\x78\x00\x78\x00\x78"
    "\x00\x79\x62\x00\xe9\x00\x00\x08\x0b\x36\x00\x00\x00\x00\x00\x00\x01\x01\x00\x00\x00\x00\x00\x00\x00\x03"
    "\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x3b";

// A fuzzed list whose dictionaries name keys laid over the header: the library would read a key with a
// NUL from there.
const char kKeyOverHeader[] =
    "\x62\x70\x6c\x69\x73\x74\x30\x30\xd9\x01\x02\x03\x04\x05\x06\x7a\x07\xc5\x01\x00\x00\x00\x00\x00\x00\x60"
    "\xd7\xd7\xd7\xd7\xd7\xd7\xd7\xd7\xd7\xd7\xd7\xd7\xd7\xd7\xd7\xd7\xd7\xd7\xd7\xd7\xd7\xd7\xd7\xd7\xd7\xd7"
    "\xd7\xd7\xd7\xd7\xd7\xd7\xd7\xd7\xd7\xd7\xd7\xd7\xd7\xd3\xd7\xd7\xd7\xd7\xd7\xd7\xd7\xd7\xd7\xd7\xd7\xd7"
    "\xd7\xd7\xd7\xd7\xd7\xd7\xd7\xd7\xd7\xd7\xd7\xd7\xd7\xd7\xd7\xd7\xd7\xd7\xd7\xd7\xd7\xd7\xd7\xd7\xd7\x67"
    "\x51\x64\x51\x69\x51\x72\x51\x73\x51\x74\x51\x75\xa2\x0b\x0c\xed\xed\xed\xed\x13\xff\xff\xff\xff\xff\xff"
    "\xff\xf9\x23\x3f\xd0\x00\x00\x00\x00\x00\x00\x54\x76\x65\x5d\x5d\x3e\x41\xc1\xde\xca\x92\x80\x00\x00\x62"
    "\x00\xe9\x4e\x2d\x08\x1b\x1d\x1f\x23\x25\x27\x29\x2b\x2d\x2f\x32\x80\x00\x00\x62\x00\xe9\x4e\x2d\x08\x1b"
    "\x1d\x1f\x23\x80\x00\x00\x62\x00\xe9\x4e\x2d\x08\x1b\x1d\x1f\x23\x25\x27\x29\x2b\x2d\x2f\x32\x80\x00\x00"
    "\x62\x00\xe9\x4e\x2d\x08\x1b\x1d\x1f\x23\x25\x27\x29\x0c\x10\x01\xa2\x0d\x0e\x10\x02\xa1\x0f\x10\x03\x08"
    "\xed\xed\xed\xed\xed\xed\x13\xff\xff\xff\xff\xff\xff\xff\xf9\x23\x3f\xd0\x00\x00\x00\x00\x00\x00\x54\x76"
    "\x65\x5d\x5d\x3e\x41\xc1\xde\xca\x5b\x92\x80\x00\x00\x62\x00\xe9\x4e\x2d\x08\x1b\x1d\x1f\x23\x25\x27\x29"
    "\x2b\x2d\x2f\x32\x80\x00\x00\x62\x00\xe9\x4e\x2d\x08\x1b\x1d\x1f\x23\x25\x27\x29\x2b\x2d\x2f\x32\x34\x37"
    "\x3d\x3b\x3d\x3e\x47\x25\x27\x29\x0c\x10\x01\xa2\x0d\x0e\x10\x02\xa1\x0f\x10\x03\x08\xed\xed\xed\xed\xed"
    "\xed\x13\xff\xff\xff\xff\xff\xff\xff\xf9\x23\x3f\xd0\x00\x00\x00\x00\x00\x00\x54\x76\x65\x5d\x5d\x3e\x41"
    "\xc1\xde\xca\x5b\x92\x80\x00\x00\x62\x00\xe9\x4e\x2d\x08\x1b\x1d\x1f\x23\x25\x27\x29\x2b\x2d\x2f\x32\x80"
    "\x00\x00\x62\x00\xe9\x4e\x2d\x08\x1b\x1d\x1f\x23\x25\x27\x29\x2b\x2d\x2f\x32\x34\x37\x3d\x3b\x3d\x3e\x47"
    "\x4b\x54\x5d\x62\x6b\x00\x00\x00\x00\x00\x00\x01\x01\x00\x00\x00\x00\x00\x00\x00\xe5\x00\x00\x00\x00\x00"
    "\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x70";

} // namespace

TEST_CASE("PropertyList: a binary string holding U+0000 reads whole, by its stored length") {
    auto list = PropertyList::parse(bytesOf(kUTF16StringWithNUL));
    REQUIRE(list.has_value());
    REQUIRE(list->is_array());
    CHECK((*list)[0] == std::string("\xc3\xa9\0y", 4));

    auto dict = PropertyList::parse(bytesOf(kLongKeyStringWithNUL));
    REQUIRE(dict.has_value());
    CHECK((*dict)["\xc3\xa9" + std::string(18, 'x') + "y"] == std::string("\xc3\xa9\0", 3));
}

TEST_CASE("PropertyList: a binary key holding NUL is refused with the parse error") {
    for (std::string_view bad : {bytesOf(kUTF16KeyWithNUL), bytesOf(kASCIIKeyWithNUL), bytesOf(kLongKeyWithNUL),
                                 bytesOf(kKeyOverHeader)}) {
        CAPTURE(bad.size());
        Error error;
        CHECK_FALSE(PropertyList::parse(bad, &error).has_value());
        CHECK(error.code == 2);
    }
}

TEST_CASE("PropertyList: NUL inside an XML string or key is refused, a trailing terminator is not") {
    for (std::string_view bad : {bytesOf("<plist><string>a\0b</string></plist>"),
                                 bytesOf("<plist><dict><key>a\0b</key><string>x</string></dict></plist>"),
                                 bytesOf("<plist><dict><key>a</key><string>x</string></dict></plist>\0<x/>"),
                                 bytesOf("\0")}) {
        CAPTURE(bad.size());
        Error error;
        CHECK_FALSE(PropertyList::parse(bad, &error).has_value());
        CHECK_FALSE(error.empty());
    }
    auto terminated = PropertyList::parse(bytesOf("<plist><dict><key>a</key><string>x</string></dict></plist>\0"));
    REQUIRE(terminated.has_value());
    CHECK((*terminated)["a"] == "x");
}
