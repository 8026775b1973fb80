// The Connection Manager stand-in. There is no radio to bring up: a request
// for the Internet destination succeeds at once while the device's network is
// up and fails at once while it is down.
#include "platform/connmgr.h"

#include "platform/device.h"

#include <cstring>
#include <mutex>

namespace {

std::mutex gMutex;
CONNMGR_CONNECTIONINFO gLastRequest{};
int gRequestCount = 0;
int gOpenConnections = 0;
// Connection handles are not pointers to anything; one fixed value suffices.
HANDLE const kConnectionHandle = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(0x434D));

bool SameGuid(const GUID& a, const GUID& b) {
    return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3 &&
           std::memcmp(a.Data4, b.Data4, sizeof a.Data4) == 0;
}

} // namespace

HRESULT ConnMgrEstablishConnectionSync(CONNMGR_CONNECTIONINFO* info, HANDLE* connection,
                                       DWORD timeoutMs, DWORD* status) {
    if (info == nullptr || connection == nullptr || status == nullptr || info->cbSize == 0) {
        return E_FAIL;
    }
    {
        std::lock_guard lock(gMutex);
        gLastRequest = *info;
        ++gRequestCount;
    }
    *connection = nullptr;
    bool internet = (info->dwParams & CONNMGR_PARAM_GUIDDESTNET) != 0 &&
                    SameGuid(info->guidDestNet, IID_DestNetInternet);
    if (!internet) {
        *status = CONNMGR_STATUS_NOPATHTODESTINATION;
        return E_FAIL;
    }
    if (!platform::Device().networkUp) {
        *status = CONNMGR_STATUS_CONNECTIONFAILED;
        return E_FAIL;
    }
    std::lock_guard lock(gMutex);
    ++gOpenConnections;
    *connection = kConnectionHandle;
    *status = CONNMGR_STATUS_CONNECTED;
    return S_OK;
}

HRESULT ConnMgrReleaseConnection(HANDLE connection, LONG cache) {
    std::lock_guard lock(gMutex);
    if (connection != kConnectionHandle || gOpenConnections == 0) {
        return E_FAIL;
    }
    --gOpenConnections;
    return S_OK;
}

namespace platform {

CONNMGR_CONNECTIONINFO LastConnMgrRequestForTesting() {
    std::lock_guard lock(gMutex);
    return gLastRequest;
}

int ConnMgrRequestCountForTesting() {
    std::lock_guard lock(gMutex);
    return gRequestCount;
}

} // namespace platform
