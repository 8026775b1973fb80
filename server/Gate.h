// The quote server's front door: accepts connections and holds each one,
// without a thread, until its whole request head has arrived; only then does
// a worker thread take it.
//
// One thread runs an epoll loop over the listening socket and every
// connection that is still sending its head. A connection is handed to the
// worker pool once its bytes contain the blank line that ends the head
// ("\r\n\r\n"), together with the bytes read so far (the head, and perhaps the
// start of a body). A connection whose head is not complete within the head
// deadline, or grows beyond the head limit, is closed (the latter with a 431
// reply) without ever reaching a worker. So a client that opens connections
// and sends half a request, or drips it byte by byte, costs a descriptor and
// a few kilobytes, and the workers only ever serve requests that are ready.
//
// Bounds: at most `maxHeld` connections wait for their heads (beyond it the
// oldest is closed, so a flood cannot lock out new clients, and a full
// descriptor table is handled the same way); the workers take connections
// from a queue of `maxQueued` places, and while it is full the loop stops
// accepting, so that new connections wait in the kernel's backlog. Stop
// closes the listening socket and the connections still sending their heads,
// serves every connection whose request has arrived, and returns.
//
// The kernel's own readiness interface keeps this small and without a new
// dependency: an event library (libevent, libev, Boost.Asio) would bring its
// own HTTP layer or a second request parser beside httplib's, which still
// parses and answers each request.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

namespace server {

struct GateOptions {
    std::string address = "127.0.0.1";
    int port = 0; // 0: a free port
    // Time from accepting a connection to the end of its request head.
    std::chrono::milliseconds headTimeout{3000};
    // Largest request head, blank line included.
    std::size_t headLimit = 8192;
    // Connections that may wait for their heads at once.
    std::size_t maxHeld = 10000;
    // Worker threads, and arrived requests that may wait for one.
    std::size_t threads = 32;
    std::size_t maxQueued = 256;
};

// A connection whose request head has arrived.
struct Arrival {
    int fd = -1;          // blocking again; the handler closes it
    std::string received; // every byte read so far: the head, perhaps more
    std::chrono::steady_clock::time_point accepted;
};

class Gate {
  public:
    // `serve` runs on a worker thread for every arrival and must close its
    // descriptor.
    using Handler = std::function<void(Arrival&&)>;
    Gate(GateOptions options, Handler serve);
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
    // Ends Run as described above; may be called from any thread, and
    // before Run (which then returns at once).
    void Stop();

  private:
    class Loop;
    std::unique_ptr<Loop> loop_;
};

} // namespace server
