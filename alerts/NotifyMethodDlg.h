// The notification method dialog.
#pragma once
#include "platform/win.h"

#include <string>

INT_PTR NotifyMethodDlgProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam);

// The dialog's pending copies of NotifyMethod and SmsPhone (8-bit texts).
// They are taken from the settings when the dialog opens, stored back only
// by a successful save, and keep their values between openings.
extern std::string PendingNotifyMethod;
extern std::string PendingSmsPhone;

// The longest phone number the edit takes, in characters.
constexpr int kSmsPhoneMaxLength = 24;
