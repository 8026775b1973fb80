// The SMS service on gammu-smsd's files backend.
//
// A message becomes one file in the daemon's outbox: UTF-16 text with a
// byte-order mark, which the daemon reads as Unicode whatever its locale.
// The file is written under a hidden temporary name, flushed, and then
// renamed to the outbox naming scheme, so that the daemon never picks up a
// half-written message:
//   OUT<priority><date>_<time>_<serial>_<recipient>_<note>.txt[f][d]
// with priority "A", the device's local date and time, and a note that
// makes the name unique ("stockat<pid>n<count>"); "f" asks for a flash
// message (class 0), "d" for a delivery report.

#include "platform/Sms.h"

#include "platform/clock.h"
#include "platform/device.h"
#include "platform/win.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::sms {

struct Session {
    std::filesystem::path outbox;
};

} // namespace platform::sms

namespace {

using platform::sms::Session;

std::mutex sessionsMutex;
std::set<Session*>& Sessions() {
    static auto* sessions = new std::set<Session*>();
    return *sessions;
}

std::atomic<std::uint32_t> messageCounter{0};

// A phone number: an optional "+", then 1 to 20 digits, "*" or "#". Anything
// else could not be told apart from the file name's other fields.
bool ValidRecipient(const SMS_ADDRESS& address, std::string& out) {
    out.clear();
    for (int i = 0; i < SMS_MAX_ADDRESS_LENGTH && address.ptsAddress[i] != 0; ++i) {
        char16_t c = address.ptsAddress[i];
        bool ok = (c >= u'0' && c <= u'9') || c == u'*' || c == u'#' || (c == u'+' && i == 0);
        if (!ok) {
            return false;
        }
        out.push_back(static_cast<char>(c));
    }
    size_t digits = out.size() - (!out.empty() && out[0] == '+' ? 1 : 0);
    return digits >= 1 && digits <= 20;
}

bool WriteAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

void SyncFolder(const std::filesystem::path& folder) {
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

} // namespace

HRESULT SmsOpen(LPCWSTR protocol, DWORD modes, HANDLE* messageAvailableEvent, SMS_HANDLE* handle) {
    if (handle == nullptr) {
        return SMS_E_INVALIDPARAMETER;
    }
    *handle = nullptr;
    if (messageAvailableEvent != nullptr) {
        *messageAvailableEvent = nullptr;
    }
    if (protocol == nullptr || std::u16string_view(protocol) != SMS_MSGTYPE_TEXT) {
        return SMS_E_INVALIDPROTOCOL;
    }
    if (modes != SMS_MODE_SEND) {
        return SMS_E_INVALIDPARAMETER; // receiving is not supported
    }
    const std::filesystem::path& outbox = platform::Device().smsOutbox;
    std::error_code ec;
    if (outbox.empty() || !std::filesystem::is_directory(outbox, ec)) {
        return SMS_E_NOSERVICE;
    }
    auto* session = new Session{outbox};
    std::lock_guard lock(sessionsMutex);
    Sessions().insert(session);
    *handle = session;
    return S_OK;
}

HRESULT SmsSendMessage(SMS_HANDLE handle, const SMS_ADDRESS* smscAddress,
                       const SMS_ADDRESS* destination, const SYSTEMTIME* validityPeriod,
                       const BYTE* data, DWORD dataSize, const BYTE* providerData,
                       DWORD providerDataSize, SMS_DATA_ENCODING encoding, DWORD options,
                       SMS_MESSAGE_ID* messageId) {
    std::filesystem::path outbox;
    {
        std::lock_guard lock(sessionsMutex);
        if (Sessions().count(handle) == 0) {
            return SMS_E_INVALIDHANDLE;
        }
        outbox = handle->outbox;
    }
    std::string recipient;
    if (destination == nullptr || !ValidRecipient(*destination, recipient)) {
        return SMS_E_INVALIDPARAMETER;
    }
    if ((data == nullptr && dataSize > 0) || dataSize % 2 != 0) {
        return SMS_E_INVALIDPARAMETER; // the text provider takes UTF-16 text
    }
    std::string flags;
    if (providerData != nullptr && providerDataSize > 0) {
        TEXT_PROVIDER_SPECIFIC_DATA ps{};
        if (providerDataSize < offsetof(TEXT_PROVIDER_SPECIFIC_DATA, pbHeaderData)) {
            return SMS_E_INVALIDPARAMETER;
        }
        std::memcpy(&ps, providerData, std::min<size_t>(providerDataSize, sizeof ps));
        if (ps.psMessageClass == PS_MESSAGE_CLASS0) {
            flags += 'f';
        }
        if ((ps.dwMessageOptions & PS_MESSAGE_OPTION_STATUSREPORT) != 0) {
            flags += 'd';
        }
    }

    std::string content = "\xFF\xFE"; // UTF-16 little-endian byte-order mark
    for (DWORD i = 0; i < dataSize; i += 2) {
        // The data holds UTF-16 units in this machine's order; the file
        // holds them little-endian, as its mark says.
        char16_t unit;
        std::memcpy(&unit, data + i, 2);
        content.push_back(static_cast<char>(unit & 0xFF));
        content.push_back(static_cast<char>(unit >> 8));
    }

    std::uint32_t number = ++messageCounter;
    std::string temp = ".stockat-" + std::to_string(getpid()) + "-" + std::to_string(number);
    std::filesystem::path tempPath = outbox / temp;
    int fd = open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        return SMS_E_SENDFAILED;
    }
    bool written = WriteAll(fd, content) && fsync(fd) == 0;
    close(fd);
    if (!written) {
        unlink(tempPath.c_str());
        return SMS_E_SENDFAILED;
    }

    platform::LocalTime now =
        platform::ToLocalTime(platform::Clock().NowEpochMs(), platform::Device().timeZone);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04d%02d%02d_%02d%02d%02d", now.year, now.month, now.day,
                  now.hour, now.minute, now.second);
    // Gammu sends the outbox in the order of the names; the serial keeps the
    // messages of one second in the order they were written.
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::uint32_t serial = attempt == 0 ? number : ++messageCounter;
        char name[160];
        std::snprintf(name, sizeof name, "OUTA%s_%02u_%s_stockat%dn%u.txt%s", stamp,
                      static_cast<unsigned>(serial % 100), recipient.c_str(),
                      static_cast<int>(getpid()), static_cast<unsigned>(serial), flags.c_str());
        std::filesystem::path target = outbox / name;
        int rc = renameat2(AT_FDCWD, tempPath.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE);
        if (rc != 0 && errno == EINVAL) {
            // A file system without RENAME_NOREPLACE: the names are unique
            // to this process, so check, then rename.
            struct stat st;
            rc = lstat(target.c_str(), &st) == 0 ? (errno = EEXIST, -1)
                                                 : std::rename(tempPath.c_str(), target.c_str());
        }
        if (rc == 0) {
            SyncFolder(outbox);
            if (messageId != nullptr) {
                *messageId = serial;
            }
            return S_OK;
        }
        if (errno != EEXIST) {
            break;
        }
    }
    unlink(tempPath.c_str());
    return SMS_E_SENDFAILED;
}

HRESULT SmsClose(SMS_HANDLE handle) {
    std::lock_guard lock(sessionsMutex);
    if (Sessions().erase(handle) == 0) {
        return SMS_E_INVALIDHANDLE;
    }
    delete handle;
    return S_OK;
}
