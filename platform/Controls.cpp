// Registers the control classes with the window manager.
#include "platform/Controls.h"

#include "platform/CtlCommon.h"

namespace platform {

void RegisterControlClasses() {
    struct ClassInfo {
        const char16_t* name;
        WNDPROC proc;
    };
    static const ClassInfo classes[] = {
        {WC_STATIC, ctl::StaticWndProc},
        {WC_EDIT, ctl::EditWndProc},
        {WC_BUTTON, ctl::ButtonWndProc},
        {WC_COMBOBOX, ctl::ComboWndProc},
        {ctl::kComboListClass, ctl::ComboListWndProc},
        {WC_LISTVIEW, ctl::ListViewWndProc},
        {UPDOWN_CLASS, ctl::UpDownWndProc},
    };
    // Registering a class that exists already fails harmlessly, so this may
    // run more than once (the window manager of a test may start afresh).
    for (const ClassInfo& info : classes) {
        WNDCLASS wc{};
        wc.lpfnWndProc = info.proc;
        wc.lpszClassName = info.name;
        wc.cbWndExtra = sizeof(void*); // the control's state
        RegisterClass(&wc);
    }
}

} // namespace platform
