// The timed refresh of the watch list during trading hours, its manual
// variant behind a small progress pop-up, and the trading-hours test.
#pragma once

#include "platform/win.h"

#include <cstdint>
#include <string>

// 1 while no refresh cycle runs and one may start, 0 while one runs.
extern int RefreshIdle;
// "error" after a manual refresh whose cycle failed; emptied before each
// manual refresh.
extern std::string FetchStatus;

// What the program does at the end of every successful refresh cycle, while
// the cycle still counts as running (the service information request). The
// program's top installs it; none is installed at first. It is wiring rather
// than state: resetting the program's state keeps it.
void SetRefreshSucceededHook(void (*hook)());
// Told after every successful refresh cycle, timed or manual, after that
// hook (the launcher keeps the time of the last one for `stockat --status`).
// Wiring as well: none at first, kept across a reset of the program's state.
void SetRefreshObserver(void (*observer)());

// Timers: the main window's refresh timer and the progress pop-up's.
constexpr UINT_PTR kRefreshTimerId = 1;
constexpr UINT_PTR kProgressTimerId = 3;

// The trading-hours test: t = hour + minute x 0.01, inside when
// 9.15 < t < 11.32 or 12.58 < t < 15.10 (09:16-11:31 and 12:59-15:09), on
// Monday to Friday. Holidays are not known.
bool IsTradingTime(const SYSTEMTIME& now);
// The same test on the device's local time.
bool IsTradingTimeNow();
// Milliseconds from `now` to the next moment inside trading hours (the next
// 09:16:00 or 12:59:00 of a weekday); 0 inside them.
std::int64_t MsUntilTrading(const SYSTEMTIME& now);

// Re-arms timer 1 of the main window from Settings.RefreshInterval; run at the
// start of every message of the main window. Outside trading hours the
// period reaches at least to the next session's opening (see the .cpp).
void ApplyRefreshTimer(HWND mainWindow);
// The main window's WM_TIMER: one cycle when the list is not empty, the time
// is inside trading hours and no cycle runs; then the list is redrawn.
void OnRefreshTimer();
// Fetches, parses and checks every watch-list record in order. Returns 0
// when every fetch succeeded, -1 when the connection or a fetch failed.
int RunRefreshCycle();
// The manual refresh command: the same cycle behind the progress pop-up, at
// any time, with a message when the connection failed.
void ManualRefresh();
INT_PTR RefreshProgressDlgProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam);
