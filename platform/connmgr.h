// The Connection Manager stand-in: the one call the program makes to bring
// up the device's data connection. It reports a connection when the device's
// network is up (platform::Device().networkUp), which a test can take down.
#pragma once

#include "platform/win.h"

struct CONNMGR_CONNECTIONINFO {
    DWORD cbSize;
    DWORD dwParams;
    DWORD dwFlags;
    DWORD dwPriority;
    BOOL bExclusive;
    BOOL bDisabled;
    GUID guidDestNet;
    HWND hWnd;
    UINT uMsg;
    LPARAM lParam;
    unsigned long ulMaxCost;
    unsigned long ulMinRcvBw;
    unsigned long ulMaxConnLatency;
};
// The record's size on the phone; programs put this into cbSize.
constexpr DWORD kConnMgrConnectionInfoSize = 64;

constexpr DWORD CONNMGR_PARAM_GUIDDESTNET = 0x1;
constexpr DWORD CONNMGR_PARAM_MAXCOST = 0x2;
constexpr DWORD CONNMGR_PARAM_MINRCVBW = 0x4;
constexpr DWORD CONNMGR_PARAM_MAXCONNLATENCY = 0x8;
constexpr DWORD CONNMGR_FLAG_PROXY_HTTP = 0x1;
constexpr DWORD CONNMGR_FLAG_PROXY_WAP = 0x2;
constexpr DWORD CONNMGR_FLAG_PROXY_SOCKS4 = 0x4;
constexpr DWORD CONNMGR_FLAG_PROXY_SOCKS5 = 0x8;
constexpr DWORD CONNMGR_PRIORITY_USERINTERACTIVE = 0x8000;
constexpr DWORD CONNMGR_PRIORITY_HIPRIBKGND = 0x0200;
constexpr DWORD CONNMGR_PRIORITY_LOWBKGND = 0x0008;

constexpr DWORD CONNMGR_STATUS_UNKNOWN = 0x00;
constexpr DWORD CONNMGR_STATUS_CONNECTED = 0x10;
constexpr DWORD CONNMGR_STATUS_DISCONNECTED = 0x20;
constexpr DWORD CONNMGR_STATUS_CONNECTIONFAILED = 0x21;
constexpr DWORD CONNMGR_STATUS_NOPATHTODESTINATION = 0x28;

// The Internet destination network {436EF144-B4FB-4863-A041-8F905A62C572}.
inline constexpr GUID IID_DestNetInternet = {
    0x436EF144, 0xB4FB, 0x4863, {0xA0, 0x41, 0x8F, 0x90, 0x5A, 0x62, 0xC5, 0x72}};

// Brings up a connection to info->guidDestNet, waiting at most timeoutMs.
// S_OK with *status CONNMGR_STATUS_CONNECTED and a handle when the device's
// network is up and the destination is the Internet; E_FAIL with a failure
// status otherwise. The handle is released with ConnMgrReleaseConnection.
HRESULT ConnMgrEstablishConnectionSync(CONNMGR_CONNECTIONINFO* info, HANDLE* connection,
                                       DWORD timeoutMs, DWORD* status);
HRESULT ConnMgrReleaseConnection(HANDLE connection, LONG cache);

namespace platform {
// Tests only: the request of the last ConnMgrEstablishConnectionSync call,
// and how many calls were made.
CONNMGR_CONNECTIONINFO LastConnMgrRequestForTesting();
int ConnMgrRequestCountForTesting();
} // namespace platform
