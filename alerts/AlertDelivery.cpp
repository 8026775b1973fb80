// Alert delivery: notification bubbles through SHNotificationAdd, SMS
// through the device's SMS service, and the push channels' outbox.
#include "alerts/AlertDelivery.h"

#include "alerts/AlertTexts.h"
#include "common/DialogSupport.h"
#include "common/ProgramState.h"
#include "common/QuoteRecord.h"
#include "common/ShellState.h"
#include "platform/Sms.h"
#include "platform/Text.h"
#include "platform/loop.h"
#include "push/Outbox.h"
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

void CopyToBuffer(const std::u16string& text, char16_t* buffer, int capacity) {
    if (capacity <= 0) {
        return;
    }
    size_t n = text.size();
    if (n > static_cast<size_t>(capacity - 1)) {
        n = static_cast<size_t>(capacity - 1);
        if (n > 0 && text[n - 1] >= 0xD800 && text[n - 1] <= 0xDBFF) {
            --n;
        }
    }
    text.copy(buffer, n);
    buffer[n] = 0;
}

void ShowAlertBubble(const std::string& page) {
    std::unique_ptr<Notification> n = NewNotification();
    char16_t buffer[kBubblePageSize];
    CopyToBuffer(AnsiToWide(page), buffer, kBubblePageSize);
    ApplyAlertPresentation(*n, buffer);
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

void ShowPushFailureBubble(const std::string& channel, const std::string& reason) {
    ShowAlertBubble(ComposePushFailureHtml(channel, reason));
}

void BuildSmsAlertText(const std::string& code, const std::string& name, const std::string& latest,
                       const std::string& sideValue, double target, const std::string& kind,
                       const std::string& updateTime) {
    CopyToBuffer(
        AnsiToWide(ComposeSmsAlertText(code, name, latest, sideValue, target, kind, updateTime)),
        SmsTextBuffer, kSmsTextBufferSize);
    CopyToBuffer(AnsiToWide(Settings.SmsPhone), SmsPhoneBuffer, kSmsPhoneBufferSize);
}

void BuildBubbleAlertHtml(const std::string& code, const std::string& name,
                          const std::string& latest, const std::string& sideValue, double target,
                          const std::string& kind, const std::string& updateTime) {
    ShowAlertBubble(
        ComposeBubbleAlertHtml(code, name, latest, sideValue, target, kind, updateTime));
}

namespace {

push::Outbox* PushOutbox = nullptr;
std::unique_ptr<push::Outbox> OwnedOutbox;

std::string Utf8(const std::string& gbk) {
    return platform::Utf16ToUtf8(AnsiToWide(gbk));
}

// The alert for the push channels: the SMS road's plain text under the
// program's name.
void SubmitToPush(const QuoteRecord& r, const std::string& sideValue, double target,
                  const std::string& kind) {
    if (PushOutbox == nullptr) {
        return;
    }
    push::Message m;
    m.title = platform::Utf16ToUtf8(u"瞰市");
    m.text =
        Utf8(ComposeSmsAlertText(r.code, r.name, r.latest, sideValue, target, kind, r.updateTime));
    m.code = Utf8(r.code);
    m.name = Utf8(r.name);
    m.price = Utf8(r.latest);
    m.target = FormatDouble("%.2f", target);
    m.side = Utf8(sideValue);
    m.time = Utf8(r.updateTime);
    m.kind = kind;
    PushOutbox->Submit(m);
}

} // namespace

void DeliverAlert(const QuoteRecord& r, const std::string& sideValue, double target,
                  const std::string& kind) {
    if (Settings.NotifyMethod == "t") {
        BuildBubbleAlertHtml(r.code, r.name, r.latest, sideValue, target, kind, r.updateTime);
    } else if (Settings.NotifyMethod == "s") {
        BuildSmsAlertText(r.code, r.name, r.latest, sideValue, target, kind, r.updateTime);
        SendSmsText(SmsPhoneBuffer, SmsTextBuffer);
    } else {
        // No method chosen yet: nothing is delivered anywhere; the alert is
        // consumed all the same.
        return;
    }
    SubmitToPush(r, sideValue, target, kind);
}

void SetPushOutbox(push::Outbox* outbox) {
    PushOutbox = outbox;
}

std::vector<std::string> StartPushDelivery(const std::filesystem::path& config,
                                           const std::filesystem::path& folder) {
    std::vector<std::string> told;
    push::Config c = push::LoadConfig(config);
    if (!c.refused.empty()) {
        told.push_back(c.refused);
    }
    for (const push::ConfigError& e : c.errors) {
        told.push_back(config.string() + ":" + std::to_string(e.line) + ": " + e.text +
                       "; this line is skipped");
    }
    if (c.channels.empty()) {
        return told;
    }
    push::Outbox::Options options;
    options.onGiveUp = [](const std::string& channel, const std::string& reason) {
        platform::RunOnUiThread([channel, reason] { ShowPushFailureBubble(channel, reason); });
    };
    StopPushDelivery();
    OwnedOutbox = std::make_unique<push::Outbox>(folder, std::move(c.channels), options);
    OwnedOutbox->Start();
    PushOutbox = OwnedOutbox.get();
    return told;
}

void StopPushDelivery() {
    if (OwnedOutbox) {
        OwnedOutbox->Stop();
        if (PushOutbox == OwnedOutbox.get()) {
            PushOutbox = nullptr;
        }
        OwnedOutbox.reset();
    }
}

namespace {

// These values go back to their start with the rest of the program's state.
[[maybe_unused]] const bool kStateResetRegistered = RegisterStateReset([] {
    NotificationId = kFirstNotificationId;
    std::fill(std::begin(SmsTextBuffer), std::end(SmsTextBuffer), u'\0');
    std::fill(std::begin(SmsPhoneBuffer), std::end(SmsPhoneBuffer), u'\0');
});

} // namespace
