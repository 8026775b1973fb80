// Renders the maker's service text (format in ServiceInfo.h).
#include "server/ServiceInfo.h"

#include "server/Gbk.h"
#include "server/Pages.h"

namespace server {
namespace {

// One line "key=value\r\n" in GBK, or nothing when the value cannot be one.
std::optional<std::string> Line(std::string_view key, std::string_view value) {
    for (char c : value)
        if (c == '\r' || c == '\n' || c == '\0')
            return std::nullopt;
    std::optional<std::string> gbk = Utf8ToGbk(value);
    if (!gbk)
        return std::nullopt;
    return std::string(key) + "=" + *gbk + "\r\n";
}

} // namespace

bool IsDecimalVersion(std::string_view text) {
    size_t dot = text.find('.');
    std::string_view whole = text.substr(0, dot);
    std::string_view fraction = dot == std::string_view::npos ? "" : text.substr(dot + 1);
    auto digits = [](std::string_view s) {
        for (char c : s)
            if (c < '0' || c > '9')
                return false;
        return true;
    };
    if (whole.empty() || whole.size() > 9 || !digits(whole) || !digits(fraction))
        return false;
    return dot == std::string_view::npos || (!fraction.empty() && fraction.size() <= 9);
}

std::optional<std::string> RenderServiceInfo(const ServiceInfo& info) {
    if (!IsDecimalVersion(info.latestVersion))
        return std::nullopt;
    std::string text = std::string(kServiceFirstLine) + "\r\n";
    std::vector<std::pair<std::string_view, std::string_view>> lines = {
        {"version", info.latestVersion},
        {"package", info.packageUrl},
        {"recommend", info.recommend},
    };
    for (const std::string& notice : info.notices)
        lines.emplace_back("notice", notice);
    for (const auto& [key, value] : lines) {
        std::optional<std::string> line = Line(key, value);
        if (!line)
            return std::nullopt;
        text += *line;
    }
    text += "END " + std::to_string(text.size()) + "\r\n";
    return text;
}

std::string ServiceInfoReply(std::string_view gbkText) {
    return OkReply(kServiceContentType, GbkToUtf8(gbkText).value_or(std::string()));
}

} // namespace server
