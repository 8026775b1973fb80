// The maker's service information and the two commands that use it: the
// stock recommendations and the version update. The values are fetched once
// per run from the quote server, after the first successful refresh cycle,
// and read strictly, so that a damaged reply leaves the start values.
#include "app/ServiceInfo.h"

#include "alerts/AlertDelivery.h"
#include "common/DialogSupport.h"
#include "common/ProgramState.h"
#include "common/ShellState.h"
#include "net/HttpFetch.h"

#include <cstdlib>
#include <string_view>

double LatestVersion = 1.0;
std::string PackageLocation;
std::string RecommendText;
std::vector<std::string> NoticeTexts;

namespace {

const char16_t kAlreadyLatestText[] = u"您现在的版本是2.0。已经是最新版本，不需要更新！";

constexpr const char* kMagicLine = "STOCKAT-SERVICE 1";
constexpr const char* kLineEnd = "\r\n";
constexpr const char* kRecommendMarker = "[e]";

// Set once the service information was asked for in this run.
bool serviceInfoRequested = false;

// Finds `marker` (plain ASCII) in GBK text from `from`, stepping over
// double-byte characters whole, so that the trail byte of a Chinese
// character followed by "e]" is not taken for a marker.
size_t FindInGbk(const std::string& text, const char* marker, size_t from) {
    std::string_view needle(marker);
    size_t i = 0;
    while (i < text.size()) {
        if (i >= from && text.compare(i, needle.size(), needle) == 0) {
            return i;
        }
        auto byte = static_cast<unsigned char>(text[i]);
        i += (byte >= 0x81 && byte <= 0xFE && i + 1 < text.size()) ? 2 : 1;
    }
    return std::string::npos;
}

// The length in UTF-8 of a GBK text. The reply reaches the program in GBK
// whichever encoding the server wrote it in, so the END line's count may
// have been made over either form; both tell a cut or padded text.
size_t Utf8Length(std::string_view gbk) {
    if (gbk.empty()) {
        return 0;
    }
    int units =
        MultiByteToWideChar(CP_ACP, 0, gbk.data(), static_cast<int>(gbk.size()), nullptr, 0);
    if (units <= 0) {
        return std::string::npos;
    }
    std::u16string wide(static_cast<size_t>(units), u'\0');
    MultiByteToWideChar(CP_ACP, 0, gbk.data(), static_cast<int>(gbk.size()), wide.data(), units);
    int bytes = WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, nullptr, 0, nullptr, nullptr);
    return bytes > 0 ? static_cast<size_t>(bytes) : std::string::npos;
}

bool AllDigits(std::string_view text) {
    if (text.empty()) {
        return false;
    }
    for (char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return true;
}

// A version number: digits, optionally a point and more digits.
std::optional<double> ReadVersion(std::string_view text) {
    size_t point = text.find('.');
    std::string_view whole = text.substr(0, point);
    if (!AllDigits(whole) || whole.size() > 6) {
        return std::nullopt;
    }
    if (point != std::string_view::npos) {
        std::string_view fraction = text.substr(point + 1);
        if (!AllDigits(fraction) || fraction.size() > 6) {
            return std::nullopt;
        }
    }
    return std::strtod(std::string(text).c_str(), nullptr);
}

// The package location is handed to the desktop's opener, so only a plain
// web address is taken: http:// or https://, printable ASCII, no blanks.
bool IsWebAddress(std::string_view text) {
    bool web = text.starts_with("http://") || text.starts_with("https://");
    if (!web) {
        return false;
    }
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7F) {
            return false;
        }
    }
    return true;
}

// A text line of the report: no control bytes other than the tab.
bool IsTextLine(std::string_view text) {
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 && c != '\t') || byte == 0x7F) {
            return false;
        }
    }
    return true;
}

} // namespace

std::optional<ServiceReport> ParseServiceReply(const std::string& reply) {
    // A "200 OK" status line, then the headers up to the empty line.
    size_t statusEnd = reply.find(kLineEnd);
    if (statusEnd == std::string::npos || !reply.starts_with("HTTP/1.") ||
        reply.substr(0, statusEnd).find(" 200 OK") == std::string::npos) {
        return std::nullopt;
    }
    size_t headersEnd = reply.find("\r\n\r\n");
    if (headersEnd == std::string::npos) {
        return std::nullopt;
    }
    std::string_view body(reply);
    body.remove_prefix(headersEnd + 4);

    ServiceReport report;
    bool haveVersion = false;
    bool havePackage = false;
    bool haveRecommend = false;
    size_t pos = 0;
    bool first = true;
    while (true) {
        size_t end = body.find(kLineEnd, pos);
        if (end == std::string_view::npos) {
            return std::nullopt; // the END line never came
        }
        std::string_view line = body.substr(pos, end - pos);
        size_t next = end + 2;
        if (first) {
            if (line != kMagicLine) {
                return std::nullopt;
            }
            first = false;
        } else if (line.starts_with("END ")) {
            // The count of the bytes before the END line, and nothing after.
            std::string_view count = line.substr(4);
            if (!AllDigits(count) || count.size() > 6 || next != body.size()) {
                return std::nullopt;
            }
            size_t counted = std::strtoul(std::string(count).c_str(), nullptr, 10);
            if (counted != pos && counted != Utf8Length(body.substr(0, pos))) {
                return std::nullopt;
            }
            break;
        } else {
            size_t eq = line.find('=');
            if (eq == std::string_view::npos || !IsTextLine(line)) {
                return std::nullopt;
            }
            std::string_view key = line.substr(0, eq);
            std::string_view value = line.substr(eq + 1);
            if (key == "version" && !haveVersion) {
                auto version = ReadVersion(value);
                if (!version) {
                    return std::nullopt;
                }
                report.version = *version;
                haveVersion = true;
            } else if (key == "package" && !havePackage) {
                if (!value.empty() && !IsWebAddress(value)) {
                    return std::nullopt;
                }
                report.package = value;
                havePackage = true;
            } else if (key == "recommend" && !haveRecommend) {
                report.recommend = value;
                haveRecommend = true;
            } else if (key == "notice") {
                if (!value.empty() && static_cast<int>(report.notices.size()) < kMaxNotices) {
                    report.notices.emplace_back(value);
                }
            } else if (key == "version" || key == "package" || key == "recommend" || key.empty()) {
                return std::nullopt; // a repeated line, or no key at all
            }
            // Other keys belong to later versions of the format and are
            // skipped.
        }
        pos = next;
    }
    // A newer version is of use only with a package to fetch it from.
    if (!haveVersion || (report.version > kProgramVersion && report.package.empty())) {
        return std::nullopt;
    }
    return report;
}

std::string RecommendationLines(const std::string& text) {
    size_t marker = FindInGbk(text, kRecommendMarker, 0);
    if (marker == std::string::npos) {
        return text;
    }
    std::string lines = text.substr(0, marker);
    size_t from = marker + 3;
    while (true) {
        size_t next = FindInGbk(text, kRecommendMarker, from);
        if (next == std::string::npos) {
            break;
        }
        lines += kLineEnd;
        lines += text.substr(from, next - from);
        from = next + 3;
    }
    return lines;
}

void ShowRecommendations() {
    ShowMessageText(AnsiToWide(RecommendationLines(RecommendText)).c_str());
}

void RunVersionUpdate() {
    if (LatestVersion > kProgramVersion) {
        std::u16string location = AnsiToWide(PackageLocation);
        SHELLEXECUTEINFO info{};
        info.cbSize = sizeof(info);
        info.fMask = SEE_MASK_NOCLOSEPROCESS;
        info.hwnd = Shell.mainWindow;
        info.lpVerb = u"open";
        info.lpFile = location.c_str();
        info.lpParameters = nullptr;
        info.lpDirectory = nullptr;
        info.nShow = SW_SHOW;
        // A failed open is not reported; the program goes on either way.
        if (ShellExecuteEx(&info) && info.hProcess != nullptr) {
            CloseHandle(info.hProcess);
        }
        return;
    }
    ShowMessageText(kAlreadyLatestText);
}

void OnRefreshCycleSucceeded() {
    if (serviceInfoRequested) {
        return;
    }
    serviceInfoRequested = true;
    // The request is the quote server's usual one with the service path in
    // its request line, so that it names the same host and headers.
    std::string request = BuildMarketIndexRequest();
    size_t pathStart = request.find(' ');
    size_t pathEnd = pathStart == std::string::npos ? pathStart : request.find(' ', pathStart + 1);
    if (pathEnd == std::string::npos) {
        return;
    }
    request.replace(pathStart + 1, pathEnd - pathStart - 1, kServiceInfoPath);
    if (EstablishConnection() == -1 || HttpFetch(request) == -1) {
        return;
    }
    std::optional<ServiceReport> report = ParseServiceReply(LastReply);
    if (!report) {
        return;
    }
    LatestVersion = report->version;
    PackageLocation = report->package;
    RecommendText = report->recommend;
    NoticeTexts = report->notices;
    for (const std::string& notice : NoticeTexts) {
        ShowNoticeBubble(notice);
    }
}

namespace {

// The reported values and the once-a-run flag go back to their start with
// the rest of the program's state.
[[maybe_unused]] const bool kStateResetRegistered = RegisterStateReset([] {
    serviceInfoRequested = false;
    LatestVersion = 1.0;
    PackageLocation.clear();
    RecommendText.clear();
    NoticeTexts.clear();
});

} // namespace
