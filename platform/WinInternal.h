// The window manager's own state, shared by the files that implement
// windows, the message queue, painting, dialogs and the shell. Nothing
// outside platform/ includes this header.
//
// All of it belongs to the UI thread. Windows are kept in a table and named
// by handles that are numbers, never pointers, so that a stale handle is
// simply not found. Code that calls a window procedure must look the window
// up again afterwards: the procedure may have destroyed it.
#pragma once

#include "platform/Canvas.h"
#include "platform/win.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace platform::wm {

enum class Kind { Normal, Dialog, MessageBox, MenuBar };

// A control that a dialog template placed: its place across in dialog
// units, the height it took when it was made, and the rectangle the platform
// last gave it, so that a full-screen dialog can lay it out again when the
// screen's size changes.
struct TemplatePlace {
    HWND hwnd = nullptr;
    int x = 0;
    int cx = 0;
    LONG height = 0;
    RECT given{};
};

struct DialogInfo {
    DLGPROC proc = nullptr;
    bool ended = false;
    INT_PTR result = 0;
    bool doneButton = false;
    bool fullScreen = false;
    // Cells across that the phone's screen width of dialog units spans in
    // this dialog (Dialog.cpp), and the controls its template placed.
    int span = 40;
    std::vector<TemplatePlace> places;
};

// One key of a soft-key bar.
struct SoftKey {
    std::u16string caption;
    UINT command = 0;
    int popupIndex = -1; // item of the bar's menu whose popup the key opens
    bool present = false;
};

struct BarInfo {
    HWND owner = nullptr;
    SoftKey keys[2];
    MENUTEMPLATE menu;
};

struct MessageBoxInfo {
    std::u16string text;
    UINT type = 0;
    bool ended = false;
    int result = 0;
};

struct WindowClass {
    std::u16string name;
    WNDPROC proc = nullptr;
    HBRUSH background = nullptr;
    HINSTANCE instance = nullptr;
    int wndExtra = 0;
    bool system = false; // the platform's own (dialog, message box, bar, controls)
};

struct Window {
    HWND hwnd = nullptr;
    std::u16string className;
    WNDPROC proc = nullptr;
    HBRUSH background = nullptr;
    HINSTANCE instance = nullptr;
    DWORD style = 0;
    DWORD exStyle = 0;
    std::u16string text;
    RECT rect{}; // in the parent's client pixels; screen pixels for top-level windows
    HWND parent = nullptr;
    std::vector<HWND> children;
    int id = 0;
    std::intptr_t userData = 0;
    std::map<int, std::intptr_t> extra; // window extra bytes; DWL_MSGRESULT for dialogs
    bool visible = false;
    bool enabled = true;
    bool destroying = false;
    bool created = false;
    // Painting: the part of the client area that needs painting, and the
    // part handed to the WM_PAINT now being handled.
    bool needsPaint = false;
    bool needsErase = false;
    RECT update{};
    RECT painting{};
    bool paintingErase = false;
    Kind kind = Kind::Normal;
    std::unique_ptr<DialogInfo> dialog;
    std::unique_ptr<BarInfo> bar;
    std::unique_ptr<MessageBoxInfo> box;
    // Top-level windows only: the cells they paint into, their soft-key bar,
    // and the control that had the focus when they were last active.
    std::unique_ptr<Canvas> canvas;
    HWND menuBar = nullptr;
    HWND lastFocus = nullptr;
};

struct Timer {
    HWND hwnd = nullptr;
    UINT_PTR id = 0;
    std::int64_t elapse = 0;
    std::int64_t due = 0; // device NowMs
    TIMERPROC proc = nullptr;
};

struct State {
    std::unordered_map<std::uintptr_t, std::unique_ptr<Window>> windows;
    std::uintptr_t nextHandle = 0x10000;
    std::vector<HWND> zorder;                      // top-level windows, bottom first
    std::map<std::u16string, WindowClass> classes; // keyed by the upper-case name
    HWND focus = nullptr;
    HWND active = nullptr;
    int cols = 48;
    int rows = 24;
    std::vector<Timer> timers;
    UINT_PTR nextThreadTimerId = 1;
    bool screenDirty = true;
};

State& S();
Window* Get(HWND hwnd);
bool IsTopLevel(const Window* w);
HWND TopLevelOf(HWND hwnd);
// Screen pixel position of the window's top-left corner.
POINT ScreenOrigin(HWND hwnd);
// Visible, and so are all its ancestors.
bool ReallyVisible(HWND hwnd);
bool IsDescendant(HWND ancestor, HWND hwnd); // true also for hwnd == ancestor
bool TakesActivation(const Window* w);
// The topmost visible top-level window that takes activation.
HWND ComputeActive();
void UpdateActivation();
void MarkScreenDirty();
// Front-end hooks.
void NotifyComeToFront();
void NotifyGoToBackground();
RECT WorkArea();
// Destroys every window, topmost first, each with WM_DESTROY for it and its
// children as DestroyWindow sends them, but without activation changes.
void DestroyAllWindows();
// Control classes, registered once before the first window is made.
void EnsureControlClasses();

// A window made without WM_CREATE's -1 check being the only hook: `prepare`
// runs on the new window before WM_CREATE is sent.
HWND CreateWindowInternal(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x,
                          int y, int width, int height, HWND parent, HMENU menuOrId,
                          HINSTANCE instance, void* param,
                          const std::function<void(Window*)>& prepare);

// Queue.
void PostFront(const MSG& msg);
void RemoveTimersOf(HWND hwnd);
std::optional<std::int64_t> NextTimerDue();

// Painting.
void InvalidateTree(HWND hwnd);
void ResizeCanvas(Window* w);
// The next window that waits for WM_PAINT, parents before children.
HWND FindPaintTarget();
void ComposeScreen(Canvas& screen);

// Dialogs.
LRESULT DialogWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT MessageBoxWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
// Runs a nested modal loop until `done` is true or WM_QUIT arrives (which is
// posted again so the outer loop ends too). Returns false on WM_QUIT.
bool RunModalLoop(HWND window, const std::function<bool()>& done);
// Focusable controls of a dialog in tab order.
std::vector<HWND> TabOrder(HWND dialog);
bool IsFocusableControl(const Window* w);
// Lays a full-screen dialog's controls out across the screen's width (the
// rule is at the dialog-unit mapping in Dialog.cpp); nothing for others.
void FitDialogToScreen(HWND dialog);

// Shell.
void RegisterShellClasses();
LRESULT MenuBarWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
HWND CreateBar(HWND owner, const SoftKey& left, const SoftKey& right, const MENUTEMPLATE* menu);
void PlaceBar(HWND bar);
// Input that the shell takes before the focus window sees it. Returns true
// when the key was consumed.
bool ShellKey(UINT vk, bool shift);
// A tap the shell takes (title row, soft-key row, menu, bubble).
bool ShellTap(int x, int y);
void CloseMenu();
bool MenuOpen();
void DrawShell(Canvas& screen);
// Bubbles that have outlived their time leave the screen. Returns the next
// moment (device NowMs) one will, if any.
std::optional<std::int64_t> ExpireBubbles(std::int64_t now);
void ForgetWindowInShell(HWND hwnd);
void ResetShell();
void ResetResources();
// The menu an HMENU stands for, or null.
const MENUTEMPLATE* MenuTemplateOf(HMENU menu);
// The platform's own texts (the soft keys of message boxes).
extern const char16_t* const kOkText;
extern const char16_t* const kCancelText;

// Breaks one line of characters (std::u32string, or a vector of characters
// with attributes) into lines of at most `width` cells, wherever the next
// character would not fit (Chinese text has no spaces), and appends them to
// `out`; an empty line stays one empty line. `charOf` gives an element's
// character.
template <typename Line, typename CharOf>
void WrapLine(const Line& line, int width, CharOf charOf, std::vector<Line>* out) {
    Line cur;
    int used = 0;
    for (const auto& element : line) {
        int w = CharWidth(charOf(element));
        if (used + w > width && !cur.empty()) {
            out->push_back(cur);
            cur.clear();
            used = 0;
        }
        cur.push_back(element);
        used += w;
    }
    out->push_back(cur);
}

// Colours of the shell's own drawing.
constexpr COLORREF kBarBg = RGB(0, 40, 110);
constexpr COLORREF kBarFg = RGB(255, 255, 255);
constexpr COLORREF kDesktopBg = RGB(0, 0, 0);

} // namespace platform::wm
