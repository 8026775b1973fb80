// Process entry and the single-instance guard. Every start-up failure ends
// the program silently with exit code 0.
#include "app/WinMain.h"

#include "alerts/TargetPriceDlg.h"
#include "app/ConnectionDlg.h"
#include "app/MainWndProc.h"
#include "app/ServiceInfo.h"
#include "common/ShellState.h"
#include "refresh/RefreshCycle.h"
#include "res/ResourceIds.h"
#include "watchlist/StockDetailDialog.h"

#include <cstdint>

namespace {

// The mutex of the first copy stays open while it runs, so that later copies
// see ERROR_ALREADY_EXISTS.
HANDLE instanceMutex = nullptr;

constexpr int kAttempts = 5;
constexpr DWORD kRetryWaitMs = 500;

} // namespace

HRESULT FindPreviousInstance(LPCWSTR className, LPCWSTR title, int* found) {
    *found = 0;
    int attempts = kAttempts;
    for (;;) {
        HANDLE mutex = CreateMutex(nullptr, FALSE, className);
        if (mutex == nullptr) {
            return E_FAIL;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            instanceMutex = mutex;
            return S_OK;
        }
        CloseHandle(mutex);
        // The other copy may still be creating its window: look twice, half
        // a second apart, in every attempt.
        HWND other = FindWindow(className, title);
        if (other == nullptr) {
            Sleep(kRetryWaitMs);
            other = FindWindow(className, title);
        }
        if (other != nullptr) {
            // The lowest bit asks for the whole owned-window group.
            SetForegroundWindow(
                reinterpret_cast<HWND>(reinterpret_cast<std::uintptr_t>(other) | 0x1));
            *found = 1;
            return S_OK;
        }
        if (--attempts <= 0) {
            return E_FAIL;
        }
    }
}

void ReleaseInstanceMutex() {
    if (instanceMutex != nullptr) {
        CloseHandle(instanceMutex);
        instanceMutex = nullptr;
    }
}

void InstallSubsystemHooks() {
    SetRefreshSucceededHook(OnRefreshCycleSucceeded);
    SetDetailAlertsCommand([] { RunDialog(IDD_TARGETPRICE, TargetPriceDlgProc); });
}

int WinMain(HINSTANCE instance, HINSTANCE previous, LPWSTR commandLine, int showCommand) {
    InstallSubsystemHooks();
    Shell.instance = instance;

    WCHAR title[30] = {};
    if (LoadString(instance, IDS_TITLE, title, 30) == 0) {
        return 0;
    }

    int found = 0;
    if (FAILED(FindPreviousInstance(kMainClassName, title, &found)) || found != 0) {
        return 0;
    }

    InitCommonControls();

    WNDCLASS wc{};
    wc.style = 0;
    wc.lpfnWndProc = MainWndProc;
    wc.cbClsExtra = 0;
    wc.cbWndExtra = 0;
    wc.hInstance = instance;
    wc.hIcon = nullptr;
    wc.hCursor = nullptr;
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<std::uintptr_t>(COLOR_WINDOW + 1));
    wc.lpszMenuName = nullptr;
    wc.lpszClassName = kMainClassName;
    if (RegisterClass(&wc) == 0) {
        ReleaseInstanceMutex();
        return 0;
    }

    HWND window =
        CreateWindowEx(0, kMainClassName, title, WS_CLIPCHILDREN, CW_USEDEFAULT, CW_USEDEFAULT,
                       CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, nullptr);
    if (window == nullptr) {
        ReleaseInstanceMutex();
        return 0;
    }
    ShowWindow(window, showCommand);
    UpdateWindow(window);
    // The first start has no connection method yet: ask for one before the
    // first refresh can need it.
    AskConnectionMethodAtFirstStart();

    MSG msg{};
    while (GetMessage(&msg, nullptr, 0, 0)) {
        TranslateMessage(&msg);
        DispatchMessage(&msg);
    }
    ReleaseInstanceMutex();
    return static_cast<int>(msg.wParam);
}
