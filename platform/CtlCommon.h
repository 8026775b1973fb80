// What the control window procedures share: their per-window state, the
// notifications they send to their parent, the colour exchange through
// WM_CTLCOLOR*, and the text buffer with a caret that the edit control and
// the combo box's edit field both use. Only the control files include it.
#pragma once

#include "platform/Canvas.h"
#include "platform/win.h"

#include <string>

namespace platform::ctl {

// The state object of a control window, kept in its GWL_USERDATA. It is
// made on first use (so a message that arrives before WM_CREATE is safe)
// and freed by DestroyState at WM_DESTROY. Every state is also held by a
// process-wide registry, so that windows a test forgets without
// destroying them do not count as leaks, and so that a pointer can be
// checked for being a live state.
struct ControlState {
    virtual ~ControlState() = default;
};
void AdoptState(ControlState* state);
void ReleaseState(ControlState* state);
bool IsLiveState(const ControlState* state);

template <typename T> T* State(HWND hwnd) {
    auto* state = reinterpret_cast<T*>(GetWindowLongPtr(hwnd, GWL_USERDATA));
    if (state == nullptr) {
        state = new T;
        AdoptState(state);
        SetWindowLongPtr(hwnd, GWL_USERDATA, reinterpret_cast<std::intptr_t>(state));
    }
    return state;
}
template <typename T> void DestroyState(HWND hwnd) {
    auto* state = reinterpret_cast<T*>(GetWindowLongPtr(hwnd, GWL_USERDATA));
    SetWindowLongPtr(hwnd, GWL_USERDATA, 0);
    if (state != nullptr) {
        ReleaseState(state);
    }
}

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

    std::size_t limit16 = 30000; // EM_LIMITTEXT, in UTF-16 units

  private:
    bool DeleteSelection();
    bool CrLfAt(std::size_t pos) const;
    std::u32string text_;
    std::size_t caret_ = 0;
    std::size_t anchor_ = 0;
};

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
