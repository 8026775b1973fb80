// Renders the quote site's pages. The byte layout that the client's parser
// depends on is described in Pages.h; every piece of markup between a marker
// and its value below has a fixed length, and tests hold the offsets.
#include "server/Pages.h"

#include "platform/Html.h"

#include <cstdio>
#include <cstdlib>

namespace server {
namespace {

// The colour of a change: always "#" and three digits, so that the markup
// before a value keeps its length.
const char* Colour(std::int64_t change) {
    if (change > 0)
        return "#f00";
    if (change < 0)
        return "#080";
    return "#000";
}

// Class of an index line: always "idx-" and two letters. The "-" in it also
// makes the client take the value after the fixed 29-byte lead-in when the
// index is unchanged and the value carries no sign.
const char* IndexClass(std::int64_t change) {
    if (change > 0)
        return "idx-up";
    if (change < 0)
        return "idx-dn";
    return "idx-eq";
}

// 28 bytes of markup that put a value 35 bytes after a three-character
// marker followed by ":".
std::string ValueLead(std::int64_t change) {
    return std::string("<span style=\"color:") + Colour(change) + "\"><b>";
}

const char* kHead = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                    "<!DOCTYPE html PUBLIC \"-//WAPFORUM//DTD XHTML Mobile 1.0//EN\" "
                    "\"http://www.wapforum.org/DTD/xhtml-mobile10.dtd\">\n"
                    "<html xmlns=\"http://www.w3.org/1999/xhtml\">\n"
                    "<head><meta http-equiv=\"Content-Type\" content=\"text/html; "
                    "charset=utf-8\"/><title>股票行情</title></head>\n"
                    "<body>\n";

const char* kFoot = "<p><a href=\"sh_stockquery.php?vt=2\">沪市大盘</a> "
                    "<a href=\"sz_stockquery.php?vt=2\">深市大盘</a></p>\n"
                    "</body>\n</html>\n";

std::string IndexLine(std::string_view label, const IndexQuote& index) {
    std::int64_t change = index.latest - index.previousClose;
    // An index that has not opened yet stands at its previous close.
    if (index.phase == MarketPhase::PreOpen)
        change = 0;
    return std::string(label) + "<span class=\"" + IndexClass(change) + "\"><b>" +
           FormatHundredths(index.latest) + " " + FormatPercent(change, index.previousClose) +
           "</b></span><br/>\n";
}

} // namespace

std::string FormatDecimal(std::int64_t value, int decimals) {
    const bool thousandths = decimals == 3;
    const std::uint64_t unit = thousandths ? 1000 : 100;
    std::string sign = value < 0 ? "-" : "";
    std::uint64_t magnitude =
        value < 0 ? std::uint64_t(0) - std::uint64_t(value) : std::uint64_t(value);
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, thousandths ? "%s%llu.%03llu" : "%s%llu.%02llu",
                  sign.c_str(), static_cast<unsigned long long>(magnitude / unit),
                  static_cast<unsigned long long>(magnitude % unit));
    return buffer;
}

std::string FormatHundredths(std::int64_t value) {
    return FormatDecimal(value, 2);
}

// g++ 12 at -O3 takes this inlined string concatenation for an overlapping copy: a known false
// -Wrestrict of its string code.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
#endif
std::string FormatSignedDecimal(std::int64_t value, int decimals) {
    if (value > 0)
        return "+" + FormatDecimal(value, decimals);
    return FormatDecimal(value, decimals);
}

std::string FormatSignedHundredths(std::int64_t value) {
    return FormatSignedDecimal(value, 2);
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

std::string FormatPercent(std::int64_t change, std::int64_t base) {
    if (base <= 0)
        return "0.00%";
    // Hundredths of a percent, rounded half away from zero.
    long double exact = static_cast<long double>(change) * 10000.0L / base;
    auto rounded = static_cast<std::int64_t>(exact < 0 ? exact - 0.5L : exact + 0.5L);
    return FormatSignedHundredths(rounded) + "%";
}

std::string FormatStamp(const platform::LocalTime& time) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%02d-%02d %02d:%02d:%02d", time.month % 100,
                  time.day % 100, time.hour % 100, time.minute % 100, time.second % 100);
    return buffer;
}

std::string RenderStockPage(const StockQuote& stock, const IndexQuote& sh, const IndexQuote& sz,
                            const platform::LocalTime& stamp) {
    const bool preOpen = stock.phase == MarketPhase::PreOpen;
    const std::int64_t change = preOpen ? 0 : stock.latest - stock.previousClose;
    std::string page = kHead;
    const int d = stock.decimals;
    page += "<p>股票名称:" + platform::html::Escape(stock.name) + "<br/>\n";
    page += "股票代码:" + platform::html::Escape(stock.code) + "<br/>\n";
    if (!stock.currency.empty())
        page += "币种:" + platform::html::Escape(stock.currency) + "<br/>\n";
    if (stock.phase == MarketPhase::Closed) {
        // 22 bytes between "当前价:" and the price, "(昨收)" among them.
        page += "当前价:<span>(昨收)</span><b>" + FormatDecimal(stock.latest, d) + "元</b><br/>\n";
    } else {
        page +=
            "当前价:" + ValueLead(change) + FormatDecimal(stock.latest, d) + "元</b></span><br/>\n";
    }
    page += "涨跌幅:" + ValueLead(change) + FormatPercent(change, stock.previousClose) +
            "</b></span><br/>\n";
    page += "涨跌额:" + ValueLead(change) + FormatSignedDecimal(change, d) + "元</b></span><br/>\n";
    page += "昨收盘:" + FormatDecimal(stock.previousClose, d) + "元<br/>\n";
    page += "今开盘:" + FormatDecimal(stock.open, d) + "元<br/>\n";
    page += "最高价:" + FormatDecimal(stock.high, d) + "元<br/>\n";
    page += "最低价:" + FormatDecimal(stock.low, d) + "元<br/>\n";
    page += "成交量:" + std::to_string(stock.volume) + "股<br/>\n";
    page += "成交额:" + std::to_string(stock.turnover) + "元<br/>\n";
    page += "更新时间:" + FormatStamp(stamp) + "</p>\n";
    page += "<p>" + IndexLine("上证指数:", sh) + IndexLine("深成指数:", sz) + "</p>\n";
    page += "<p><a href=\"stockquery.php?code=" + platform::html::Escape(stock.code) +
            "&amp;vt=2\">刷新</a></p>\n";
    page += kFoot;
    return page;
}

std::string RenderIndexPage(const IndexQuote& index, const platform::LocalTime& stamp) {
    const bool preOpen = index.phase == MarketPhase::PreOpen;
    const std::int64_t change = preOpen ? 0 : index.latest - index.previousClose;
    std::string page = kHead;
    page += "<p>名 称:" + platform::html::Escape(index.name) + "<br/>\n";
    page += "最 新:" + FormatHundredths(index.latest) + "<br/>\n";
    page += "昨 收:" + FormatHundredths(index.previousClose) + "<br/>\n";
    // Before the open there is no open value yet: the page says "0".
    page += "今 开:" + (preOpen ? std::string("0") : FormatHundredths(index.open)) + "<br/>\n";
    page += "最 低:" + FormatHundredths(index.low) + "<br/>\n";
    page += "最 高:" + FormatHundredths(index.high) + "<br/>\n";
    page += "涨跌额:" + ValueLead(change) + FormatSignedHundredths(change) + "</b></span><br/>\n";
    page += "涨跌幅:" + ValueLead(change) + FormatPercent(change, index.previousClose) +
            "</b></span><br/>\n";
    page += "成交量:" + std::to_string(index.volume) + "手<br/>\n";
    page += "成交额:" + FormatHundredths(index.turnover) + "亿元</p>\n";
    page += "<p>" + std::string(kSiteDomain) + "[" + FormatStamp(stamp) + "]</p>\n";
    page += kFoot;
    return page;
}

std::string RenderNotFoundPage(std::string_view code) {
    bool sixDigits = code.size() == 6;
    for (char c : code)
        sixDigits = sixDigits && c >= '0' && c <= '9';
    std::string page = kHead;
    page += "<p>没有找到";
    if (sixDigits)
        page += "代码为" + std::string(code) + "的";
    page += "股票，请检查股票代码。</p>\n";
    page += kFoot;
    return page;
}

std::string OkReply(std::string_view contentType, std::string_view body) {
    std::string reply = "HTTP/1.1 200 OK\r\nContent-Type: ";
    reply += contentType;
    reply += "\r\nContent-Length: " + std::to_string(body.size()) +
             "\r\n"
             "Connection: close\r\n"
             "\r\n";
    reply += body;
    return reply;
}

std::string HtmlReply(std::string_view body) {
    return OkReply("text/html; charset=utf-8", body);
}

std::string StockPageReply(const StockQuote& stock, const IndexQuote& sh, const IndexQuote& sz,
                           const platform::LocalTime& stamp) {
    return HtmlReply(RenderStockPage(stock, sh, sz, stamp));
}

std::string IndexPageReply(const IndexQuote& index, const platform::LocalTime& stamp) {
    return HtmlReply(RenderIndexPage(index, stamp));
}

std::string NotFoundPageReply(std::string_view code) {
    return HtmlReply(RenderNotFoundPage(code));
}

} // namespace server
