// The desktop's notification service: a bubble that the shell shows on the
// screen is also sent there (over D-Bus) when the device is configured for
// it and a session bus is there.
#pragma once

#include <string>

namespace platform::desktop {

void Notify(const std::u16string& title, const std::u16string& html);

// The body the service is given for a bubble page: the service's markup
// (<b>, <i>, <u>, with "&", "<" and ">" escaped) when `markup`, plain text
// otherwise; line breaks and paragraphs become newlines, other tags go.
std::u16string BodyFromHtml(const std::u16string& html, bool markup);

} // namespace platform::desktop
