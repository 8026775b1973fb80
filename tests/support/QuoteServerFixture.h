// Quote servers for tests, on 127.0.0.1 at a free port, running in the test
// process on threads of their own:
//
//  - QuoteServerFixture is the bundled quote server itself (server::
//    QuoteServer, the library of stockat-quoted) with a manual clock of its
//    own that the test sets.
//
//      testsupport::QuoteServerFixture server("2026-03-18 10:00");
//      server.PointDevice();                 // the app's HOST and gateway
//      server.SetClock("2026-03-18 10:05");  // the market moves on
//
//  - ScriptedQuoteServer serves the same pages (the simulated market's stock
//    pages, index pages and not-found page, rendered by the server's own
//    page functions) one connection at a time, at the time of the device
//    clock by default, so that a test that advances the device clock moves
//    the market too; it counts the requests and can make single ones fail
//    (the connection is reset instead of answered).
//
//      testsupport::ScriptedQuoteServer server;
//      server.PointDevice();
//      server.FailRequest(3);                // the third request fails
//      ... run a refresh ...
//      EXPECT_EQ(server.requestCount(), 3);
//
//  - ScriptedServer answers each request with whatever its handler returns,
//    or resets the connection: for replies no real server would send.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace server {
class QuoteServer;
}

namespace testsupport {

// What a scripted server does with one request.
struct ScriptedReply {
    // Bytes sent before the connection is closed; nothing with `reset`.
    std::string bytes;
    // Reset the connection (RST) instead of answering: the client's receive
    // fails.
    bool reset = false;
    static ScriptedReply Send(std::string bytes) { return {std::move(bytes), false}; }
    static ScriptedReply Reset() { return {{}, true}; }
};

// A loopback HTTP/1.x peer that reads one request per connection (up to the
// blank line) and answers it through a handler; the handler gets the raw
// request and its 1-based number.
class ScriptedServer {
  public:
    using Handler = std::function<ScriptedReply(const std::string& request, int number)>;
    explicit ScriptedServer(Handler handler);
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    std::uint16_t port() const;
    int requestCount() const;
    // The raw requests received so far, in order.
    std::vector<std::string> requests() const;
    // Points the device's quote server (HOST "127.0.0.1") and WAP gateway at
    // this server.
    void PointDevice() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The path and query of a raw request's request line ("" when there is none).
std::string RequestTarget(const std::string& request);

// The bundled quote server on loopback with a manual clock.
class QuoteServerFixture {
  public:
    // `beijingTime` is "YYYY-MM-DD HH:MM[:SS]" in Asia/Shanghai.
    explicit QuoteServerFixture(const std::string& beijingTime = "2026-03-18 10:00",
                                std::uint64_t seed = 1);
    ~QuoteServerFixture();
    QuoteServerFixture(const QuoteServerFixture&) = delete;
    QuoteServerFixture& operator=(const QuoteServerFixture&) = delete;

    std::uint16_t port() const;
    // Moves the server's clock (forward only) to a Beijing time or an epoch.
    void SetClock(const std::string& beijingTime);
    void SetClockEpochMs(std::int64_t epochMs);
    void PointDevice() const;
    server::QuoteServer& Server() { return *server_; }

  private:
    std::unique_ptr<server::QuoteServer> server_;
};

// Epoch milliseconds of a Beijing local time "YYYY-MM-DD HH:MM[:SS]".
std::int64_t BeijingEpochMs(const std::string& beijingTime);

// The bundled server's pages over a scripted connection: counted, and
// failing on request.
class ScriptedQuoteServer {
  public:
    explicit ScriptedQuoteServer(std::uint64_t seed = 1);
    ~ScriptedQuoteServer();
    ScriptedQuoteServer(const ScriptedQuoteServer&) = delete;
    ScriptedQuoteServer& operator=(const ScriptedQuoteServer&) = delete;

    std::uint16_t port() const;
    // The market's time: the device clock (platform::Clock()) when unset,
    // else the given moment (epoch milliseconds).
    void SetClock(std::optional<std::int64_t> epochMs);
    // Makes request `number` (1-based, counted over the fixture's life) fail
    // with a reset connection.
    void FailRequest(int number);
    int requestCount() const;
    std::vector<std::string> requests() const;
    void PointDevice() const;
    // The reply the fixture gives to a request target such as
    // "/prog/wapsite/stock/stockquery.php?code=600016&vt=2" at `epochMs`.
    std::string ReplyFor(const std::string& target, std::int64_t epochMs) const;

  private:
    std::uint64_t seed_;
    struct State;
    std::shared_ptr<State> state_;
    std::unique_ptr<ScriptedServer> server_;
};

} // namespace testsupport
