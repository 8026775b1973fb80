// What the control window procedures share: their per-window state, the
// notifications they send to their parent, the colour exchange through
// WM_CTLCOLOR*, and the text buffer with a caret that the edit control and
// the combo box's edit field both use. Only the control files include it.
#pragma once

#include "platform/Canvas.h"
#include "platform/win.h"

#include <optional>
#include <string>

namespace platform::ctl {

// The state object of a control window lives in the window's own extra
// bytes (slot kStateSlot, so that GWL_USERDATA stays the program's).
// ControlProc makes it at WM_CREATE, hands it to the control's handler with
// every message, and frees it once the handler has seen WM_DESTROY (every
// window gets one: the headless driver's reset destroys what a test left
// open). Messages before WM_CREATE or after WM_DESTROY go to DefWindowProc.
inline constexpr int kStateSlot = 0;

template <typename T> T* StateOf(HWND hwnd) {
    return reinterpret_cast<T*>(GetWindowLongPtr(hwnd, kStateSlot));
}

template <typename T, LRESULT (*Handle)(HWND, T*, UINT, WPARAM, LPARAM)>
LRESULT ControlProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_CREATE && StateOf<T>(hwnd) == nullptr) {
        SetWindowLongPtr(hwnd, kStateSlot, reinterpret_cast<std::intptr_t>(new T));
    }
    T* state = StateOf<T>(hwnd);
    if (state == nullptr) {
        return DefWindowProc(hwnd, msg, wParam, lParam);
    }
    LRESULT result = Handle(hwnd, state, msg, wParam, lParam);
    if (msg == WM_DESTROY || (msg == WM_CREATE && result == -1)) {
        SetWindowLongPtr(hwnd, kStateSlot, 0);
        delete state;
    }
    return result;
}

// What every control answers alike: a change of focus, enabled state or
// size repaints it, its background is never erased on its own (painting
// fills the whole control), and the rest goes to DefWindowProc.
LRESULT DefControlProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// The window text a control is created with (CREATESTRUCT's lpszName).
std::u16string CreateText(LPARAM createStruct);

// A tap's client pixel position from a mouse message's lParam.
POINT TapPoint(LPARAM lParam);

DWORD Style(HWND hwnd);
bool HasFocus(HWND hwnd);

// WM_COMMAND with `code` in the high word and the control id in the low
// word, to the parent.
void NotifyCommand(HWND hwnd, WORD code);
// WM_NOTIFY to the parent; fills the header's sender fields first.
LRESULT NotifyParent(HWND hwnd, NMHDR* header, UINT code);

// Colours of the platform's default look.
COLORREF DefaultTextColor();
COLORREF DefaultDialogBackground();
COLORREF DefaultEditBackground();

// Asks the parent for the control's colours with `ctlColorMsg`
// (WM_CTLCOLORSTATIC, WM_CTLCOLOREDIT, WM_CTLCOLORBTN...). The parent sets
// the DC's text colour, background colour and mode and returns a brush for
// the control's background; when it returns no brush, the DC gets the
// default colours `text` and `background`. Returns the background colour.
COLORREF ControlColours(HWND hwnd, HDC dc, UINT ctlColorMsg, COLORREF text, COLORREF background);

// One WM_PAINT of a control: BeginPaint, the colours asked of the parent
// with `ctlColorMsg` (the defaults: the window text colour on `background`),
// the client area filled with the background; EndPaint when it goes. Check
// `dc` before drawing: it is null when there is nothing to paint.
class ControlPaint {
  public:
    ControlPaint(HWND hwnd, UINT ctlColorMsg, COLORREF background);
    ~ControlPaint();
    ControlPaint(const ControlPaint&) = delete;
    ControlPaint& operator=(const ControlPaint&) = delete;

    HDC dc = nullptr;
    RECT client{0, 0, 0, 0};
    COLORREF bg = 0;

  private:
    HWND hwnd_;
    PAINTSTRUCT ps_{};
};

// Fills the client area with a colour.
void FillClient(HDC dc, const RECT& client, COLORREF color);
// Draws text in a rectangle of the DC, with the DC's colours.
void DrawTextIn(HDC dc, std::u16string_view text, RECT rect, UINT format);
// Same, with explicit colours and an opaque background.
void DrawTextColoured(HDC dc, std::u16string_view text, RECT rect, UINT format, COLORREF fg,
                      COLORREF bg);

// Copies a text for WM_GETTEXT (wParam: room in units, NUL included).
LRESULT CopyTextOut(const std::u16string& text, WPARAM room, LPARAM buffer);
std::u16string TextFromLParam(LPARAM lParam);

// Client rectangle in whole cells.
CellRect ClientCells(HWND hwnd);

// UTF-32 to UTF-16.
std::u16string EncodeUtf16(std::u32string_view text);

// The halves of a surrogate pair that WM_CHAR delivers one at a time, joined.
class CharJoiner {
  public:
    // Takes one UTF-16 unit: returns the character it completes, or nothing
    // while a pair is half-way (a low half without its high half is dropped).
    std::optional<char32_t> Take(char16_t unit);

  private:
    char16_t high_ = 0;
};

// What an editing key did to an EditBuffer.
enum class EditKey {
    NotEditing, // not one of the keys EditBuffer::Key handles
    Moved,      // the caret moved (or stayed at an end)
    Changed,    // the text changed
    Unchanged,  // Delete or Backspace with nothing to delete
};

// An editable text with a caret and a selection (anchor..caret), kept as
// code points so that the caret never lands inside a surrogate pair.
class EditBuffer {
  public:
    const std::u32string& Text() const { return text_; }
    std::u16string Text16() const;
    void SetText(std::u16string_view text);
    std::size_t Length16() const;

    std::size_t Caret() const { return caret_; }
    bool HasSelection() const { return anchor_ != caret_; }
    // Selection in code points, start <= end.
    std::size_t SelStart() const { return anchor_ < caret_ ? anchor_ : caret_; }
    std::size_t SelEnd() const { return anchor_ < caret_ ? caret_ : anchor_; }
    // EM_SETSEL: positions in UTF-16 units; -1 as end means the end.
    void SetSelection16(long start, long end);
    void Selection16(DWORD* start, DWORD* end) const;

    // Editing; each returns true when the text changed.
    bool Insert(char32_t ch, std::size_t limit16);
    bool Backspace();
    bool Delete();
    void MoveTo(std::size_t pos);
    void Left();
    void Right();
    void Home() { MoveTo(0); }
    void End() { MoveTo(text_.size()); }
    // Left, Right, Home, End, Delete and Backspace.
    EditKey Key(WPARAM vk);

    std::size_t limit16 = 30000; // EM_LIMITTEXT, in UTF-16 units

  private:
    bool DeleteSelection();
    bool CrLfAt(std::size_t pos) const;
    std::u32string text_;
    std::size_t caret_ = 0;
    std::size_t anchor_ = 0;
};

// EM_GETSEL and CB_GETEDITSEL: the selection in UTF-16 units, stored where
// wParam and lParam point (when they do) and returned in one value.
LRESULT SelectionReply(const EditBuffer& buffer, WPARAM startOut, LPARAM endOut);

// Remembers presses of an arrow so that a held arrow can be told from single
// presses: more than five presses of the same arrow within half a second of
// device time count as held.
class RepeatTracker {
  public:
    // Records a press of `direction` (any value that tells the arrows apart)
    // and returns whether the arrow is held.
    bool Press(int direction);

  private:
    int direction_ = 0;
    DWORD times_[8] = {};
    int count_ = 0;
};

// The window procedures of the control classes.
LRESULT StaticWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT EditWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT ButtonWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT ComboWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT ComboListWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT ListViewWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT UpDownWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// Class name of the combo box's drop-down list window.
inline constexpr const char16_t* kComboListClass = u"ComboLBox";

} // namespace platform::ctl
