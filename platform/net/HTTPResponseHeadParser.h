#pragma once
// Reads an HTTP response head one line at a time, as the transfer library hands the lines over (each
// with its line end): the status line, fields, obsolete folded continuations and the blank line that
// ends the head. Interim (1xx) heads are read and dropped; the first final head is reported. A plain
// value, one per exchange; the network thread uses it, tests and fuzzers call it directly.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/net/HTTPHeaderFields.h"

namespace platform {

class HTTPResponseHeadParser {
  public:
    // Reads one line. True when it ended the first final head (status 200 or more); status() and
    // takeFields() then give that head, and later lines (trailers, a second head) are ignored.
    bool addLine(std::string_view line);

    // The status of the head being read: 0 before a status line, or when it carries no code.
    int status() const { return status_; }
    // The fields read so far, handed over; the parser keeps none of them.
    HTTPHeaderFields takeFields();
    bool headComplete() const { return complete_; }

    // Field lines kept per head; a server sending more is cut off there rather than growing memory.
    static constexpr std::size_t kMaximumFields = 1000;
    // Folded continuations stop being appended to a value once it is this long.
    static constexpr std::size_t kMaximumFoldedValue = 65536;

  private:
    int status_ = 0;
    bool complete_ = false;
    std::vector<HTTPHeaderFields::Field> fields_;
};

} // namespace platform
