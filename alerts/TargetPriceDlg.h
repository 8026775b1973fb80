// The target price dialog.
#pragma once
#include "platform/win.h"

#include <cstdint>

INT_PTR TargetPriceDlgProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam);

// The up-down handler: steps the price or the percentage of one target by
// one (the spinner's delta is +1 or -1; other deltas are ignored).
void OnTargetSpin(HWND dlg, int controlId, const NMUPDOWN* change);

// 1 from the moment a percentage spinner has written a price edit until the
// next spinner notification of any kind; while it is 1, typing into a price
// edit does not rewrite the percentage. It survives closing and reopening
// the dialog.
extern std::int32_t PercentDriven;
