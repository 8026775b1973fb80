// Composition of the alert texts. The pieces are written here in UTF-16 and
// turned into the device's code page once, so that the 8-bit text is the
// one the record's fields (also GBK) are joined with.
#include "alerts/AlertTexts.h"

#include "common/DialogSupport.h"
#include "common/QuoteRecord.h"
#include "platform/Html.h"
#include "platform/Text.h"
#include "platform/win.h"

namespace {

// The three varying pieces of a kind's body.
struct KindPieces {
    const char* kind;
    const char16_t* level;   // which of the user's price levels
    const char16_t* reached; // how it was reached, up to "现价:"
    const char16_t* side;    // the side value's label
};

const KindPieces kKinds[] = {
    {"H", u"您设置的卖出价位", u"元已经达到，请及时操作！现价:", u"元，最高:"},
    {"L", u"您设置的买入价位", u"元已经达到，请及时操作！现价:", u"元，最低:"},
    {"HH", u"您设置的卖出价位", u"元今日最高价曾经达到，请参考！现价:", u"元，最高:"},
    {"LL", u"您设置的买入价位", u"元今日最低价曾经达到达到，请参考！现价:", u"元，最低:"},
};

const KindPieces* FindKind(const std::string& kind) {
    for (const KindPieces& k : kKinds) {
        if (kind == k.kind) {
            return &k;
        }
    }
    return nullptr;
}

std::string FormatTarget(double target) {
    return FormatDouble("%.2f", target);
}

// The body up to the update time, shared by both texts; the bubble
// underlines the target.
std::string Body(const KindPieces& k, const std::string& latest, const std::string& sideValue,
                 double target, const std::string& updateTime, bool underline) {
    std::string text = WideToAnsi(k.level);
    text += underline ? "<U>" : "";
    text += FormatTarget(target);
    text += underline ? "</U>" : "";
    text += WideToAnsi(k.reached);
    text += latest;
    text += WideToAnsi(k.side);
    text += sideValue;
    text += WideToAnsi(u"元 。[瞰市");
    text += updateTime;
    return text;
}

} // namespace

std::string ComposeSmsAlertText(const std::string& code, const std::string& name,
                                const std::string& latest, const std::string& sideValue,
                                double target, const std::string& kind,
                                const std::string& updateTime) {
    std::string text = name + "(" + code + ")" + WideToAnsi(u"：");
    if (const KindPieces* k = FindKind(kind)) {
        text += Body(*k, latest, sideValue, target, updateTime, false);
        text += "]";
    }
    return text;
}

std::string ComposeBubbleAlertHtml(const std::string& code, const std::string& name,
                                   const std::string& latest, const std::string& sideValue,
                                   double target, const std::string& kind,
                                   const std::string& updateTime) {
    std::string page = WideToAnsi(u"<html><body><form method=\"POST\" action=><p><font size=6 宋体 "
                                  u"color=\"#000080\"><b><strong>");
    page += name + "(" + code + ")</strong></b></font><br></br>";
    if (const KindPieces* k = FindKind(kind)) {
        page += Body(*k, latest, sideValue, target, updateTime, true);
    }
    page += "]</p><p align=right></p></body></html>";
    return page;
}

std::string ComposeNoticeHtml(const std::string& text) {
    std::string page =
        WideToAnsi(u"<html><body><form method=\"POST\" action=><p><font size=6 宋体 "
                   u"color=\"#0000FF\"><b><strong>温馨提示</strong></b></font><br></br>");
    page += text;
    page += "</p><p align=right></p></body></html>";
    return page;
}

std::string ComposePushFailureHtml(const std::string& channel, const std::string& reason) {
    std::string page =
        WideToAnsi(u"<html><body><form method=\"POST\" action=><p><font size=6 宋体 "
                   u"color=\"#0000FF\"><b><strong>推送失败</strong></b></font><br></br>");
    page += WideToAnsi(u"提醒未能通过推送通道 ");
    page += WideToAnsi(platform::Utf8ToUtf16(platform::html::Escape(channel)));
    page += WideToAnsi(u" 送达，已放弃发送。原因：");
    page += WideToAnsi(platform::Utf8ToUtf16(platform::html::Escape(reason)));
    page += WideToAnsi(u"。请检查 push.conf 中的设置，可用 stockat --push-test 测试。");
    page += "</p><p align=right></p></body></html>";
    return page;
}
