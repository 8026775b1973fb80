// Mapping of terminal input to device keys (see Keys.h).
#include "term/Keys.h"

#include "term/Curses.h"

namespace term {

const char* const kKeyHelp =
    "Keys: F1/F2 soft keys, F3 title button (X: to the background), arrows move, "
    "Enter acts, Esc cancels, Tab/Shift-Tab focus, mouse click taps, Ctrl-L redraws.";

namespace {

platform::KeyInput Press(UINT vk, bool shift = false) {
    platform::KeyInput key;
    key.vk = vk;
    key.shift = shift;
    return key;
}

Translated Keys(std::vector<platform::KeyInput> keys) {
    Translated t;
    t.kind = InputKind::Keys;
    t.keys = std::move(keys);
    return t;
}

Translated Only(InputKind kind) {
    Translated t;
    t.kind = kind;
    return t;
}

Translated FromKeyCode(wint_t code) {
    switch (code) {
    case KEY_F(1):
        return Keys({Press(VK_F1)});
    case KEY_F(2):
        return Keys({Press(VK_F2)});
    case KEY_F(3):
        return Keys({Press(VK_F3)});
    case KEY_UP:
        return Keys({Press(VK_UP)});
    case KEY_DOWN:
        return Keys({Press(VK_DOWN)});
    case KEY_LEFT:
        return Keys({Press(VK_LEFT)});
    case KEY_RIGHT:
        return Keys({Press(VK_RIGHT)});
    case KEY_SLEFT:
        return Keys({Press(VK_LEFT, true)});
    case KEY_SRIGHT:
        return Keys({Press(VK_RIGHT, true)});
    case KEY_HOME:
    case KEY_SHOME:
        return Keys({Press(VK_HOME, code == KEY_SHOME)});
    case KEY_END:
    case KEY_SEND:
        return Keys({Press(VK_END, code == KEY_SEND)});
    case KEY_PPAGE:
        return Keys({Press(VK_PRIOR)});
    case KEY_NPAGE:
        return Keys({Press(VK_NEXT)});
    case KEY_DC:
        return Keys({Press(VK_DELETE)});
    case KEY_BACKSPACE:
        return Keys({Press(VK_BACK)});
    case KEY_ENTER:
        return Keys({Press(VK_RETURN)});
    case KEY_BTAB:
        return Keys({Press(VK_TAB, true)});
    case KEY_RESIZE:
        return Only(InputKind::Resize);
    case KEY_MOUSE:
        return Only(InputKind::Mouse);
    default:
        return Only(InputKind::None); // other function keys mean nothing here
    }
}

} // namespace

std::vector<platform::KeyInput> KeysForChar(char32_t ch) {
    if (ch > 0x10FFFF || (ch >= 0xD800 && ch <= 0xDFFF)) {
        return {}; // not a character
    }
    if (ch >= 0x10000) {
        char32_t v = ch - 0x10000;
        platform::KeyInput high, low;
        high.ch = static_cast<char16_t>(0xD800 + (v >> 10));
        low.ch = static_cast<char16_t>(0xDC00 + (v & 0x3FF));
        return {high, low};
    }
    platform::KeyInput key;
    key.ch = static_cast<char16_t>(ch);
    if (ch >= U'a' && ch <= U'z') {
        key.vk = static_cast<UINT>(ch - U'a' + U'A');
    } else if (ch >= U'A' && ch <= U'Z') {
        key.vk = static_cast<UINT>(ch);
        key.shift = true;
    } else if (ch >= U'0' && ch <= U'9') {
        key.vk = static_cast<UINT>(ch);
    } else if (ch == U' ') {
        key.vk = 0x20;
    }
    return {key};
}

Translated TranslateInput(bool isKeyCode, wint_t code) {
    if (isKeyCode) {
        return FromKeyCode(code);
    }
    switch (code) {
    case L'\r':
    case L'\n':
        return Keys({Press(VK_RETURN)});
    case L'\t':
        return Keys({Press(VK_TAB)});
    case 0x1B:
        return Keys({Press(VK_ESCAPE)});
    case 0x7F:
    case 0x08:
        return Keys({Press(VK_BACK)});
    case 0x0C: // Ctrl-L
        return Only(InputKind::Redraw);
    default:
        break;
    }
    if (code < 0x20 || (code >= 0x80 && code < 0xA0)) {
        return Only(InputKind::None); // other control characters
    }
    std::vector<platform::KeyInput> keys = KeysForChar(static_cast<char32_t>(code));
    return keys.empty() ? Only(InputKind::None) : Keys(std::move(keys));
}

POINT CellCentre(int col, int row) {
    return POINT{col * kCellWidth + kCellWidth / 2, row * kCellHeight + kCellHeight / 2};
}

} // namespace term
