// The system metrics and colours: the screen's size in pixels of the cell
// grid, the width of a scroll bar, the work area and the fixed colours of
// the phone's theme.
#include "platform/Canvas.h"
#include "platform/WinInternal.h"

using namespace platform::wm;

COLORREF GetSysColor(int index) {
    switch (index) {
    case COLOR_WINDOW:
        return RGB(255, 255, 255);
    case COLOR_WINDOWTEXT:
        return RGB(0, 0, 0);
    case COLOR_MENU:
        return RGB(224, 224, 224);
    case COLOR_HIGHLIGHT:
        return RGB(51, 153, 255);
    case COLOR_HIGHLIGHTTEXT:
        return RGB(255, 255, 255);
    case COLOR_BTNFACE:
        return RGB(212, 208, 200);
    case COLOR_STATIC:
        return RGB(255, 255, 255);
    default:
        return RGB(255, 255, 255);
    }
}

HBRUSH GetSysColorBrush(int index) {
    return platform::MakeStockBrush(GetSysColor(index));
}

int GetSystemMetrics(int index) {
    switch (index) {
    case SM_CXSCREEN:
        return S().cols * kCellWidth;
    case SM_CYSCREEN:
        return S().rows * kCellHeight;
    case SM_CXVSCROLL:
        return kCellWidth;
    default:
        return 0;
    }
}

BOOL SystemParametersInfo(UINT action, UINT param, void* value, UINT winIni) {
    if (action == SPI_GETWORKAREA && value != nullptr) {
        *static_cast<RECT*>(value) = WorkArea();
        return TRUE;
    }
    return FALSE;
}
