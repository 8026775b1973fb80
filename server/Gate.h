// The quote server's front door: accepts connections, reads each request
// head without a thread, refuses what the server does not serve, and writes
// the replies; the handler only ever turns a whole, accepted request into the
// bytes of its reply.
//
// One thread runs an epoll loop over the listening socket and every
// connection. A connection is held until its head has arrived: the blank line
// "\r\n\r\n" within the head deadline and the head limit. The head is then
// read strictly (RequestHead.h): a request with a body, another method than
// GET or HEAD, an Expect header, a line ending in a bare line feed or an
// overlong head is answered at once (400, 405, 413, 417, 431, 505) by the
// loop itself, and a head that does not arrive in time is closed. So no
// worker ever waits on a client: idle, dripping and body-sending clients cost
// a descriptor and a few kilobytes, for a bounded time.
//
// An accepted request is answered on the loop thread when the handler never
// blocks (`answerInLoop`, the simulated market: no hand-over between threads,
// the fastest way to serve a page), or else handed to a fixed set of worker
// threads through a bounded queue (the live market may ask its feeds); the
// worker's reply goes back to the loop, which writes it without blocking,
// within the write time-out and the request deadline. A reply that cannot be
// written in time is dropped with its connection. A refused connection that
// still sends is read and discarded for a moment after its reply, so that the
// reply is not lost to a reset.
//
// Bounds: at most `maxHeld` connections are held or being written at once
// (beyond it the oldest held one is closed, so a flood cannot lock out new
// clients; a full descriptor table is handled the same way); while the
// workers' queue is full the loop stops accepting, so that new connections
// wait in the kernel's backlog. Stop closes the listening socket and the
// connections still sending their heads, answers every request that has
// arrived (those still queued after `drainTimeout` with 503), writes the
// replies within their time-outs, and returns.
//
// The kernel's own readiness interface keeps this small and without a new
// dependency; an event library would bring a second HTTP layer, and the
// server speaks only the small part of HTTP/1.1 its clients use.
#pragma once

#include "server/RequestHead.h"

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace server {

struct GateOptions {
    std::string address = "127.0.0.1";
    int port = 0; // 0: a free port
    // Time from accepting a connection to the end of its request head.
    std::chrono::milliseconds headTimeout{3000};
    // Largest request head, blank line included.
    std::size_t headLimit = 8192;
    // Connections that may be held (or have their replies written) at once.
    std::size_t maxHeld = 10000;
    // Worker threads, and accepted requests that may wait for one.
    std::size_t threads = 32;
    std::size_t maxQueued = 256;
    // The handler never blocks: requests are answered on the loop thread and
    // no workers are started; then `loops` loops (threads) share the
    // listening socket, each new connection going to one of them, and each
    // holding its share of `maxHeld`.
    bool answerInLoop = false;
    std::size_t loops = 1;
    // Time a reply may take to be written, and the whole exchange from
    // accepting the connection.
    std::chrono::milliseconds writeTimeout{5000};
    std::chrono::milliseconds requestDeadline{10000};
    // How long Stop goes on handing queued requests to the handler.
    std::chrono::milliseconds drainTimeout{10000};
    // Where the counts of refusals are written, at most once per
    // `logInterval` and only when something was refused; none when empty.
    std::function<void(std::string_view)> log;
    std::chrono::milliseconds logInterval{60000};
};

// A request that the gate accepted.
struct GateRequest {
    RequestHead head;
    std::string client; // the peer's address, without its port
    std::chrono::steady_clock::time_point accepted;
};

// What the gate refused or gave up since it started.
struct GateCounts {
    std::array<std::uint64_t, kRefusalKinds> refused{}; // by Refusal
    std::uint64_t evicted = 0;                          // held connections closed to make room
    std::uint64_t saturated = 0; // times accepting paused: queue or descriptors full
    std::uint64_t unwritten = 0; // replies dropped at their write deadline
    bool operator==(const GateCounts&) const = default;
};
// "refused: bad head 3, body 1; evicted 2; saturated 1" (only what is not 0).
std::string DescribeCounts(const GateCounts& counts);

// A whole HTTP/1.1 reply that closes the connection; without the body for a
// HEAD request.
std::string HttpReply(int status, std::string_view contentType, std::string_view body,
                      bool headOnly = false);

// "host:port", with brackets around an IPv6 address.
std::string HostPort(std::string_view host, int port);

class Gate {
  public:
    // Returns the whole reply to an accepted request; runs on the loop
    // thread or on a worker (see above). An exception is answered with 500.
    using Handler = std::function<std::string(const GateRequest&)>;
    Gate(GateOptions options, Handler handler);
    ~Gate();
    Gate(const Gate&) = delete;
    Gate& operator=(const Gate&) = delete;

    // Raises the soft limit of open descriptors to the hard one and opens
    // the listening socket (SO_REUSEADDR only, so a port in use is refused).
    // False, with a reason in `error`, when it cannot.
    bool Listen(std::string* error);
    // The bound port (after Listen).
    int Port() const;
    // Accepts and serves until Stop; blocks.
    void Run();
    // Whether Run has started its loop and not yet ended.
    bool Running() const;
    // Ends Run as described above; may be called from any thread (and from
    // a signal handler's thread), and before Run (which then returns at once).
    void Stop();
    // The counts so far; any thread.
    GateCounts Counts() const;

  private:
    struct Shared;
    class Loop;
    std::unique_ptr<Shared> shared_;
    std::vector<std::unique_ptr<Loop>> loops_;
};

} // namespace server
