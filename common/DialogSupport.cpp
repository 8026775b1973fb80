// Helpers that the program's full-screen dialogs share; see DialogSupport.h.
#include "common/DialogSupport.h"

#include "common/QuoteRecord.h"
#include "common/ShellState.h"
#include "res/ResourceIds.h"

#include <cstdio>
#include <vector>

bool InitFullScreenDialog(HWND dlg, int menuBarId) {
    SHINITDLGINFO init{};
    init.dwMask = SHIDIM_FLAGS;
    init.hDlg = dlg;
    init.dwFlags = SHIDIF_DONEBUTTON | SHIDIF_SIZEDLGFULLSCREEN;
    SHInitDialog(&init);

    SHMENUBARINFO bar{};
    bar.cbSize = sizeof(bar);
    bar.hwndParent = dlg;
    bar.nToolBarId = static_cast<UINT>(menuBarId);
    bar.hInstRes = Shell.instance;
    return SHCreateMenuBar(&bar) != FALSE;
}

bool InitSettingsDialog(HWND dlg) {
    const bool filled = InitFullScreenDialog(dlg, IDR_SETTINGSBAR);
    SetWindowLongPtr(dlg, GWL_USERDATA, filled ? 1 : 0);
    return filled;
}

bool SettingsBarCommand(HWND dlg, int command, void (*save)(HWND dlg)) {
    switch (command) {
    case IDC_SETTINGS_CANCEL:
        EndDialog(dlg, 0);
        return true;
    case IDC_SETTINGS_SAVE:
    case IDOK:
        if (GetWindowLongPtr(dlg, GWL_USERDATA) != 0) {
            save(dlg);
        } else {
            EndDialog(dlg, 0);
        }
        return true;
    default:
        return false;
    }
}

std::u16string AnsiToWide(const std::string& text) {
    if (text.empty()) {
        return {};
    }
    const int length = static_cast<int>(text.size());
    const int needed = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
    if (needed <= 0) {
        return {};
    }
    std::u16string wide(static_cast<std::size_t>(needed), u'\0');
    const int written = MultiByteToWideChar(CP_ACP, 0, text.data(), length, wide.data(), needed);
    wide.resize(static_cast<std::size_t>(written > 0 ? written : 0));
    return wide;
}

std::string WideToAnsi(const std::u16string& text) {
    if (text.empty()) {
        return {};
    }
    const int length = static_cast<int>(text.size());
    const int needed =
        WideCharToMultiByte(CP_ACP, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) {
        return {};
    }
    std::string narrow(static_cast<std::size_t>(needed), '\0');
    const int written = WideCharToMultiByte(CP_ACP, 0, text.data(), length, narrow.data(), needed,
                                            nullptr, nullptr);
    narrow.resize(static_cast<std::size_t>(written > 0 ? written : 0));
    return narrow;
}

std::u16string DlgItemText(HWND dlg, int id, int room) {
    std::vector<WCHAR> buffer(static_cast<std::size_t>(room > 0 ? room : 1), u'\0');
    const UINT copied = GetDlgItemText(dlg, id, buffer.data(), static_cast<int>(buffer.size()));
    std::size_t length = 0;
    while (length < copied && length + 1 < buffer.size() && buffer[length] != u'\0') {
        ++length;
    }
    return std::u16string(buffer.data(), length);
}

double DlgItemNumber(HWND dlg, int id, int room) {
    return ReadNumber(WideToAnsi(DlgItemText(dlg, id, room)));
}

std::string FormatDouble(const char* format, double value) {
    const int needed = std::snprintf(nullptr, 0, format, value);
    if (needed <= 0) {
        return {};
    }
    std::string text(static_cast<std::size_t>(needed) + 1, '\0');
    std::snprintf(text.data(), text.size(), format, value);
    text.resize(static_cast<std::size_t>(needed));
    return text;
}

void SetDlgItemAnsi(HWND dlg, int id, const std::string& text, std::size_t maxUnits) {
    std::u16string wide = AnsiToWide(text);
    if (wide.size() > maxUnits) {
        wide.resize(maxUnits);
    }
    SetDlgItemText(dlg, id, wide.c_str());
}
