// Read-only views of the window manager and the hooks the headless test
// driver needs to know when the UI thread is idle. Only front-ends and
// tests use this header; the program never does.
//
// Every reader here must be called while the UI thread is idle (blocked in
// GetMessage) or on the UI thread itself.
#pragma once

#include "platform/Canvas.h"
#include "platform/win.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace platform::observe {

struct WindowInfo {
    HWND hwnd = nullptr;
    std::u16string className;
    std::u16string title;
    int id = 0;
    bool visible = false;
    RECT rect{}; // screen pixels
};
// The top-level windows, topmost first.
std::vector<WindowInfo> WindowStack();
// The children of a window, in creation order.
std::vector<WindowInfo> Children(HWND hwnd);
// The stored window text (what DefWindowProc keeps), read without a message.
std::u16string StoredText(HWND hwnd);

// The title row: the text on the left and the button on the right ("ok",
// "X" or empty).
std::u16string TitleText();
std::u16string TitleButton();
// The captions on the soft-key row (left, right).
std::u16string SoftKeyCaption(int index);

struct MenuEntry {
    std::u16string text;
    UINT command = 0;
    bool separator = false;
    bool submenu = false;
    bool selected = false;
};
// The open popup menu, one list per open level (outermost first); empty
// when no menu is open.
std::vector<std::vector<MenuEntry>> OpenMenu();

struct BubbleInfo {
    DWORD id = 0;
    std::u16string title;
    std::u16string text; // the page as plain text, lines joined with '\n'
    std::u16string leftKey;
    std::u16string rightKey;
};
// The bubbles now on the screen (newest last), and every bubble shown since
// the last reset.
std::vector<BubbleInfo> Bubbles();
std::vector<BubbleInfo> BubblesShown();

// Composes the screen now, as GetMessage does before it waits.
void ComposeNow(Canvas& out);

// Timers of a window: id and the device NowMs when it is due.
std::vector<std::pair<UINT_PTR, std::int64_t>> TimersOf(HWND hwnd);

// ---- Idle tracking for the headless driver --------------------------------
// Wakes the UI thread and returns a sequence number: the UI thread is idle
// "after" it once WaitIdle(seq) returns.
std::uint64_t Kick();
// Waits until the UI thread has gone idle after `seq`, or `stop` (checked
// under the queue's lock; call NotifyWaiters after changing what it reads)
// is true, or the timeout passes. Returns false on timeout.
bool WaitIdle(std::uint64_t seq, const std::function<bool()>& stop,
              std::chrono::milliseconds timeout);
void NotifyWaiters();
// When idle: the device NowMs at which the UI thread wakes by itself next
// (a timer or a bubble's end), if any.
std::optional<std::int64_t> IdleNextDue();
// While set, GetMessage returns WM_QUIT at once, so every loop, nested
// modal loops included, unwinds.
void SetShuttingDown(bool on);
// Destroys every window left open (each gets WM_DESTROY, as from
// DestroyWindow, but no activation messages), then forgets every class,
// timer, queued message, resource module, menu and bubble: a clean platform
// for the next test. Call it when no UI thread runs.
void ResetForTests();

} // namespace platform::observe
