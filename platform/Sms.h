// The phone's SMS service (the text provider of its SMS API): SmsOpen,
// SmsSendMessage and SmsClose, with the platform's names and values.
//
// Behind it stands gammu-smsd with its files backend: a message is written
// into the daemon's outbox folder (Device().smsOutbox), which sends it. With
// no outbox configured the device has no SMS service: SmsOpen fails.
// Only sending is supported.
#pragma once

#include "platform/win.h"

namespace platform::sms {
struct Session;
}
using SMS_HANDLE = platform::sms::Session*;
using SMS_MESSAGE_ID = DWORD;

// The text provider, the only one the device has.
inline constexpr const char16_t* SMS_MSGTYPE_TEXT = u"Microsoft Text SMS Protocol";

constexpr DWORD SMS_MODE_RECEIVE = 1;
constexpr DWORD SMS_MODE_SEND = 2;

enum SMS_ADDRESS_TYPE : DWORD {
    SMSAT_UNKNOWN = 0,
    SMSAT_INTERNATIONAL = 1,
    SMSAT_NATIONAL = 2,
    SMSAT_NETWORKSPECIFIC = 3,
    SMSAT_SUBSCRIBER = 4,
    SMSAT_ALPHANUMERIC = 5,
    SMSAT_ABBREVIATED = 6,
};
constexpr int SMS_MAX_ADDRESS_LENGTH = 256;
struct SMS_ADDRESS {
    SMS_ADDRESS_TYPE smsatAddressType;
    WCHAR ptsAddress[SMS_MAX_ADDRESS_LENGTH];
};

enum SMS_DATA_ENCODING : DWORD {
    SMSDE_OPTIMAL = 0,
    SMSDE_GSM = 1,
    SMSDE_UCS2 = 2,
};
constexpr DWORD SMS_OPTION_DELIVERY_NONE = 0x00000000;
constexpr DWORD SMS_OPTION_DELIVERY_NO_RETRY = 0x00000001;

// The text provider's per-message data.
constexpr DWORD PS_MESSAGE_OPTION_NONE = 0x00000000;
constexpr DWORD PS_MESSAGE_OPTION_STATUSREPORT = 0x00000002;
enum PROVIDER_SPECIFIC_MESSAGE_CLASS : DWORD {
    PS_MESSAGE_CLASS0 = 0, // shown at once and not stored ("flash")
    PS_MESSAGE_CLASS1 = 1, // the ordinary message, stored by the phone
    PS_MESSAGE_CLASS2 = 2,
    PS_MESSAGE_CLASS3 = 3,
};
enum PROVIDER_SPECIFIC_REPLACE_OPTION : DWORD {
    PSRO_NONE = 0,
};
constexpr int SMS_DATAGRAM_SIZE = 140;
// 688 bytes, the size programs pass for it; the tail is reserved.
struct TEXT_PROVIDER_SPECIFIC_DATA {
    DWORD dwMessageOptions;
    PROVIDER_SPECIFIC_MESSAGE_CLASS psMessageClass;
    PROVIDER_SPECIFIC_REPLACE_OPTION psReplaceOption;
    DWORD dwHeaderDataSize;
    BYTE pbHeaderData[SMS_DATAGRAM_SIZE];
    BOOL fMessageContainsEMSHeaders;
    DWORD dwProtocolID;
    BYTE reserved[688 - 164];
};
static_assert(sizeof(TEXT_PROVIDER_SPECIFIC_DATA) == 688);

// Error results (all negative).
constexpr HRESULT SMS_E_INVALIDPARAMETER = static_cast<HRESULT>(0x80070057);
constexpr HRESULT SMS_E_NOSERVICE = static_cast<HRESULT>(0x82000001);
constexpr HRESULT SMS_E_INVALIDPROTOCOL = static_cast<HRESULT>(0x82000002);
constexpr HRESULT SMS_E_INVALIDHANDLE = static_cast<HRESULT>(0x82000003);
constexpr HRESULT SMS_E_SENDFAILED = static_cast<HRESULT>(0x82000004);

// Opens the provider `protocol` (SMS_MSGTYPE_TEXT) in SMS_MODE_SEND. The
// event is not supported and must be null. Fails with SMS_E_NOSERVICE when
// the device has no SMS service.
HRESULT SmsOpen(LPCWSTR protocol, DWORD modes, HANDLE* messageAvailableEvent, SMS_HANDLE* handle);
// Sends `data` (UTF-16 text, `dataSize` bytes) to `destination`. The service
// centre, the validity period and the encoding are the gateway's choice.
// `providerData` is a TEXT_PROVIDER_SPECIFIC_DATA (class 0 goes out as a
// flash message, PS_MESSAGE_OPTION_STATUSREPORT asks for a delivery report).
// A recipient that is empty or not a phone number (digits, '*' and '#',
// with an optional leading '+') is refused with SMS_E_INVALIDPARAMETER.
HRESULT SmsSendMessage(SMS_HANDLE handle, const SMS_ADDRESS* smscAddress,
                       const SMS_ADDRESS* destination, const SYSTEMTIME* validityPeriod,
                       const BYTE* data, DWORD dataSize, const BYTE* providerData,
                       DWORD providerDataSize, SMS_DATA_ENCODING encoding, DWORD options,
                       SMS_MESSAGE_ID* messageId);
HRESULT SmsClose(SMS_HANDLE handle);
