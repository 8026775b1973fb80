// Modal dialogs and message boxes.
//
// A modal dialog is a nested message loop over the one queue (as in Wine's
// user32 and SerenityOS's Dialog::exec): it dispatches every message, for
// every window, so windows outside the dialog (the main window's timer
// included) go on receiving theirs; dialogs have no owner and disable
// nothing. EndDialog only sets a flag, hides the dialog and posts WM_NULL to
// wake the loop; the loop then destroys the dialog and returns its result.
// A WM_QUIT that arrives inside is posted again, so every loop down to the
// program's own ends too. The focus is saved before the loop and given back
// after it.
//
// Dialog units map to cells: 8 down make one cell, and 4 across on the
// phone's own scale; a full-screen dialog scales them across to the screen
// (see the mapping below).

#include "platform/WinInternal.h"

#include <algorithm>

namespace platform::wm {

namespace {

// Dialog units to cells. The program's dialogs were laid out for the phone's
// screen, 160 dialog units across, which is 40 cells at 4 units a cell; 8
// units down always make one row. A full-screen dialog uses the terminal's
// width instead: its layout on the phone's 40 cells is stretched across the
// screen's columns, at least 40 (the phone's layout exactly, where the
// terminal is as narrow as the phone) and at most 80, twice the phone's
// width. Beyond that the dialog keeps 80 columns at the left of the screen:
// its labels keep the width of their text while the gaps between them would
// go on growing, so that a label and its value would drift too far apart to
// be read together, and every value has its room long before. So a value
// field of 61 units (the market index lines) is 15 cells on the phone, 23 at
// 60 columns and 30 at 80 columns and wider. Only the horizontal scale
// changes, so a dialog needs as many rows as on the phone.
// Other dialogs (placed or centred pop-ups), message boxes, menus and
// bubbles keep the phone's scale or size themselves to their text.
//
// On the phone a control starts in the cell its position falls in and is as
// many cells wide as its width rounds to, at least one: x / 4 and
// (cx + 2) / 4. Stretched, both edges of that phone layout go to the nearest
// cell, so that controls side by side on the phone stay side by side,
// without overlapping, and none is narrower than on the phone. In a
// full-screen dialog a control taller than a row that would reach below the
// rows above the soft-key row (the scrolling text of the message dialog, 19
// rows high) ends there, so that what it shows can still be scrolled into
// view.
constexpr int kPhoneCells = 40;
constexpr int kWidestSpan = 80;

// Cells across that the phone's 40 cells span on a full-screen dialog of a
// screen `cols` wide.
int FullScreenSpan(int cols) {
    return std::clamp(cols, kPhoneCells, kWidestSpan);
}

int FloorDiv(int a, int b) {
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

// An edge between phone cells, stretched to `span` cells across.
int Stretch(int phoneCell, int span) {
    return FloorDiv(2 * phoneCell * span + kPhoneCells, 2 * kPhoneCells);
}

// Dialog units to pixels, through whole cells, at `span` cells across the
// phone's width.
RECT DialogRectToPixels(int x, int y, int cx, int cy, int span = kPhoneCells) {
    int left = FloorDiv(x, 4);
    int right = left + std::max(1, (cx + 2) / 4);
    int top = FloorDiv(y, 8);
    int height = std::max(1, (cy + 4) / 8);
    return RECT{Stretch(left, span) * kCellWidth, top * kCellHeight,
                Stretch(right, span) * kCellWidth, (top + height) * kCellHeight};
}

bool SameRect(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

bool IsClass(const Window* w, std::u16string_view name) {
    if (w->className.size() != name.size()) {
        return false;
    }
    for (std::size_t i = 0; i < name.size(); ++i) {
        char16_t a = w->className[i];
        char16_t b = name[i];
        if (a >= u'a' && a <= u'z') {
            a = static_cast<char16_t>(a - 32);
        }
        if (b >= u'a' && b <= u'z') {
            b = static_cast<char16_t>(b - 32);
        }
        if (a != b) {
            return false;
        }
    }
    return true;
}

void EndBox(HWND hwnd, int result) {
    Window* w = Get(hwnd);
    if (w == nullptr || w->box == nullptr || w->box->ended) {
        return;
    }
    w->box->ended = true;
    w->box->result = result;
    ShowWindow(hwnd, SW_HIDE);
    PostMessage(hwnd, WM_NULL, 0, 0);
}

// Breaks a text into lines that fit `width` cells: at line breaks, and
// anywhere else a line would grow too long (Chinese text has no spaces).
std::vector<std::u32string> WrapText(const std::u16string& text, int width) {
    std::vector<std::u32string> lines;
    std::u32string line;
    auto same = [](char32_t c) { return c; };
    for (char32_t c : DecodeUtf16(text)) {
        if (c == U'\n') {
            WrapLine(line, width, same, &lines);
            line.clear();
        } else if (c != U'\r') {
            line.push_back(c);
        }
    }
    WrapLine(line, width, same, &lines);
    return lines;
}

const char16_t* IconText(UINT type) {
    switch (type & 0xF0) {
    case MB_ICONERROR:
        return u"[X]";
    case MB_ICONQUESTION:
        return u"[?]";
    case MB_ICONEXCLAMATION:
        return u"[!]";
    case MB_ICONINFORMATION:
        return u"[i]";
    default:
        return nullptr;
    }
}

COLORREF IconColor(UINT type) {
    switch (type & 0xF0) {
    case MB_ICONERROR:
        return RGB(200, 0, 0);
    case MB_ICONEXCLAMATION:
        return RGB(160, 100, 0);
    default:
        return RGB(0, 0, 160);
    }
}

// Size and place of a message box: a centred box in the work area above
// the soft-key row.
RECT LayoutBox(const std::u16string& text, const std::u16string& caption, UINT type) {
    auto& state = S();
    int maxInner = std::max(state.cols - 6, 10);
    int iconWidth = IconText(type) != nullptr ? 4 : 0;
    std::vector<std::u32string> lines = WrapText(text, maxInner - iconWidth);
    int widest = 0;
    for (const auto& l : lines) {
        widest = std::max(widest, TextWidth(l));
    }
    int inner = std::clamp(std::max({widest + iconWidth, TextWidth(caption) + 2, 16}), 1, maxInner);
    int width = inner + 4;
    int maxHeight = std::max(state.rows - 2, 3);
    int height = std::min(static_cast<int>(lines.size()) + 4, maxHeight);
    int left = (state.cols - width) / 2;
    int top = 1 + (state.rows - 2 - height) / 2;
    top = std::max(top, 1);
    return RECT{left * kCellWidth, top * kCellHeight, (left + width) * kCellWidth,
                (top + height) * kCellHeight};
}

void PaintBox(HWND hwnd) {
    Window* w = Get(hwnd);
    if (w == nullptr || w->canvas == nullptr || w->box == nullptr) {
        return;
    }
    Canvas& c = *w->canvas;
    const COLORREF bg = RGB(255, 255, 255);
    const COLORREF fg = RGB(0, 0, 0);
    const COLORREF frame = kBarBg;
    c.Fill(c.Bounds(), bg, fg);
    CellRect all = c.Bounds();
    int cols = c.Cols();
    int rows = c.Rows();
    CellStyle border{frame, bg};
    for (int x = 1; x < cols - 1; ++x) {
        c.PutChar(x, 0, U'─', border, all);
        c.PutChar(x, rows - 1, U'─', border, all);
    }
    for (int y = 1; y < rows - 1; ++y) {
        c.PutChar(0, y, U'│', border, all);
        c.PutChar(cols - 1, y, U'│', border, all);
    }
    c.PutChar(0, 0, U'┌', border, all);
    c.PutChar(cols - 1, 0, U'┐', border, all);
    c.PutChar(0, rows - 1, U'└', border, all);
    c.PutChar(cols - 1, rows - 1, U'┘', border, all);
    if (!w->text.empty()) {
        CellStyle title{frame, bg};
        title.bold = true;
        CellRect inside{1, 0, cols - 1, 1};
        int x = c.PutText(2, 0, u" ", title, inside);
        x = c.PutText(x, 0, std::u16string_view(w->text), title, inside);
        c.PutText(x, 0, u" ", title, inside);
    }
    CellRect body{2, 1, cols - 2, rows - 1};
    int x0 = 2;
    if (const char16_t* icon = IconText(w->box->type)) {
        CellStyle is{IconColor(w->box->type), bg};
        is.bold = true;
        c.PutText(2, 2, std::u16string_view(icon), is, body);
        x0 = 6;
    }
    std::vector<std::u32string> lines = WrapText(w->box->text, std::max(cols - 4 - (x0 - 2), 1));
    CellStyle ts{fg, bg};
    for (std::size_t i = 0; i < lines.size() && 2 + static_cast<int>(i) < rows - 1; ++i) {
        c.PutText(x0, 2 + static_cast<int>(i), std::u32string_view(lines[i]), ts, body);
    }
}

} // namespace

void FitDialogToScreen(HWND dialog) {
    Window* d = Get(dialog);
    if (d == nullptr || d->dialog == nullptr || !d->dialog->fullScreen) {
        return;
    }
    int span = FullScreenSpan(S().cols);
    d->dialog->span = span;
    // The rows above the soft-key row: a control taller than one row that
    // would reach below them (a long scrolling text) ends there instead.
    RECT client{};
    GetClientRect(dialog, &client);
    LONG bottom = std::max<LONG>(client.bottom - kCellHeight, kCellHeight);
    // Copies: moving a control sends it messages, and its procedure may
    // change the dialog.
    std::vector<TemplatePlace> places = d->dialog->places;
    for (TemplatePlace& place : places) {
        Window* c = Get(place.hwnd);
        // A control that the program moved or sized keeps its place.
        if (c == nullptr || c->parent != dialog || !SameRect(c->rect, place.given)) {
            continue;
        }
        RECT across = DialogRectToPixels(place.x, 0, place.cx, 8, span);
        RECT r{across.left, c->rect.top, across.right, c->rect.top + place.height};
        if (place.height > kCellHeight && r.bottom > bottom) {
            r.bottom = std::max<LONG>(bottom, r.top + kCellHeight);
        }
        if (!SameRect(r, c->rect)) {
            MoveWindow(place.hwnd, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
        }
        if (Window* moved = Get(place.hwnd)) {
            place.given = moved->rect;
        }
    }
    if (Window* again = Get(dialog); again != nullptr && again->dialog != nullptr) {
        again->dialog->places = std::move(places);
    }
}

bool IsFocusableControl(const Window* w) {
    if (w == nullptr || w->kind == Kind::MenuBar) {
        return false;
    }
    if (w->style & WS_TABSTOP) {
        return true;
    }
    return !IsClass(w, WC_STATIC);
}

std::vector<HWND> TabOrder(HWND dialog) {
    std::vector<HWND> out;
    Window* d = Get(dialog);
    if (d == nullptr) {
        return out;
    }
    for (HWND c : d->children) {
        Window* w = Get(c);
        if (w != nullptr && w->visible && w->enabled && IsFocusableControl(w)) {
            out.push_back(c);
        }
    }
    return out;
}

bool RunModalLoop(HWND window, const std::function<bool()>& done) {
    MSG msg{};
    while (!done()) {
        if (!GetMessage(&msg, nullptr, 0, 0)) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return false;
        }
        if (!IsDialogMessage(window, &msg)) {
            TranslateMessage(&msg);
            DispatchMessage(&msg);
        }
    }
    return true;
}

LRESULT DialogWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Window* w = Get(hwnd);
    if (w == nullptr) {
        return 0;
    }
    DLGPROC proc = w->dialog != nullptr ? w->dialog->proc : nullptr;
    if (proc != nullptr) {
        INT_PTR r = proc(hwnd, msg, wParam, lParam);
        w = Get(hwnd);
        if (r != 0) {
            switch (msg) {
            case WM_CTLCOLOREDIT:
            case WM_CTLCOLORLISTBOX:
            case WM_CTLCOLORBTN:
            case WM_CTLCOLORDLG:
            case WM_CTLCOLORSTATIC:
            case WM_INITDIALOG:
                return r;
            default:
                return w != nullptr ? GetWindowLongPtr(hwnd, DWL_MSGRESULT) : 0;
            }
        }
        if (w == nullptr) {
            return 0;
        }
    }
    return DefDlgProc(hwnd, msg, wParam, lParam);
}

LRESULT MessageBoxWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Window* w = Get(hwnd);
    if (w == nullptr || w->box == nullptr) {
        return DefWindowProc(hwnd, msg, wParam, lParam);
    }
    bool okCancel = (w->box->type & 0x0F) == MB_OKCANCEL;
    switch (msg) {
    case WM_PAINT: {
        PAINTSTRUCT ps{};
        BeginPaint(hwnd, &ps);
        PaintBox(hwnd);
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_ERASEBKGND:
        return 1;
    case WM_KEYDOWN:
        if (wParam == VK_RETURN) {
            EndBox(hwnd, IDOK);
        } else if (wParam == VK_ESCAPE) {
            EndBox(hwnd, okCancel ? IDCANCEL : IDOK);
        }
        return 0;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            EndBox(hwnd, IDOK);
        } else if (LOWORD(wParam) == IDCANCEL) {
            EndBox(hwnd, okCancel ? IDCANCEL : IDOK);
        }
        return 0;
    case WM_SETTINGCHANGE:
        if (wParam == SETTINGCHANGE_RESET) {
            RECT r = LayoutBox(w->box->text, w->text, w->box->type);
            MoveWindow(hwnd, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
        }
        return 0;
    case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE) {
            SetFocus(hwnd);
        }
        return 0;
    default:
        return DefWindowProc(hwnd, msg, wParam, lParam);
    }
}

} // namespace platform::wm

using namespace platform::wm;

INT_PTR DialogBoxIndirectParam(HINSTANCE instance, const DLGTEMPLATE* tmpl, HWND parent,
                               DLGPROC proc, LPARAM initParam) {
    if (tmpl == nullptr) {
        return -1;
    }
    EnsureControlClasses();
    auto& state = S();
    HWND savedFocus = state.focus;

    // Place: centred when the template asks for it, else at its position in
    // the work area; the shell makes full-screen dialogs fill the work area
    // (SHInitDialog).
    RECT size = DialogRectToPixels(0, 0, tmpl->cx, tmpl->cy);
    int width = std::min<int>(size.right, state.cols * kCellWidth);
    int height = std::min<int>(size.bottom, (state.rows - 1) * kCellHeight);
    int x = 0;
    int y = kCellHeight;
    if (tmpl->style & DS_CENTER) {
        x = ((state.cols * kCellWidth - width) / 2 / kCellWidth) * kCellWidth;
        y = kCellHeight +
            (((state.rows - 1) * kCellHeight - height) / 2 / kCellHeight) * kCellHeight;
    } else {
        RECT at = DialogRectToPixels(tmpl->x, tmpl->y, 1, 1);
        x = std::clamp<int>(at.left, 0, std::max(0, state.cols * kCellWidth - width));
        y = std::clamp<int>(kCellHeight + at.top, kCellHeight,
                            std::max(kCellHeight, state.rows * kCellHeight - height));
    }
    DWORD style = (tmpl->style & ~(WS_CHILD | WS_VISIBLE)) | WS_POPUP;
    HWND dlg =
        CreateWindowInternal(tmpl->exStyle, u"#32770", tmpl->title.c_str(), style, x, y, width,
                             height, nullptr, nullptr, instance, nullptr, [&](Window* w) {
                                 w->kind = Kind::Dialog;
                                 w->dialog = std::make_unique<DialogInfo>();
                                 w->dialog->proc = proc;
                             });
    if (dlg == nullptr) {
        return -1;
    }
    HWND first = nullptr;
    for (const auto& item : tmpl->items) {
        RECT r = DialogRectToPixels(item.x, item.y, item.cx, item.cy);
        HWND c = CreateWindowEx(
            item.exStyle, item.className.c_str(), item.text.c_str(),
            item.style | WS_CHILD | WS_VISIBLE, r.left, r.top, r.right - r.left, r.bottom - r.top,
            dlg, reinterpret_cast<HMENU>(static_cast<std::intptr_t>(item.id)), instance, nullptr);
        if (c == nullptr || Get(dlg) == nullptr) {
            DestroyWindow(dlg);
            return -1;
        }
        const Window* cw = Get(c);
        Get(dlg)->dialog->places.push_back(
            TemplatePlace{c, item.x, item.cx, cw->rect.bottom - cw->rect.top, cw->rect});
    }
    Window* d = Get(dlg);
    for (HWND c : d->children) {
        Window* cw = Get(c);
        if (cw != nullptr && cw->enabled && IsFocusableControl(cw)) {
            first = c;
            break;
        }
    }
    LRESULT wantsFocus =
        SendMessage(dlg, WM_INITDIALOG, reinterpret_cast<WPARAM>(first), initParam);
    d = Get(dlg);
    if (d != nullptr && !d->dialog->ended) {
        if (wantsFocus != 0 && first != nullptr && Get(first) != nullptr) {
            SetFocus(first);
        }
        ShowWindow(dlg, SW_SHOW);
    }
    RunModalLoop(dlg, [dlg] {
        Window* w = Get(dlg);
        return w == nullptr || w->dialog->ended;
    });
    INT_PTR result = 0;
    if (Window* w = Get(dlg)) {
        result = w->dialog->result;
        DestroyWindow(dlg);
    }
    if (Get(savedFocus) != nullptr && TopLevelOf(savedFocus) == state.active) {
        SetFocus(savedFocus);
    }
    return result;
}

INT_PTR DialogBoxParam(HINSTANCE instance, LPCWSTR name, HWND parent, DLGPROC proc,
                       LPARAM initParam) {
    HRSRC res = FindResource(instance, name, RT_DIALOG);
    if (res == nullptr) {
        return -1;
    }
    auto tmpl = static_cast<const DLGTEMPLATE*>(LockResource(LoadResource(instance, res)));
    return DialogBoxIndirectParam(instance, tmpl, parent, proc, initParam);
}

BOOL EndDialog(HWND dialog, INT_PTR result) {
    Window* w = Get(dialog);
    if (w == nullptr || w->dialog == nullptr) {
        return FALSE;
    }
    w->dialog->ended = true;
    w->dialog->result = result;
    ShowWindow(dialog, SW_HIDE);
    PostMessage(dialog, WM_NULL, 0, 0);
    return TRUE;
}

LRESULT DefDlgProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
    Window* w = Get(dialog);
    if (w == nullptr) {
        return 0;
    }
    switch (msg) {
    case WM_ERASEBKGND: {
        auto dc = reinterpret_cast<HDC>(wParam);
        auto brush = reinterpret_cast<HBRUSH>(
            SendMessage(dialog, WM_CTLCOLORDLG, wParam, reinterpret_cast<LPARAM>(dialog)));
        COLORREF color;
        if (!platform::BrushColor(brush, &color)) {
            brush = GetSysColorBrush(COLOR_WINDOW);
        }
        RECT rc;
        GetClientRect(dialog, &rc);
        FillRect(dc, &rc, brush);
        return 1;
    }
    case WM_CLOSE:
        PostMessage(dialog, WM_COMMAND, IDCANCEL, 0);
        return 0;
    case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE && !IsDescendant(dialog, S().focus)) {
            HWND target = w->lastFocus;
            if (!IsDescendant(dialog, target)) {
                std::vector<HWND> order = TabOrder(dialog);
                target = order.empty() ? dialog : order.front();
            }
            SetFocus(target);
        }
        return 0;
    case WM_SETTINGCHANGE:
        if (wParam == SETTINGCHANGE_RESET && w->dialog != nullptr && w->dialog->fullScreen) {
            RECT work = WorkArea();
            MoveWindow(dialog, work.left, work.top, work.right - work.left, work.bottom - work.top,
                       FALSE);
            FitDialogToScreen(dialog);
        }
        return 0;
    default:
        return DefWindowProc(dialog, msg, wParam, lParam);
    }
}

BOOL IsDialogMessage(HWND dialog, MSG* msg) {
    if (msg == nullptr || Get(dialog) == nullptr || !IsDescendant(dialog, msg->hwnd)) {
        return FALSE;
    }
    if (msg->message == WM_KEYDOWN && msg->wParam == VK_TAB) {
        std::vector<HWND> order = TabOrder(dialog);
        if (order.empty()) {
            return TRUE;
        }
        HWND focus = S().focus;
        int current = -1;
        for (std::size_t i = 0; i < order.size(); ++i) {
            if (IsDescendant(order[i], focus)) {
                current = static_cast<int>(i);
            }
        }
        int n = static_cast<int>(order.size());
        int next;
        if ((msg->lParam & KF_SHIFTED) != 0) {
            next = current < 0 ? n - 1 : (current + n - 1) % n;
        } else {
            next = current < 0 ? 0 : (current + 1) % n;
        }
        SetFocus(order[static_cast<std::size_t>(next)]);
        return TRUE;
    }
    if (msg->message == WM_CHAR && msg->wParam == u'\t') {
        return TRUE;
    }
    return FALSE;
}

BOOL MapDialogRect(HWND dialog, RECT* rect) {
    if (rect == nullptr) {
        return FALSE;
    }
    const Window* d = Get(dialog);
    int span = d != nullptr && d->dialog != nullptr ? d->dialog->span : kPhoneCells;
    RECT r = DialogRectToPixels(rect->left, rect->top, rect->right - rect->left,
                                rect->bottom - rect->top, span);
    *rect = r;
    return TRUE;
}

int MessageBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
    EnsureControlClasses();
    auto& state = S();
    HWND savedFocus = state.focus;
    std::u16string body = text != nullptr ? text : u"";
    std::u16string title = caption != nullptr ? caption : u"";
    RECT r = LayoutBox(body, title, type);
    HWND box = CreateWindowInternal(0, u"#MessageBox", title.c_str(), WS_POPUP, r.left, r.top,
                                    r.right - r.left, r.bottom - r.top, nullptr, nullptr, nullptr,
                                    nullptr, [&](Window* w) {
                                        w->kind = Kind::MessageBox;
                                        w->box = std::make_unique<MessageBoxInfo>();
                                        w->box->text = body;
                                        w->box->type = type;
                                    });
    if (box == nullptr) {
        return 0;
    }
    bool okCancel = (type & 0x0F) == MB_OKCANCEL;
    SoftKey left{kOkText, IDOK, -1, true};
    SoftKey right{};
    if (okCancel) {
        right = SoftKey{kCancelText, IDCANCEL, -1, true};
    }
    CreateBar(box, left, right, nullptr);
    ShowWindow(box, SW_SHOW);
    SetFocus(box);
    RunModalLoop(box, [box] {
        Window* w = Get(box);
        return w == nullptr || w->box->ended;
    });
    // A box that a WM_QUIT closed counts as cancelled: nothing is confirmed
    // by a program that is ending.
    int result = okCancel ? IDCANCEL : IDOK;
    if (Window* w = Get(box)) {
        if (w->box->ended) {
            result = w->box->result;
        }
        DestroyWindow(box);
    }
    if (Get(savedFocus) != nullptr && TopLevelOf(savedFocus) == state.active) {
        SetFocus(savedFocus);
    }
    return result;
}
