// Connection set-up, the HTTP exchange with the quote server, the request
// texts and the reply test. See HttpFetch.h for the contract.
#include "net/HttpFetch.h"

#include "common/Captions.h"
#include "common/ProgramState.h"
#include "common/QuoteRecord.h"
#include "platform/connmgr.h"
#include "platform/device.h"
#include "platform/winsock.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

namespace {

constexpr double kBytesPerMegabyte = 1048576.0;

int gDeadlineMs = kFetchDeadlineMs;

using Clock = std::chrono::steady_clock;

// Milliseconds left until `deadline`, at least 1 while any time is left (a
// socket time-out of 0 would mean no limit at all), 0 once it has passed.
DWORD RemainingMs(Clock::time_point deadline) {
    auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<DWORD>(left) : 0;
}

bool SetTimeout(SOCKET s, int option, DWORD ms) {
    return setsockopt(s, SOL_SOCKET, option, reinterpret_cast<const char*>(&ms), sizeof ms) == 0;
}

// Ends a fetch that failed after the socket was made.
int Abandon(SOCKET s) {
    closesocket(s);
    WSACleanup();
    return -1;
}

std::string RequestFor(const char* requestLine) {
    std::string request = requestLine;
    request += "\r\n";
    request += "Host: ";
    request += platform::Device().serverHost;
    request += "\r\n";
    request += "Connection: Close\r\n";
    request += "User-agent:Mozilla/4.0\r\n";
    request += "Accept-language:zh-cn\r\n";
    request += "\r\n";
    return request;
}

} // namespace

int EstablishConnection() {
    CONNMGR_CONNECTIONINFO info{};
    info.cbSize = kConnMgrConnectionInfoSize;
    info.dwParams = CONNMGR_PARAM_GUIDDESTNET;
    info.dwFlags = Settings.ConnectionMethod == "1" ? CONNMGR_FLAG_PROXY_HTTP : 0;
    info.dwPriority = CONNMGR_PRIORITY_HIPRIBKGND;
    info.bExclusive = FALSE;
    info.bDisabled = FALSE;
    info.guidDestNet = IID_DestNetInternet;
    HANDLE connection = nullptr;
    DWORD status = 0;
    HRESULT hr = ConnMgrEstablishConnectionSync(&info, &connection, kConnectionWaitMs, &status);
    // The handle is released at once; the Connection Manager keeps the
    // connection cached, and the next series asks for it again anyway.
    if (connection != nullptr) {
        ConnMgrReleaseConnection(connection, 1);
    }
    if (FAILED(hr)) {
        return -1;
    }
    return status == CONNMGR_STATUS_CONNECTED ? 0 : -1;
}

int HttpFetch(std::string request) {
    // A request that does not fit the 500-byte buffer with its NUL is never
    // sent in part: a cut request would ask for something else.
    if (request.size() >= static_cast<std::size_t>(kRequestBufferSize)) {
        return -1;
    }
    const std::string& method = Settings.ConnectionMethod;
    if (method != "1" && method != "2" && method != "3") {
        return -1; // no connection method chosen: there is no peer
    }

    WSADATA wsaData;
    if (WSAStartup(0x0002, &wsaData) != 0) {
        return -1;
    }
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    if (s == INVALID_SOCKET) {
        WSACleanup();
        return -1;
    }

    const platform::DeviceConfig& device = platform::Device();
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    if (method == "1") {
        // CMWAP: the operator's gateway is the HTTP proxy; no name is
        // resolved, the request still names the quote server.
        std::uint32_t address = inet_addr(device.gatewayAddress.c_str());
        if (address == INADDR_NONE) {
            return Abandon(s);
        }
        peer.sin_addr.s_addr = address;
        peer.sin_port = htons(device.gatewayPort);
    } else {
        hostent* host = gethostbyname(device.serverHost.c_str());
        if (host == nullptr || host->h_addr_list == nullptr || host->h_addr_list[0] == nullptr) {
            MessageBox(nullptr, kServerAddressNotFoundText, kShellCaption, MB_OK | MB_ICONERROR);
            WSACleanup(); // releases the socket too
            return -1;
        }
        std::memcpy(&peer.sin_addr.s_addr, host->h_addr_list[0], sizeof peer.sin_addr.s_addr);
        peer.sin_port = htons(device.serverPort);
    }

    // One deadline bounds the connect and the whole exchange, so that a peer
    // that never answers, never closes or drips bytes cannot hold the
    // program: a socket time-out alone would restart with every byte.
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(gDeadlineMs);
    if (!SetTimeout(s, SO_SNDTIMEO, RemainingMs(deadline))) {
        return Abandon(s);
    }
    if (connect(s, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0) {
        return Abandon(s);
    }
    DWORD left = RemainingMs(deadline);
    if (left == 0 || !SetTimeout(s, SO_SNDTIMEO, left)) {
        return Abandon(s);
    }

    char requestBuffer[kRequestBufferSize] = {};
    std::memcpy(requestBuffer, request.data(), request.size());
    int sent = send(s, requestBuffer, static_cast<int>(request.size()), 0);

    std::vector<char> reply(kReplyBufferSize, '\0');
    int fill = 0;
    if (sent >= 1) {
        while (fill < kReplyBufferSize) {
            left = RemainingMs(deadline);
            if (left == 0 || !SetTimeout(s, SO_RCVTIMEO, left)) {
                return Abandon(s); // the deadline passed: a failed fetch
            }
            int n = recv(s, reply.data() + fill, kReplyBufferSize - fill, 0);
            if (n == SOCKET_ERROR) {
                return Abandon(s);
            }
            if (n == 0) {
                break;
            }
            fill += n;
        }
    }
    closesocket(s);
    WSACleanup();

    double megabytes = fill / kBytesPerMegabyte;
    RunTraffic += megabytes;
    Settings.MonthTraffic += megabytes;

    const char* end = static_cast<const char*>(std::memchr(reply.data(), '\0', fill));
    std::size_t length = end ? static_cast<std::size_t>(end - reply.data()) : fill;
    // The quote server writes UTF-8; the parser and the reply test look for
    // GBK texts. Wi-Fi replies come from the same server and are re-encoded
    // the same way, or they could never pass the test.
    // 502, 503 or 504: the quote server (or a gateway before it) could not
    // reach the market. That is a failed fetch, not a page without a quote.
    if (IsUnreachableStatus(std::string_view(reply.data(), length))) {
        return -1;
    }
    LastReply = ReplyToDeviceText(std::string(reply.data(), length));
    return 0;
}

bool IsUnreachableStatus(std::string_view reply) {
    // "HTTP/1.x 503 ..."
    if (reply.size() < 12 || reply.substr(0, 7) != "HTTP/1." || reply[8] != ' ') {
        return false;
    }
    const std::string_view code = reply.substr(9, 3);
    if (reply.size() > 12 && reply[12] != ' ' && reply[12] != '\r') {
        return false;
    }
    return code == "502" || code == "503" || code == "504";
}

std::string ReplyToDeviceText(const std::string& utf8) {
    if (utf8.empty()) {
        return std::string();
    }
    int length = static_cast<int>(std::min<std::size_t>(utf8.size(), INT32_MAX));
    int wideLength = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, nullptr, 0);
    if (wideLength <= 0) {
        return std::string();
    }
    std::u16string wide(static_cast<std::size_t>(wideLength), u'\0');
    wideLength = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, wide.data(), wideLength);
    if (wideLength <= 0) {
        return std::string();
    }
    int narrowLength =
        WideCharToMultiByte(CP_ACP, 0, wide.data(), wideLength, nullptr, 0, nullptr, nullptr);
    if (narrowLength <= 0) {
        return std::string();
    }
    std::string narrow(static_cast<std::size_t>(narrowLength), '\0');
    narrowLength = WideCharToMultiByte(CP_ACP, 0, wide.data(), wideLength, narrow.data(),
                                       narrowLength, nullptr, nullptr);
    narrow.resize(narrowLength > 0 ? static_cast<std::size_t>(narrowLength) : 0);
    return narrow;
}

bool ReplyIsQuotePage(const char* marker) {
    std::size_t ok = LastReply.find("200 OK");
    if (ok == std::string::npos || ok == 0) {
        return false;
    }
    if (marker == nullptr || *marker == '\0') {
        return true;
    }
    std::size_t m = LastReply.find(marker);
    return m != std::string::npos && m > 0;
}

bool ReplyIsQuotePage(const std::string& marker) {
    return ReplyIsQuotePage(marker.c_str());
}

std::string BuildStockRequest(const std::string& code) {
    std::string line = "GET /prog/wapsite/stock/stockquery.php?code=";
    line += code;
    line += "&vt=2 HTTP/1.1";
    return RequestFor(line.c_str());
}

std::string BuildShIndexRequest() {
    return RequestFor("GET /prog/wapsite/stock/sh_stockquery.php?vt=2 HTTP/1.1");
}

std::string BuildSzIndexRequest() {
    return RequestFor("GET /prog/wapsite/stock/sz_stockquery.php?vt=2 HTTP/1.1");
}

std::string BuildMarketIndexRequest() {
    return RequestFor("GET /prog/wapsite/stock/stockquery.php?code=000001&vt=2 HTTP/1.1");
}

std::string BuildQuoteRequest(const std::string& code) {
    if (code == "999998") {
        return BuildShIndexRequest();
    }
    if (code == "999999") {
        return BuildSzIndexRequest();
    }
    return BuildStockRequest(code);
}

const char16_t* ConnectionFailureShortText(const std::string& method) {
    if (method == "1") {
        return u"GRPS连接失败，请检查GPRS CMWAP设置是否正确！";
    }
    if (method == "2") {
        return u"GRPS连接失败，请检查GPRS CMNET设置是否正确！";
    }
    if (method == "3") {
        return u"连接失败，请检查Wi-Fi设置是否正确！";
    }
    return nullptr;
}

const char16_t* ConnectionFailureLongText(const std::string& method) {
    if (method == "1") {
        return u"GRPS连接失败，请检查GPRS CMWAP设置是否正确！如需改变上网方式，请退出后重新登录。";
    }
    if (method == "2") {
        return u"GRPS连接失败，请检查GPRS CMNET设置是否正确！如需改变上网方式，请退出后重新登录。";
    }
    return ConnectionFailureShortText(method);
}

void SetFetchDeadlineForTesting(int ms) {
    gDeadlineMs = ms > 0 ? ms : kFetchDeadlineMs;
}

namespace {

// These values go back to their start with the rest of the program's state.
[[maybe_unused]] const bool kStateResetRegistered =
    RegisterStateReset([] { gDeadlineMs = kFetchDeadlineMs; });

} // namespace
