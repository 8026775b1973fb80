// Shared helpers of the control window procedures (see CtlCommon.h).
#include "platform/CtlCommon.h"

#include <algorithm>

namespace platform::ctl {

LRESULT DefControlProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_ENABLE:
    case WM_SIZE:
        InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    default:
        return DefWindowProc(hwnd, msg, wParam, lParam);
    }
}

std::u16string CreateText(LPARAM createStruct) {
    auto* cs = reinterpret_cast<const CREATESTRUCT*>(createStruct);
    return cs != nullptr && cs->lpszName != nullptr ? std::u16string(cs->lpszName)
                                                    : std::u16string();
}

POINT TapPoint(LPARAM lParam) {
    auto bits = static_cast<std::uintptr_t>(lParam);
    return POINT{static_cast<std::int16_t>(LOWORD(bits)), static_cast<std::int16_t>(HIWORD(bits))};
}

ControlPaint::ControlPaint(HWND hwnd, UINT ctlColorMsg, COLORREF background) : hwnd_(hwnd) {
    dc = BeginPaint(hwnd, &ps_);
    if (dc == nullptr) {
        return;
    }
    GetClientRect(hwnd, &client);
    bg = ControlColours(hwnd, dc, ctlColorMsg, DefaultTextColor(), background);
    FillClient(dc, client, bg);
}

ControlPaint::~ControlPaint() {
    if (dc != nullptr) {
        EndPaint(hwnd_, &ps_);
    }
}

DWORD Style(HWND hwnd) {
    return static_cast<DWORD>(GetWindowLong(hwnd, GWL_STYLE));
}

bool HasFocus(HWND hwnd) {
    return hwnd != nullptr && GetFocus() == hwnd;
}

void NotifyCommand(HWND hwnd, WORD code) {
    HWND parent = GetParent(hwnd);
    if (parent == nullptr) {
        return;
    }
    SendMessage(parent, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(GetDlgCtrlID(hwnd)), code),
                reinterpret_cast<LPARAM>(hwnd));
}

LRESULT NotifyParent(HWND hwnd, NMHDR* header, UINT code) {
    header->hwndFrom = hwnd;
    header->idFrom = static_cast<UINT_PTR>(GetDlgCtrlID(hwnd));
    header->code = code;
    HWND parent = GetParent(hwnd);
    if (parent == nullptr) {
        return 0;
    }
    return SendMessage(parent, WM_NOTIFY, header->idFrom, reinterpret_cast<LPARAM>(header));
}

COLORREF DefaultTextColor() {
    return GetSysColor(COLOR_WINDOWTEXT);
}
COLORREF DefaultDialogBackground() {
    return GetSysColor(COLOR_STATIC);
}
COLORREF DefaultEditBackground() {
    return GetSysColor(COLOR_WINDOW);
}

COLORREF ControlColours(HWND hwnd, HDC dc, UINT ctlColorMsg, COLORREF text, COLORREF background) {
    HWND parent = GetParent(hwnd);
    LRESULT answer = 0;
    if (parent != nullptr) {
        answer = SendMessage(parent, ctlColorMsg, reinterpret_cast<WPARAM>(dc),
                             reinterpret_cast<LPARAM>(hwnd));
    }
    COLORREF color;
    if (answer != 0 && BrushColor(reinterpret_cast<HBRUSH>(answer), &color)) {
        return color;
    }
    SetTextColor(dc, text);
    SetBkColor(dc, background);
    return background;
}

void FillClient(HDC dc, const RECT& client, COLORREF color) {
    FillRect(dc, &client, MakeStockBrush(color));
}

void DrawTextIn(HDC dc, std::u16string_view text, RECT rect, UINT format) {
    DrawText(dc, text.data(), static_cast<int>(text.size()), &rect, format | DT_NOPREFIX);
}

void DrawTextColoured(HDC dc, std::u16string_view text, RECT rect, UINT format, COLORREF fg,
                      COLORREF bg) {
    COLORREF oldFg = SetTextColor(dc, fg);
    COLORREF oldBg = SetBkColor(dc, bg);
    int oldMode = SetBkMode(dc, OPAQUE);
    DrawTextIn(dc, text, rect, format);
    SetTextColor(dc, oldFg);
    SetBkColor(dc, oldBg);
    SetBkMode(dc, oldMode);
}

LRESULT CopyTextOut(const std::u16string& text, WPARAM room, LPARAM buffer) {
    auto* out = reinterpret_cast<char16_t*>(buffer);
    if (out == nullptr || room == 0) {
        return 0;
    }
    std::size_t n = std::min<std::size_t>(text.size(), static_cast<std::size_t>(room) - 1);
    std::copy_n(text.data(), n, out);
    out[n] = u'\0';
    return static_cast<LRESULT>(n);
}

std::u16string TextFromLParam(LPARAM lParam) {
    auto* text = reinterpret_cast<const char16_t*>(lParam);
    return text == nullptr ? std::u16string() : std::u16string(text);
}

CellRect ClientCells(HWND hwnd) {
    RECT client{0, 0, 0, 0};
    GetClientRect(hwnd, &client);
    return PixelsToCells(client);
}

namespace {

std::size_t Units16(const std::u32string& text, std::size_t from, std::size_t to) {
    std::size_t n = 0;
    for (std::size_t i = from; i < to && i < text.size(); ++i) {
        n += text[i] >= 0x10000 ? 2 : 1;
    }
    return n;
}

// The code-point position of a UTF-16 offset (rounded down to a whole
// character).
std::size_t FromUnits16(const std::u32string& text, std::size_t units) {
    std::size_t n = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::size_t w = text[i] >= 0x10000 ? 2 : 1;
        if (n + w > units) {
            return i;
        }
        n += w;
    }
    return text.size();
}

} // namespace

std::u16string EncodeUtf16(std::u32string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (char32_t ch : text) {
        if (ch >= 0x10000) {
            ch -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (ch >> 10));
            out += static_cast<char16_t>(0xDC00 + (ch & 0x3FF));
        } else {
            out += static_cast<char16_t>(ch);
        }
    }
    return out;
}

std::optional<char32_t> CharJoiner::Take(char16_t unit) {
    if (unit >= 0xD800 && unit <= 0xDBFF) {
        high_ = unit;
        return std::nullopt;
    }
    char32_t ch = unit;
    if (unit >= 0xDC00 && unit <= 0xDFFF) {
        if (high_ == 0) {
            return std::nullopt;
        }
        ch = 0x10000 + ((static_cast<char32_t>(high_) - 0xD800) << 10) + (unit - 0xDC00);
    }
    high_ = 0;
    return ch;
}

std::u16string EditBuffer::Text16() const {
    return EncodeUtf16(text_);
}

void EditBuffer::SetText(std::u16string_view text) {
    text_ = DecodeUtf16(text);
    caret_ = anchor_ = text_.size();
}

std::size_t EditBuffer::Length16() const {
    return Units16(text_, 0, text_.size());
}

void EditBuffer::SetSelection16(long start, long end) {
    std::size_t len = text_.size();
    if (start < 0) {
        // -1 as the start removes the selection, leaving the caret.
        anchor_ = caret_;
        return;
    }
    anchor_ = std::min(FromUnits16(text_, static_cast<std::size_t>(start)), len);
    caret_ = end < 0 ? len : std::min(FromUnits16(text_, static_cast<std::size_t>(end)), len);
}

void EditBuffer::Selection16(DWORD* start, DWORD* end) const {
    if (start != nullptr) {
        *start = static_cast<DWORD>(Units16(text_, 0, SelStart()));
    }
    if (end != nullptr) {
        *end = static_cast<DWORD>(Units16(text_, 0, SelEnd()));
    }
}

bool EditBuffer::DeleteSelection() {
    if (!HasSelection()) {
        return false;
    }
    std::size_t from = SelStart();
    text_.erase(from, SelEnd() - from);
    caret_ = anchor_ = from;
    return true;
}

bool EditBuffer::Insert(char32_t ch, std::size_t limit16) {
    std::size_t selected = Units16(text_, SelStart(), SelEnd());
    std::size_t add = ch >= 0x10000 ? 2 : 1;
    if (Length16() - selected + add > limit16) {
        return false;
    }
    DeleteSelection();
    text_.insert(text_.begin() + static_cast<std::ptrdiff_t>(caret_), ch);
    caret_ = anchor_ = caret_ + 1;
    return true;
}

bool EditBuffer::Backspace() {
    if (DeleteSelection()) {
        return true;
    }
    if (caret_ == 0) {
        return false;
    }
    // A line break "\r\n" goes as one.
    std::size_t n = caret_ >= 2 && CrLfAt(caret_ - 2) ? 2 : 1;
    text_.erase(caret_ - n, n);
    caret_ = anchor_ = caret_ - n;
    return true;
}

bool EditBuffer::Delete() {
    if (DeleteSelection()) {
        return true;
    }
    if (caret_ >= text_.size()) {
        return false;
    }
    text_.erase(caret_, CrLfAt(caret_) ? 2 : 1);
    return true;
}

void EditBuffer::MoveTo(std::size_t pos) {
    caret_ = anchor_ = std::min(pos, text_.size());
}

bool EditBuffer::CrLfAt(std::size_t pos) const {
    return pos + 1 < text_.size() && text_[pos] == U'\r' && text_[pos + 1] == U'\n';
}

void EditBuffer::Left() {
    if (HasSelection()) {
        MoveTo(SelStart());
    } else if (caret_ > 0) {
        MoveTo(caret_ >= 2 && CrLfAt(caret_ - 2) ? caret_ - 2 : caret_ - 1);
    }
}

void EditBuffer::Right() {
    if (HasSelection()) {
        MoveTo(SelEnd());
    } else {
        MoveTo(CrLfAt(caret_) ? caret_ + 2 : caret_ + 1);
    }
}

EditKey EditBuffer::Key(WPARAM vk) {
    switch (vk) {
    case VK_LEFT:
        Left();
        return EditKey::Moved;
    case VK_RIGHT:
        Right();
        return EditKey::Moved;
    case VK_HOME:
        Home();
        return EditKey::Moved;
    case VK_END:
        End();
        return EditKey::Moved;
    case VK_DELETE:
        return Delete() ? EditKey::Changed : EditKey::Unchanged;
    case VK_BACK:
        return Backspace() ? EditKey::Changed : EditKey::Unchanged;
    default:
        return EditKey::NotEditing;
    }
}

LRESULT SelectionReply(const EditBuffer& buffer, WPARAM startOut, LPARAM endOut) {
    DWORD start = 0;
    DWORD end = 0;
    buffer.Selection16(&start, &end);
    if (startOut != 0) {
        *reinterpret_cast<DWORD*>(startOut) = start;
    }
    if (endOut != 0) {
        *reinterpret_cast<DWORD*>(endOut) = end;
    }
    return static_cast<LRESULT>(MAKELPARAM(static_cast<WORD>(std::min<DWORD>(start, 0xFFFF)),
                                           static_cast<WORD>(std::min<DWORD>(end, 0xFFFF))));
}

bool RepeatTracker::Press(int direction) {
    DWORD now = GetTickCount();
    if (direction != direction_) {
        direction_ = direction;
        count_ = 0;
    }
    // Keep only the presses of the last half second.
    int kept = 0;
    for (int i = 0; i < count_; ++i) {
        if (now - times_[i] < 500) {
            times_[kept++] = times_[i];
        }
    }
    count_ = kept;
    if (count_ == 8) {
        std::copy(times_ + 1, times_ + 8, times_);
        --count_;
    }
    times_[count_++] = now;
    return count_ > 5;
}

} // namespace platform::ctl
