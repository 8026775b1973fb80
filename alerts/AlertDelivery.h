// Puts an alert in front of the user: as a notification bubble of the shell
// (shown on the device's screen and sent to the desktop), or as an SMS to the
// number the user gave. Also shows the maker's notices as bubbles.
#pragma once

#include "platform/win.h"

#include <cstdint>
#include <memory>
#include <string>

// Id of the next bubble; grows by one per bubble for the life of the process.
extern std::int32_t NotificationId;
constexpr std::int32_t kFirstNotificationId = 10000;

// The SMS text and recipient that BuildSmsAlertText fills and SendSmsText
// sends. The recipient holds up to 256 units, the most SendSmsText copies.
constexpr int kSmsTextBufferSize = 1500;
constexpr int kSmsPhoneBufferSize = 257;
extern char16_t SmsTextBuffer[kSmsTextBufferSize];
extern char16_t SmsPhoneBuffer[kSmsPhoneBufferSize];

// Capacity of a bubble's page in UTF-16 units, terminator included.
constexpr int kBubblePageSize = 1500;

// A notification record with the soft-key command table it points to.
struct Notification {
    SHNOTIFICATIONDATA data{};
    SOFTKEYCMD commands[2]{};
};

// A new record: size 88, the next id, the program's class id, the main
// window as sink, SHNF_HASMENU with menu 102 ("Ok" 10 dismisses, "Cancel" 2
// hides). Every other member is zero.
std::unique_ptr<Notification> NewNotification();

// Gives a record the alert presentation (icon 137, SHNP_INFORM, 40 seconds,
// title "新通知") and the page, and adds it.
void ApplyAlertPresentation(Notification& notification, const char16_t* page);
// Converts an 8-bit page to UTF-16 (cut to the 1500-unit buffer) and shows it
// as a new bubble with the alert presentation.
void ShowAlertBubble(const std::string& page);

// Shows an important-notice text (8-bit) from the maker's web server as a
// bubble headed "温馨提示". The text is inserted as it is (markup included).
void ShowNoticeBubble(const std::string& text);
// The notice page as 8-bit text, before the conversion.
std::string ComposeNoticeHtml(const std::string& text);

// Sends `text` to `recipient` through the device's SMS service: class 1, no
// status report, the default service centre. Silent when the service cannot
// be opened or refuses the message.
void SendSmsText(const char16_t* recipient, const char16_t* text);
