// Composition of the alert texts. The pieces are written here in UTF-16 and
// turned into the device's code page once, so that the 8-bit text is the
// one the record's fields (also GBK) are joined with.
#include "alerts/AlertTexts.h"

#include "alerts/AlertDelivery.h"
#include "common/DialogSupport.h"
#include "common/QuoteRecord.h"
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

void CopyToBuffer(const std::u16string& text, char16_t* buffer, int capacity) {
    if (capacity <= 0) {
        return;
    }
    size_t n = text.size();
    if (n > static_cast<size_t>(capacity - 1)) {
        n = static_cast<size_t>(capacity - 1);
        if (n > 0 && text[n - 1] >= 0xD800 && text[n - 1] <= 0xDBFF) {
            --n;
        }
    }
    text.copy(buffer, n);
    buffer[n] = 0;
}

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

void BuildSmsAlertText(const std::string& code, const std::string& name, const std::string& latest,
                       const std::string& sideValue, double target, const std::string& kind,
                       const std::string& updateTime) {
    CopyToBuffer(
        AnsiToWide(ComposeSmsAlertText(code, name, latest, sideValue, target, kind, updateTime)),
        SmsTextBuffer, kSmsTextBufferSize);
    CopyToBuffer(AnsiToWide(Settings.SmsPhone), SmsPhoneBuffer, kSmsPhoneBufferSize);
}

void BuildBubbleAlertHtml(const std::string& code, const std::string& name,
                          const std::string& latest, const std::string& sideValue, double target,
                          const std::string& kind, const std::string& updateTime) {
    ShowAlertBubble(
        ComposeBubbleAlertHtml(code, name, latest, sideValue, target, kind, updateTime));
}
