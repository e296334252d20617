#include <doctest/doctest.h>

#include "platform/base/Log.h"

using platform::escapeLogText;

TEST_CASE("Log: escapeLogText writes every C0 and C1 control, DEL and the line separators visibly") {
    CHECK(escapeLogText("plain text, caf\xc3\xa9 \xe2\x82\xac") == "plain text, caf\xc3\xa9 \xe2\x82\xac");
    CHECK(escapeLogText(std::string("a\0b", 3)) == "a\\x00b");
    CHECK(escapeLogText("\r\n\t\x1b[2J\x7f") == "\\r\\n\\t\\x1b[2J\\x7f");
    CHECK(escapeLogText("\x1f \x20") == "\\x1f  ");
    // U+0085 (NEL) and U+009F are controls; U+00A0 is not.
    CHECK(escapeLogText("\xc2\x85|\xc2\x9f|\xc2\xa0") == "\\u0085|\\u009f|\xc2\xa0");
    CHECK(escapeLogText("\xe2\x80\xa8\xe2\x80\xa9") == "\\u2028\\u2029");
}

TEST_CASE("Log: escapeLogText turns ill-formed UTF-8 into U+FFFD and changes nothing more a second time") {
    // A lone 8-bit CSI byte and a truncated sequence never reach a terminal as they are.
    const std::string once = escapeLogText("a\x9b" "b\xe2\x80");
    CHECK(once == "a\xef\xbf\xbd" "b\xef\xbf\xbd");
    const std::string mixed = escapeLogText("x\ny\x1b\xc2\x85");
    CHECK(escapeLogText(mixed) == mixed);
}
