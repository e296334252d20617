#include <doctest/doctest.h>

#include "platform/base/Log.h"

using platform::escapeLogText;

TEST_CASE("Log: escapeLogText stops at the control ranges' edges, replaces ill-formed UTF-8, and is idempotent") {
    CHECK(escapeLogText("caf\xc3\xa9 \xe2\x82\xac") == "caf\xc3\xa9 \xe2\x82\xac");
    CHECK(escapeLogText("\x1f \x7e\x7f") == "\\x1f ~\\x7f");
    // U+009F is the last C1 control; U+00A0 is not one.
    CHECK(escapeLogText("\xc2\x80|\xc2\x9f|\xc2\xa0") == "\\u0080|\\u009f|\xc2\xa0");
    // A lone 8-bit CSI byte and a truncated sequence never reach a terminal as they are.
    CHECK(escapeLogText("a\x9b" "b\xe2\x80") == "a\xef\xbf\xbd" "b\xef\xbf\xbd");
    const std::string once = escapeLogText("x\ny\x1b\xc2\x85\\n");
    CHECK(once == "x\\ny\\x1b\\u0085\\n");
    CHECK(escapeLogText(once) == once);
}
