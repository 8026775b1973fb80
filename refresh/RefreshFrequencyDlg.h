// The refresh frequency dialog.
#pragma once
#include "platform/win.h"

#include <cstdint>
#include <string>

INT_PTR RefreshFrequencyDlgProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam);

// The dialog's pending copies of RefreshInterval (seconds) and RefreshUnit
// (8-bit GBK "秒" or "分"). They are taken from the settings when the dialog
// opens, stored back only by a successful save, and keep their values
// between openings.
extern std::int32_t PendingRefreshInterval;
extern std::string PendingRefreshUnit;

// The units of RefreshUnit, in GBK.
inline constexpr const char* kUnitSeconds = "\xC3\xEB"; // "秒"
inline constexpr const char* kUnitMinutes = "\xB7\xD6"; // "分"

// The longest custom interval, in seconds: its milliseconds still fit the
// timer's signed 32-bit range (about 24.8 days, far beyond a trading day).
constexpr std::int32_t kMaxRefreshIntervalSeconds = 2147483;
