// What the maker's web server reports: the latest version, the package
// location, the recommendation text and notice texts; and the commands that
// use them.
//
// The program asks for them once per run, at the end of its first successful
// refresh cycle, from the quote server's service path. The reply is a small
// text that a damaged or foreign reply cannot pass for:
//
//   STOCKAT-SERVICE 1
//   version=<decimal number>
//   package=<http:// or https:// URL>        (optional)
//   recommend=<text, items separated by [e]> (optional)
//   notice=<text>                            (zero or more)
//   END <n>
//
// every line ending in CR LF, where n is the number of bytes before the END
// line and nothing follows it. Lines with other keys belong to later versions
// of the format and are skipped. Anything else leaves the start values:
// version 1.0 and empty texts.
#pragma once

#include <optional>
#include <string>
#include <vector>

// Shows the recommendation text, one item a line, in the message dialog.
void ShowRecommendations();
// Opens the package location when a newer version is reported, else says
// that this version is the latest.
void RunVersionUpdate();
// Called at the end of every successful refresh cycle; fetches the service
// information once per run.
void OnRefreshCycleSucceeded();

// The program's own version.
constexpr double kProgramVersion = 2.0;
// The latest version number (1.0 until the server reports one), the update
// package location, the recommendation text and the notice texts, as the
// server last reported them (8-bit GBK).
extern double LatestVersion;
extern std::string PackageLocation;
extern std::string RecommendText;
extern std::vector<std::string> NoticeTexts;

// Path of the service text on the quote server.
inline constexpr const char* kServiceInfoPath = "/prog/wapsite/stock/service.php";
// At most this many notices of one reply are shown.
constexpr int kMaxNotices = 5;

struct ServiceReport {
    double version = 1.0;
    std::string package;
    std::string recommend;
    std::vector<std::string> notices;
};
// Reads a whole reply (status line, headers and the service text, GBK) by
// the strict rules above; nothing when it does not follow them.
std::optional<ServiceReport> ParseServiceReply(const std::string& reply);

// The recommendation text as the message dialog shows it: the part before
// the first "[e]" (the whole text without a marker), then each part between
// two markers, joined with CR LF; what follows the last marker is not shown.
std::string RecommendationLines(const std::string& text);
