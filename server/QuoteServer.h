// The bundled quote server: answers the quote site's three request paths
// (a stock by code, the Shanghai and the Shenzhen index page) and the maker's
// service text over HTTP/1.1, one request per connection, from the simulated
// market at the time of its own device clock, or from the live market of the
// public quote feeds (server/LiveMarket.h).
//
// Misbehaving clients must not stall the others, and the server may listen
// beyond loopback. Connections are accepted by one event loop (Gate.h) that
// holds each one, without a thread, until its request head has arrived,
// within a short head deadline and a head size limit, reads the head strictly
// and refuses at once what the site's clients never send (a body, another
// method than GET and HEAD, an expectation). The simulated market's pages are
// answered by the loop itself; the live market's by a fixed number of
// threads taking requests from a bounded queue. Replies are written by the
// loop within a write time-out and the whole exchange's deadline.
#pragma once

#include "platform/clock.h"
#include "server/Gate.h"
#include "server/LiveMarket.h"
#include "server/Market.h"
#include "server/QuoteSource.h"
#include "server/ServiceInfo.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

namespace server {

// Where the quotes come from.
enum class MarketKind { Sim, Live };

struct ServerOptions {
    std::string address = "127.0.0.1";
    int port = 8080; // 0: pick a free port
    std::uint64_t seed = 1;
    // Trading hours are Beijing time.
    std::string timeZone = "Asia/Shanghai";
    // Threads that serve the live market's requests, and requests that may
    // wait for one.
    std::size_t threads = 32;
    std::size_t maxQueued = 256;
    // Event loops (threads) that accept connections and answer the simulated
    // market's requests, each holding its share of maxHeld; 0: one for each
    // processor. The live market has one.
    std::size_t loops = 0;
    // Time-out of the request head (see headTimeout) and of writing a reply.
    std::chrono::milliseconds readTimeout{5000};
    std::chrono::milliseconds writeTimeout{5000};
    // Time a connection may take in all, from accepting it to the end of the
    // reply.
    std::chrono::milliseconds requestDeadline{10000};
    // Time from accepting a connection to the end of its request head (at
    // most the read time-out and the request deadline), the largest head,
    // and how many connections may be sending their heads at once (beyond it
    // the oldest is closed).
    std::chrono::milliseconds headTimeout{3000};
    std::size_t headLimit = 8192;
    std::size_t maxHeld = 10000;
    ServiceInfo service;
    MarketKind market = MarketKind::Sim;
    // The live market's feeds, time-to-live, deadlines and cool-downs.
    LiveMarketOptions live;
};

// What the server answers to one request.
struct Reply {
    int status = 200;
    std::string contentType;
    std::string body;
};

class QuoteServer {
  public:
    QuoteServer(ServerOptions options, const platform::DeviceClock& clock);
    ~QuoteServer();
    QuoteServer(const QuoteServer&) = delete;
    QuoteServer& operator=(const QuoteServer&) = delete;

    // Opens the listening socket. False, with a reason in `error`, when the
    // address cannot be bound or an option is not usable.
    bool Bind(std::string* error);
    // The bound port (after Bind).
    int Port() const { return port_; }
    // Serves until Stop is called; blocks.
    void Serve();
    // Bind and serve on a thread of its own.
    bool Start(std::string* error);
    // Stops accepting, finishes the connections in hand and returns.
    void Stop();

    // What the gate has refused or given up so far.
    GateCounts Refusals() const { return gate_ ? gate_->Counts() : GateCounts{}; }

    // The server's device clock; tests advance it in manual mode.
    platform::DeviceClock& Clock() { return clock_; }
    // The simulated market (in live mode a market of the seed that the
    // server itself does not use).
    const Market& GetMarket() const;
    // The live market; nullptr when the server runs the simulated one.
    LiveMarket* GetLiveMarket() const { return live_; }

    // The reply to a GET of `path` with query parameter `code` (empty when
    // absent), without the network (the live market may ask its feeds).
    // `client` is the asking client's address (empty when not known), so
    // that one client cannot take the live market from the others.
    Reply Respond(std::string_view path, std::string_view code, std::string_view client = {}) const;

  private:
    ServerOptions options_;
    platform::DeviceClock clock_;
    // The market that answers every quote page, and the same as its kind.
    std::unique_ptr<QuoteSource> source_;
    SimSource* sim_ = nullptr;
    LiveMarket* live_ = nullptr;
    std::optional<std::string> serviceText_;
    class PageCache;
    std::unique_ptr<PageCache> pages_;
    std::unique_ptr<Gate> gate_;
    std::thread thread_;
    std::atomic<bool> serveEnded_{false};
    int port_ = 0;
};

} // namespace server
