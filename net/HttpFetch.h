// The program's only road to the network: bringing up the data connection
// (EstablishConnection), one HTTP/1.1 GET per TCP connection (HttpFetch),
// the shared reply text and traffic counters, the request texts for the quote
// server's pages, the success test on a reply, and the texts that callers show
// when a fetch fails.
//
// All of it runs on the user-interface thread and blocks it. A fetch is
// bounded by one overall deadline (connect plus the whole exchange, 20 s by
// default) so that a server that accepts and then never answers, never
// closes, or drips bytes cannot freeze the program; an expired fetch fails
// like a receive error (-1, LastReply unchanged, nothing counted).
#pragma once

#include "common/ProgramState.h"

#include <string>
#include <string_view>

// The shared reply text LastReply and the traffic counter RunTraffic that a
// fetch fills are declared in common/ProgramState.h.

// Limits of one exchange: the request is sent from a 500-byte buffer (so at
// most 499 bytes of it), and at most 50,000 reply bytes are read.
constexpr int kRequestBufferSize = 500;
constexpr int kReplyBufferSize = 50000;
// Default overall deadline of one fetch, and the Connection Manager's wait.
constexpr int kFetchDeadlineMs = 20000;
constexpr int kConnectionWaitMs = 20000;

// Brings up the Internet connection through the Connection Manager (proxied
// for ConnectionMethod "1"). Returns 0 when connected, -1 otherwise; shows
// nothing.
int EstablishConnection();

// Sends the complete 8-bit request text unchanged over a new TCP connection
// to the peer of the ConnectionMethod (the gateway for "1", the resolved
// quote server for "2" and "3"), reads the reply until the server closes
// (at most 50,000 bytes), adds its size to RunTraffic and
// Settings.MonthTraffic, re-encodes it from UTF-8 to GBK and stores it in
// LastReply. Returns 0 on success (a failed send gives 0 with an empty
// LastReply), -1 on failure, which includes a reply of status 502, 503 or
// 504 (the server could not reach the market: counted, LastReply
// unchanged), so that callers show the connection-failure text. When the quote server's name cannot
// be resolved it shows the message box kServerAddressNotFoundText.
int HttpFetch(std::string request);

// The callers' success test on LastReply: "200 OK" found at a position
// greater than 0 and the content marker (8-bit GBK) found at a position
// greater than 0. A null or empty marker tests "200 OK" alone.
bool ReplyIsQuotePage(const char* marker);
bool ReplyIsQuotePage(const std::string& marker);

// Content markers (GBK) of the callers.
inline constexpr const char* kStockPageMarker =
    "\265\261\307\260\274\333:";                                      // "当前价:", stock pages
inline constexpr const char* kIndexPageMarker = "\327\356 \320\302:"; // "最 新:", index pages
inline constexpr const char* kChangeAmountMarker = "\325\307\265\370\266\356:"; // "涨跌额:"

// The request texts, 8-bit, naming HOST (the device's quote server) in the
// Host header. The request line carries the path alone also when the WAP
// gateway is the peer.
std::string BuildStockRequest(const std::string& code); // stock page of a code
std::string BuildShIndexRequest();                      // "999998", Shanghai composite
std::string BuildSzIndexRequest();                      // "999999", Shenzhen component
std::string BuildMarketIndexRequest();                  // market index view: code 000001
// The request for a watch-list code: an index page for "999998"/"999999",
// the stock page otherwise.
std::string BuildQuoteRequest(const std::string& code);

// What callers show when EstablishConnection or HttpFetch fails, by
// ConnectionMethod; nullptr for any other method value (nothing is shown).
const char16_t* ConnectionFailureShortText(const std::string& method);
const char16_t* ConnectionFailureLongText(const std::string& method);

// Shown by HttpFetch itself when HOST cannot be resolved (CMNET, Wi-Fi).
inline constexpr const char16_t* kServerAddressNotFoundText = u"查找不到服务器IP地址！";
// Market index view: the reply has no "200 OK".
inline constexpr const char16_t* kIndexViewServerBusyText =
    u"1服务器忙，请再试一次！如问题仍然存在，请退出系统重新选择另外连接方式登录。";
// Add flow, choice of an index: 1 = no "200 OK", 2 = "200 OK" without the
// expected content.
inline constexpr const char16_t* kLookupServerBusyNoReplyText =
    u"1服务器忙，请再试一次！如问题仍然存在，请退出系统后选择另外连接方式重新登录。";
inline constexpr const char16_t* kLookupServerBusyNoContentText =
    u"2服务器忙，请再试一次！如问题仍然存在，请退出系统后选择另外连接方式重新登录。";
// Add flow, query by code: no such stock.
inline constexpr const char16_t* kStockNotFoundText = u"没有找到您要查询的股票，请重新输入！";

// Whether a reply's status line says 502, 503 or 504.
bool IsUnreachableStatus(std::string_view reply);

// Re-encodes a reply from UTF-8 to the device's code page (GBK) the way
// HttpFetch does: through UTF-16, with no default character. Bytes that are
// not UTF-8 become U+FFFD first, characters that GBK lacks become "?".
std::string ReplyToDeviceText(const std::string& utf8);

// Tests only: sets the overall deadline of one fetch in real milliseconds;
// 0 or less restores the default.
void SetFetchDeadlineForTesting(int ms);
