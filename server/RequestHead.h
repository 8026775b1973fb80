// The quote server's reader of request heads. The server answers GET and
// HEAD of a few pages and nothing else, so it reads a head strictly and
// refuses, before any worker is involved, whatever it would otherwise have to
// wait for (a body, an expectation of "100 Continue") or read loosely (lines
// ending in a bare line feed, folded header lines, an unknown version).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace server {

// Why a head was refused; None for a request the server answers.
enum class Refusal {
    None,
    BadHead,      // 400: not a well-formed HTTP/1.x head
    TooLarge,     // 431: beyond the head limit
    Method,       // 405: neither GET nor HEAD
    Body,         // 413: announces a body (Content-Length > 0, Transfer-Encoding)
    Expectation,  // 417: an Expect header
    Version,      // 505: an HTTP version other than 1.0 and 1.1
    HeadDeadline, // the head did not arrive in time (closed without a reply)
};
constexpr std::size_t kRefusalKinds = 8;
// The status a refusal is answered with (0 for None and HeadDeadline).
int RefusalStatus(Refusal refusal);
// A short name for logs: "bad head", "method", ...
std::string_view RefusalName(Refusal refusal);

// Where a head ends in `data`, looking at the bytes from `from` on (the
// bytes before it were looked at before and held no line feed without its
// carriage return).
struct HeadScan {
    std::size_t end = 0;       // just past "\r\n\r\n"; 0 while the head goes on
    bool bareLineFeed = false; // a line feed without its carriage return
};
HeadScan ScanHead(std::string_view data, std::size_t from = 0);

struct RequestHead {
    Refusal refusal = Refusal::None;
    bool headOnly = false; // HEAD: the reply without its body
    std::string path;      // percent-decoded, without the query
    std::string code;      // the query's first "code" value, decoded; "" when absent
};
// Reads a whole head, `head` ending in its blank line (see ScanHead).
RequestHead ParseRequestHead(std::string_view head);

// `text` with %XX sequences decoded (and '+' as a space when `plusIsSpace`);
// a '%' without two hex digits stays as it is.
std::string DecodePercent(std::string_view text, bool plusIsSpace);

} // namespace server
