// Puts an alert in front of the user: as a notification bubble of the shell
// (shown on the device's screen and sent to the desktop), or as an SMS to the
// number the user gave, and through every configured push channel. Also
// shows the maker's notices as bubbles. The words come from AlertTexts.
#pragma once

#include "platform/win.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

struct QuoteRecord;
namespace push {
class Outbox;
}

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
// Shows that push channel `channel` (masked) gave up on an alert, and why.
void ShowPushFailureBubble(const std::string& channel, const std::string& reason);

// Copies `text` into a zero-terminated buffer of `capacity` units, cutting it
// (never inside a surrogate pair) when it does not fit.
void CopyToBuffer(const std::u16string& text, char16_t* buffer, int capacity);
// Fills SmsTextBuffer with the SMS text and SmsPhoneBuffer with
// Settings.SmsPhone, both converted to UTF-16 (cut to their buffers).
void BuildSmsAlertText(const std::string& code, const std::string& name, const std::string& latest,
                       const std::string& sideValue, double target, const std::string& kind,
                       const std::string& updateTime);
// Builds the bubble's page and shows it as a bubble with the alert
// presentation.
void BuildBubbleAlertHtml(const std::string& code, const std::string& name,
                          const std::string& latest, const std::string& sideValue, double target,
                          const std::string& kind, const std::string& updateTime);

// Delivers alert `kind` of record `r` by the chosen notification method
// ("t" bubble, "s" SMS) and, with either, through every push channel; with
// no method chosen, nowhere.
void DeliverAlert(const QuoteRecord& r, const std::string& sideValue, double target,
                  const std::string& kind);

// The push channels: reads push.conf at `config`, opens the outbox in
// `folder` and starts its sending thread; a channel that gives up shows a
// bubble. Returns what to tell the user about push.conf (a refused file,
// lines that cannot be read), one line each.
std::vector<std::string> StartPushDelivery(const std::filesystem::path& config,
                                           const std::filesystem::path& folder);
void StopPushDelivery();
// The outbox alerts go to (none: no push channels); for tests.
void SetPushOutbox(push::Outbox* outbox);

// Sends `text` to `recipient` through the device's SMS service: class 1, no
// status report, the default service centre. Silent when the service cannot
// be opened or refuses the message.
void SendSmsText(const char16_t* recipient, const char16_t* text);
