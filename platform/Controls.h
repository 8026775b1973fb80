// The predefined control classes: static, edit, button, combo box, list view
// ("SysListView32") and up-down ("msctls_updown32"). Each is an ordinary
// window class whose procedure uses the public window API of win.h, so the
// window manager treats controls like any other child window.
#pragma once

namespace platform {

// Registers the control classes; safe to call more than once. The window
// manager calls it from InitCommonControls and before the first window is
// made.
void RegisterControlClasses();

} // namespace platform
