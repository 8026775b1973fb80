// What the shell's files share inside platform/ (Shell.cpp, ShellMenu.cpp,
// ShellBubbles.cpp, ShellBar.cpp, ShellObserve.cpp): the open popup menu,
// the bubbles on the screen and the active window's bar and title. The rest
// of the platform sees the shell only through WinInternal.h.
#pragma once

#include "platform/WinInternal.h"
#include "platform/observe.h"

#include <cstdint>
#include <string>
#include <vector>

namespace platform::wm::shell {

// ---- Popup menus (ShellMenu.cpp) ------------------------------------------------

struct MenuLevel {
    std::vector<MENUITEMTEMPLATE> items;
    int selected = 0;
    CellRect box;
};

struct MenuState {
    bool open = false;
    HWND owner = nullptr;
    int fromKey = 1;
    std::vector<MenuLevel> levels;
};

MenuState& Menu();
// The item's text as shown: access-key marks ("&") dropped.
std::u16string MenuText(const MENUITEMTEMPLATE& item);
// Opens `items` as a new menu for `owner` above soft key `fromKey`.
void OpenMenu(HWND owner, int fromKey, const std::vector<MENUITEMTEMPLATE>& items);
void MenuKey(UINT vk);
// A tap at a cell while the menu is open: chooses an item or closes it.
void MenuTap(int col, int row);
void DrawMenu(Canvas& screen);

// ---- Bubbles (ShellBubbles.cpp) ------------------------------------------------------

struct RichChar {
    char32_t ch;
    bool bold;
    bool underline;
};
using RichLine = std::vector<RichChar>;

struct Bubble {
    observe::BubbleInfo info;
    std::vector<RichLine> lines;
    HWND sink = nullptr;
    SoftKey keys[2];
    bool expires = false;
    std::int64_t expiresAt = 0;
};

std::vector<Bubble>& Bubbles();
// Every bubble shown since the last reset, for the observers.
std::vector<observe::BubbleInfo>& BubbleLog();
void DismissTopBubble();
// Closes the top bubble and sends its soft key's command to its sink.
void PressBubbleKey(int index);
void DrawBubbles(Canvas& screen);

// ---- Soft keys and the title button (ShellBar.cpp) -------------------------------

BarInfo* ActiveBar(HWND* barHwnd = nullptr);
void PressSoftKey(BarInfo* bar, int index);
void PressTitleButton();
std::u16string ActiveTitle();
std::u16string ActiveButton();
// The caption shown for soft key `index`: the top bubble's, else the bar's.
std::u16string KeyCaption(int index);

// ---- Drawing (Shell.cpp) ---------------------------------------------------------

// A framed box filled with `bg`, as menus and bubbles are drawn.
void DrawBox(Canvas& screen, const CellRect& box, COLORREF bg, COLORREF frame);

} // namespace platform::wm::shell
