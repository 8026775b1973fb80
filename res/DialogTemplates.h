// Small builders for the dialog templates and soft-key bars of the resource
// files: a full-screen dialog in the program's font, its controls and
// labels, and the bars of one or two soft keys.
//
// Positions and sizes are dialog units: 4 across and 8 down make one
// character cell, and a Chinese character takes two cells (8 units across).
#pragma once

#include "platform/win.h"

namespace dialogtemplates {

// A captioned pop-up in the 8-point System font; the shell sizes it to the
// full screen when it opens.
constexpr DWORD kDialogStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_SETFONT;

inline DLGTEMPLATE FullScreenDialog(const char16_t* title, short cx, short cy) {
    DLGTEMPLATE t;
    t.style = kDialogStyle;
    t.exStyle = 0;
    t.x = 0;
    t.y = 0;
    t.cx = cx;
    t.cy = cy;
    t.title = title;
    t.fontName = u"System";
    t.pointSize = 8;
    return t;
}

inline DLGITEMTEMPLATE Item(const char16_t* className, const char16_t* text, int id, DWORD style,
                            short x, short y, short cx, short cy) {
    return DLGITEMTEMPLATE{className, text, id, style, 0, x, y, cx, cy};
}

// A left-aligned static without an id, one line high unless told.
inline DLGITEMTEMPLATE Label(const char16_t* text, short x, short y, short cx, short cy = 8) {
    return Item(WC_STATIC, text, -1, SS_LEFT, x, y, cx, cy);
}

// A bar with one soft key on the left.
inline MENUBARTEMPLATE OneKeyBar(int caption, UINT command) {
    MENUBARTEMPLATE bar;
    bar.menuId = 0;
    bar.keyCount = 1;
    bar.left.captionString = caption;
    bar.left.command = command;
    return bar;
}

// A bar with a left and a right soft key.
inline MENUBARTEMPLATE TwoKeyBar(int leftCaption, UINT leftCommand, int rightCaption,
                                 UINT rightCommand) {
    MENUBARTEMPLATE bar;
    bar.menuId = 0;
    bar.keyCount = 2;
    bar.left.captionString = leftCaption;
    bar.left.command = leftCommand;
    bar.right.captionString = rightCaption;
    bar.right.command = rightCommand;
    return bar;
}

} // namespace dialogtemplates
