// Notification bubbles: the page turned into lines of text, shown in a
// framed box at the top of the screen until a key closes it or its time runs
// out; its soft keys post their commands to the bubble's sink. Every bubble
// is also sent on to the desktop's notifications.

#include "platform/Html.h"
#include "platform/ShellInternal.h"
#include "platform/desktop.h"
#include "platform/device.h"

#include <algorithm>

namespace platform::wm {

namespace shell {

namespace {

// The page as lines of text (read by html::Read): tags are dropped, except
// that <br> and <p> break lines and <b>, <strong> and <u> mark their text
// bold or underlined; runs of white space are one blank.
std::vector<RichLine> HtmlToLines(const std::u16string& html) {
    std::vector<RichLine> lines(1);
    int bold = 0;
    int underline = 0;
    bool lastSpace = true;
    auto newline = [&] {
        lines.emplace_back();
        lastSpace = true;
    };
    auto put = [&](char32_t c) {
        if (c == U' ') {
            if (lastSpace) {
                return;
            }
            lastSpace = true;
        } else {
            lastSpace = false;
        }
        lines.back().push_back(RichChar{c, bold > 0, underline > 0});
    };
    html::Handler handler;
    handler.tag = [&](const std::u16string& name, bool closing) {
        if (name == u"br") {
            if (!closing) {
                newline();
            }
        } else if (name == u"p") {
            if (!lines.back().empty()) {
                newline();
            }
        } else if (name == u"b" || name == u"strong") {
            bold += closing ? (bold > 0 ? -1 : 0) : 1;
        } else if (name == u"u") {
            underline += closing ? (underline > 0 ? -1 : 0) : 1;
        }
    };
    handler.text = [&](char32_t c, bool) {
        if (c == U'\r' || c == U'\n' || c == U'\t' || c == U' ') {
            put(U' ');
        } else if (c >= 0x20) {
            put(c);
        }
    };
    // An unfinished tag ends the page.
    html::Read(html, html::Unterminated::EndsPage, handler);
    // Blanks at the ends of lines and empty lines at the end say nothing.
    for (auto& line : lines) {
        while (!line.empty() && line.back().ch == U' ') {
            line.pop_back();
        }
    }
    while (lines.size() > 1 && lines.back().empty()) {
        lines.pop_back();
    }
    return lines;
}

std::vector<RichLine> WrapRich(const std::vector<RichLine>& lines, int width) {
    std::vector<RichLine> out;
    for (const auto& line : lines) {
        WrapLine(
            line, width, [](const RichChar& rc) { return rc.ch; }, &out);
    }
    return out;
}

CellRect BubbleBox(const Bubble& b, std::vector<RichLine>* wrapped) {
    auto& state = S();
    int width = std::max(std::min(state.cols - 2, 60), 10);
    int left = (state.cols - width) / 2;
    std::vector<RichLine> lines = WrapRich(b.lines, width - 4);
    int maxLines = std::max(state.rows - 6, 1);
    if (static_cast<int>(lines.size()) > maxLines) {
        lines.resize(static_cast<std::size_t>(maxLines));
    }
    if (wrapped != nullptr) {
        *wrapped = lines;
    }
    int height = static_cast<int>(lines.size()) + 3;
    return CellRect{left, 1, left + width, 1 + height};
}

} // namespace

std::vector<Bubble>& Bubbles() {
    static std::vector<Bubble> b;
    return b;
}

std::vector<observe::BubbleInfo>& BubbleLog() {
    static std::vector<observe::BubbleInfo> log;
    return log;
}

void DismissTopBubble() {
    auto& b = Bubbles();
    if (!b.empty()) {
        b.pop_back();
        MarkScreenDirty();
    }
}

void PressBubbleKey(int index) {
    auto& b = Bubbles();
    if (b.empty()) {
        return;
    }
    Bubble top = b.back();
    DismissTopBubble();
    const SoftKey& key = top.keys[index];
    if (key.present && Get(top.sink) != nullptr) {
        PostMessage(top.sink, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(key.command), 0), 0);
    }
}

void DrawBubbles(Canvas& screen) {
    for (const auto& b : Bubbles()) {
        std::vector<RichLine> lines;
        CellRect box = BubbleBox(b, &lines);
        COLORREF bg = RGB(255, 255, 225);
        DrawBox(screen, box, bg, kBarBg);
        CellRect inside{box.left + 1, box.top + 1, box.right - 1, box.bottom - 1};
        CellStyle ts{RGB(0, 0, 0), bg};
        ts.bold = true;
        screen.PutText(box.left + 2, box.top + 1, std::u16string_view(b.info.title), ts, inside);
        for (std::size_t i = 0; i < lines.size(); ++i) {
            int x = box.left + 2;
            int y = box.top + 2 + static_cast<int>(i);
            for (const auto& rc : lines[i]) {
                CellStyle cs{RGB(0, 0, 0), bg};
                cs.bold = rc.bold;
                cs.underline = rc.underline;
                x += screen.PutChar(x, y, rc.ch, cs, inside);
            }
        }
    }
}

} // namespace shell

std::optional<std::int64_t> ExpireBubbles(std::int64_t now) {
    auto& b = shell::Bubbles();
    std::size_t before = b.size();
    b.erase(std::remove_if(b.begin(), b.end(),
                           [&](const shell::Bubble& x) { return x.expires && x.expiresAt <= now; }),
            b.end());
    if (b.size() != before) {
        MarkScreenDirty();
    }
    std::optional<std::int64_t> next;
    for (const auto& x : b) {
        if (x.expires && (!next || x.expiresAt < *next)) {
            next = x.expiresAt;
        }
    }
    return next;
}

} // namespace platform::wm

using namespace platform::wm;
using namespace platform::wm::shell;

HRESULT SHNotificationAdd(const SHNOTIFICATIONDATA* data) {
    if (data == nullptr) {
        return E_FAIL;
    }
    Bubble b;
    b.info.id = data->dwID;
    b.info.title = data->pszTitle != nullptr ? data->pszTitle : u"";
    std::u16string html = data->pszHTML != nullptr ? data->pszHTML : u"";
    b.lines = HtmlToLines(html);
    for (std::size_t i = 0; i < b.lines.size(); ++i) {
        if (i > 0) {
            b.info.text.push_back(u'\n');
        }
        for (const auto& rc : b.lines[i]) {
            // Back to UTF-16 for the record (surrogate pairs where needed).
            if (rc.ch >= 0x10000) {
                char32_t v = rc.ch - 0x10000;
                b.info.text.push_back(static_cast<char16_t>(0xD800 + (v >> 10)));
                b.info.text.push_back(static_cast<char16_t>(0xDC00 + (v & 0x3FF)));
            } else {
                b.info.text.push_back(static_cast<char16_t>(rc.ch));
            }
        }
    }
    b.sink = data->hwndSink;
    if (data->grfFlags & SHNF_HASMENU) {
        const MENUTEMPLATE* menu = MenuTemplateOf(data->skm.hMenu);
        for (int k = 0; k < 2; ++k) {
            SoftKey key;
            bool haveCmd = data->skm.prgskc != nullptr && static_cast<UINT>(k) < data->skm.cskc;
            if (haveCmd) {
                key.command = static_cast<UINT>(data->skm.prgskc[k].wpCmd);
            } else if (menu != nullptr && static_cast<std::size_t>(k) < menu->items.size()) {
                key.command = menu->items[static_cast<std::size_t>(k)].id;
            } else {
                continue;
            }
            key.present = true;
            if (menu != nullptr) {
                for (const auto& item : menu->items) {
                    if (item.id == key.command && !item.separator) {
                        key.caption = MenuText(item);
                    }
                }
                if (key.caption.empty() && static_cast<std::size_t>(k) < menu->items.size()) {
                    key.caption = MenuText(menu->items[static_cast<std::size_t>(k)]);
                }
            }
            b.keys[k] = key;
        }
    }
    b.info.leftKey = b.keys[0].present ? b.keys[0].caption : u"";
    b.info.rightKey = b.keys[1].present ? b.keys[1].caption : u"";
    if (data->csDuration > 0) {
        b.expires = true;
        b.expiresAt =
            platform::Clock().NowMs() + static_cast<std::int64_t>(data->csDuration) * 1000;
    }
    BubbleLog().push_back(b.info);
    Bubbles().push_back(std::move(b));
    MarkScreenDirty();
    platform::desktop::Notify(data->pszTitle != nullptr ? data->pszTitle : u"", html);
    return S_OK;
}
