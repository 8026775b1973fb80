// Fuzzes the notification bubble: any page (as UTF-16, odd bytes and lone
// surrogates included) on any screen size is turned into lines and drawn
// over the screen without a crash, a hang or a write outside the canvas.

#include "platform/Canvas.h"
#include "platform/device.h"
#include "platform/frontend.h"
#include "platform/observe.h"
#include "platform/win.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    platform::observe::ResetForTests();
    // Only the on-screen part is fuzzed, never the desktop's service.
    platform::Device().desktopNotifications = false;
    platform::SetScreenSize(20 + data[0] % 100, 6 + data[1] % 50);
    std::u16string page;
    for (std::size_t i = 2; i + 1 < size; i += 2) {
        page.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    }
    SHNOTIFICATIONDATA n{};
    n.cbStruct = kShNotificationDataSize;
    n.csDuration = 40;
    n.pszTitle = page.c_str();
    n.pszHTML = page.c_str();
    SHNotificationAdd(&n);
    platform::Canvas screen;
    platform::observe::ComposeNow(screen);
    return 0;
}
