// A host window for control tests: it records the WM_COMMAND and WM_NOTIFY
// messages its controls send, answers WM_MEASUREITEM, draws owner-drawn
// list rows with WM_DRAWITEM, and can colour its statics and edits through
// WM_CTLCOLOR*. One host lives at a time (the tests run one after another).
// Header-only, so that only the control tests include it.
#pragma once

#include "platform/headless/Driver.h"
#include "platform/win.h"

#include <string>
#include <vector>

namespace ctltest {

struct Command {
    int id;
    int code;
};
struct Notify {
    int id;
    UINT code;
    int item;  // iItem of list notifications, iDelta of up-down ones
    int extra; // iPos of up-down notifications
};
struct Drawn {
    UINT item;
    UINT state;
    RECT rect;
};

struct HostLog {
    std::vector<Command> commands;
    std::vector<Notify> notifies;
    std::vector<Drawn> drawn;
    int measured = 0;
    // Colours the host gives its controls; 0 brush colour = default handling.
    bool colourControls = false;
    COLORREF text = RGB(255, 0, 0);
    COLORREF background = RGB(10, 10, 10);
    int rowHeight = 22;
    std::vector<std::u16string> rowTexts; // what owner-drawn rows show

    int CountCommands(int id, int code) const;
    std::vector<Notify> NotifiesOf(UINT code) const;
};

inline HostLog& Log() {
    static HostLog log;
    return log;
}

inline LRESULT HostProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    HostLog& log = Log();
    switch (msg) {
    case WM_COMMAND:
        log.commands.push_back({LOWORD(wParam), HIWORD(wParam)});
        return 0;
    case WM_NOTIFY: {
        auto* hdr = reinterpret_cast<NMHDR*>(lParam);
        Notify n{static_cast<int>(hdr->idFrom), hdr->code, 0, 0};
        if (hdr->code == LVN_ITEMACTIVATE) {
            n.item = reinterpret_cast<NMITEMACTIVATE*>(lParam)->iItem;
        } else if (hdr->code == UDN_DELTAPOS) {
            n.item = reinterpret_cast<NMUPDOWN*>(lParam)->iDelta;
            n.extra = reinterpret_cast<NMUPDOWN*>(lParam)->iPos;
        } else if (hdr->code == LVN_ITEMCHANGED) {
            n.item = reinterpret_cast<NMLISTVIEW*>(lParam)->iItem;
        }
        log.notifies.push_back(n);
        return 0;
    }
    case WM_MEASUREITEM: {
        auto* mi = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
        if (mi->CtlType == ODT_LISTVIEW) {
            ++log.measured;
            mi->itemHeight = static_cast<UINT>(log.rowHeight);
        }
        return TRUE;
    }
    case WM_DRAWITEM: {
        auto* dis = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
        log.drawn.push_back({dis->itemID, dis->itemState, dis->rcItem});
        bool selected = (dis->itemState & ODS_SELECTED) != 0;
        HBRUSH brush = CreateSolidBrush(selected ? GetSysColor(COLOR_HIGHLIGHT) : RGB(0, 0, 0));
        FillRect(dis->hDC, &dis->rcItem, brush);
        DeleteObject(brush);
        SetTextColor(dis->hDC, RGB(0, 255, 0));
        SetBkMode(dis->hDC, TRANSPARENT);
        std::u16string text = dis->itemID < log.rowTexts.size()
                                  ? log.rowTexts[dis->itemID]
                                  : u"row" + std::u16string(1, u'0' + dis->itemID % 10);
        RECT r = dis->rcItem;
        DrawText(dis->hDC, text.c_str(), -1, &r, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
        return TRUE;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
        if (log.colourControls) {
            auto dc = reinterpret_cast<HDC>(wParam);
            SetTextColor(dc, log.text);
            SetBkColor(dc, log.background);
            return reinterpret_cast<LRESULT>(platform::MakeStockBrush(log.background));
        }
        return DefWindowProc(hwnd, msg, wParam, lParam);
    default:
        return DefWindowProc(hwnd, msg, wParam, lParam);
    }
}

inline int HostLog::CountCommands(int id, int code) const {
    int n = 0;
    for (const Command& c : commands) {
        if (c.id == id && c.code == code) {
            ++n;
        }
    }
    return n;
}

inline std::vector<Notify> HostLog::NotifiesOf(UINT code) const {
    std::vector<Notify> out;
    for (const Notify& n : notifies) {
        if (n.code == code) {
            out.push_back(n);
        }
    }
    return out;
}

// Makes the host (filling the work area) on the device thread; returns it.
inline HWND MakeHost(platform::headless::Driver& d) {
    Log() = HostLog{};
    return d.OnDevice([] {
        WNDCLASS wc{};
        wc.lpfnWndProc = HostProc;
        wc.lpszClassName = u"CtlTestHost";
        wc.hbrBackground = GetSysColorBrush(COLOR_WINDOW);
        RegisterClass(&wc);
        HWND host =
            CreateWindowEx(0, u"CtlTestHost", u"host", WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT,
                           CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, nullptr, nullptr);
        ShowWindow(host, SW_SHOW);
        return host;
    });
}

// Makes a control on the device thread (position and size in cells).
inline HWND MakeControl(platform::headless::Driver& d, HWND host, const char16_t* cls,
                        const char16_t* text, DWORD style, int id, int col, int row, int cols,
                        int rows) {
    return d.OnDevice([&] {
        return CreateWindowEx(0, cls, text, style | WS_CHILD | WS_VISIBLE, col * kCellWidth,
                              row * kCellHeight, cols * kCellWidth, rows * kCellHeight, host,
                              reinterpret_cast<HMENU>(static_cast<std::intptr_t>(id)), nullptr,
                              nullptr);
    });
}

} // namespace ctltest
