// Alert delivery: notification bubbles through SHNotificationAdd and SMS
// through the device's SMS service.
#include "alerts/AlertDelivery.h"

#include "alerts/AlertTexts.h"
#include "common/DialogSupport.h"
#include "common/ProgramState.h"
#include "common/ShellState.h"
#include "platform/Sms.h"
#include "res/ResourceIds.h"

#include <algorithm>
#include <iterator>

std::int32_t NotificationId = kFirstNotificationId;
char16_t SmsTextBuffer[kSmsTextBufferSize] = {};
char16_t SmsPhoneBuffer[kSmsPhoneBufferSize] = {};

namespace {

// {A3FFDEB2-ADA2-476E-81C6-AEDEDD7C4B42}: the same class id for every bubble.
constexpr CLSID kBubbleClassId = {
    0xA3FFDEB2, 0xADA2, 0x476E, {0x81, 0xC6, 0xAE, 0xDE, 0xDD, 0x7C, 0x4B, 0x42}};

constexpr UINT kOkCommand = 10;
constexpr DWORD kBubbleSeconds = 40;

} // namespace

std::unique_ptr<Notification> NewNotification() {
    auto n = std::make_unique<Notification>();
    n->data.cbStruct = kShNotificationDataSize;
    n->data.dwID = static_cast<DWORD>(NotificationId);
    ++NotificationId;
    n->data.clsid = kBubbleClassId;
    n->data.hwndSink = Shell.mainWindow;
    n->data.grfFlags = SHNF_HASMENU;
    n->commands[0] = SOFTKEYCMD{kOkCommand, NOTIF_SOFTKEY_FLAGS_DISMISS};
    n->commands[1] = SOFTKEYCMD{static_cast<WPARAM>(IDCANCEL), NOTIF_SOFTKEY_FLAGS_HIDE};
    n->data.skm.hMenu = LoadMenu(Shell.instance, MAKEINTRESOURCE(IDM_NOTIFICATION));
    n->data.skm.prgskc = n->commands;
    n->data.skm.cskc = 2;
    return n;
}

void ApplyAlertPresentation(Notification& notification, const char16_t* page) {
    notification.data.npPriority = SHNP_INFORM;
    notification.data.csDuration = kBubbleSeconds;
    notification.data.hicon = LoadIcon(Shell.instance, MAKEINTRESOURCE(IDI_STOCKAT));
    notification.data.pszTitle = u"新通知";
    notification.data.pszHTML = page;
    // The platform copies what it needs (the page, the soft keys' captions
    // and commands), so the page may end with the caller and the menu goes.
    SHNotificationAdd(&notification.data);
    if (notification.data.skm.hMenu != nullptr) {
        DestroyMenu(notification.data.skm.hMenu);
        notification.data.skm.hMenu = nullptr;
    }
}

void ShowAlertBubble(const std::string& page) {
    std::unique_ptr<Notification> n = NewNotification();
    char16_t buffer[kBubblePageSize];
    CopyToBuffer(AnsiToWide(page), buffer, kBubblePageSize);
    ApplyAlertPresentation(*n, buffer);
}

std::string ComposeNoticeHtml(const std::string& text) {
    std::string page =
        WideToAnsi(u"<html><body><form method=\"POST\" action=><p><font size=6 宋体 "
                   u"color=\"#0000FF\"><b><strong>温馨提示</strong></b></font><br></br>");
    page += text;
    page += "</p><p align=right></p></body></html>";
    return page;
}

void ShowNoticeBubble(const std::string& text) {
    ShowAlertBubble(ComposeNoticeHtml(text));
}

void SendSmsText(const char16_t* recipient, const char16_t* text) {
    SMS_HANDLE sms = nullptr;
    if (FAILED(SmsOpen(SMS_MSGTYPE_TEXT, SMS_MODE_SEND, nullptr, &sms))) {
        // No SMS service on this device: nothing is sent, nothing said.
        return;
    }
    SMS_ADDRESS destination{};
    destination.smsatAddressType = SMSAT_INTERNATIONAL;
    // At most 256 units of the number, and always a terminator.
    int n = 0;
    if (recipient != nullptr) {
        while (n < SMS_MAX_ADDRESS_LENGTH - 1 && recipient[n] != 0) {
            destination.ptsAddress[n] = recipient[n];
            ++n;
        }
    }
    destination.ptsAddress[n] = 0;

    // The text provider's block: zero but for the message class (no status
    // report, no replacement, no header data).
    TEXT_PROVIDER_SPECIFIC_DATA provider{};
    provider.dwMessageOptions = PS_MESSAGE_OPTION_NONE;
    provider.psMessageClass = PS_MESSAGE_CLASS1;
    provider.psReplaceOption = PSRO_NONE;
    provider.dwHeaderDataSize = 0;

    DWORD units = 0;
    if (text != nullptr) {
        while (text[units] != 0) {
            ++units;
        }
    }
    SMS_MESSAGE_ID id = 0;
    // The service's answer is not examined: a refused message is dropped.
    SmsSendMessage(sms, nullptr, &destination, nullptr, reinterpret_cast<const BYTE*>(text),
                   units * 2, reinterpret_cast<const BYTE*>(&provider), sizeof(provider),
                   SMSDE_OPTIMAL, SMS_OPTION_DELIVERY_NONE, &id);
    SmsClose(sms);
}

namespace {

// These values go back to their start with the rest of the program's state.
[[maybe_unused]] const bool kStateResetRegistered = RegisterStateReset([] {
    NotificationId = kFirstNotificationId;
    std::fill(std::begin(SmsTextBuffer), std::end(SmsTextBuffer), u'\0');
    std::fill(std::begin(SmsPhoneBuffer), std::end(SmsPhoneBuffer), u'\0');
});

} // namespace
