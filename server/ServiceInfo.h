// The maker's service text: the latest version number, the update package
// location, the recommendation text and notice texts, served by the bundled
// quote server at kServicePath. The program holds it as GBK (code page 936)
// text; on the wire it travels in UTF-8 like the quote pages, because the
// program re-encodes every reply from UTF-8 to GBK when it arrives.
//
// Format, in its GBK form (every line ends with "\r\n"; values are
// single-line text):
//
//   STOCKAT-SERVICE 1
//   version=<decimal, e.g. 2.0>
//   package=<url, may be empty>
//   recommend=<text with [e] markers between its items, may be empty>
//   notice=<text>            (zero or more lines, one notice each)
//   END <n>
//
// where n is the decimal number of GBK bytes of everything before the END line:
// from the "S" of the first line up to and including the line feed before
// "END". A reader accepts the text only when it finds the first line at the
// start of the body, the END line last, and the byte count right, so a reply
// cut short, padded or mixed with other bytes is recognised as damaged
// rather than read as different values. Unknown "key=" lines are skipped by
// readers, so later versions can add keys.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace server {

inline constexpr std::string_view kServicePath = "/prog/wapsite/stock/service.php";
inline constexpr std::string_view kServiceFirstLine = "STOCKAT-SERVICE 1";
// The content type that the service text is sent with.
inline constexpr std::string_view kServiceContentType = "text/plain; charset=UTF-8";

// The values, as UTF-8 text.
struct ServiceInfo {
    std::string latestVersion = "2.0";
    std::string packageUrl;
    std::string recommend;
    std::vector<std::string> notices;
};

// Whether a text is a decimal number such as "2" or "2.1".
bool IsDecimalVersion(std::string_view text);

// The service text in GBK, or nothing when a value is not one line of text
// that GBK can write (a line break, a NUL, a character outside GBK) or the
// version is not a decimal number.
std::optional<std::string> RenderServiceInfo(const ServiceInfo& info);

// The complete "HTTP/1.1 200 OK" reply around a rendered service text, which
// it sends in UTF-8.
std::string ServiceInfoReply(std::string_view gbkText);

} // namespace server
