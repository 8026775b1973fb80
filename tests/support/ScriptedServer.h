// A loopback peer for network tests that scripts the raw connection rather
// than the HTTP reply: it can answer with any bytes (NUL bytes, more than a
// client reads), close at once, reset, stall without ever answering, or drip
// a byte at a time. (QuoteServerFixture.h's ScriptedServer answers whole
// requests through a handler; this one is for peers no real server would
// be.)
//
//   testsupport::ScriptedPeer peer(testsupport::ScriptedPeer::Stall());
//   platform::Device().serverPort = peer.port();
//   ... a fetch that must give up ...
//
// It listens on 127.0.0.1 at a free port; each connection runs the script on
// a thread of its own. The destructor wakes every stalled or dripping script,
// closes every connection and joins the threads.
#pragma once

#include "platform/device.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace testsupport {

class ScriptedPeer {
  public:
    // One accepted connection, as the script sees it.
    class Connection {
      public:
        // Reads the request up to and including its blank line (or until the
        // client closes or stops sending for a few seconds) and records it.
        std::string ReadRequest();
        // Sends every byte; false when the client has gone.
        bool Send(std::string_view bytes);
        // Makes the close at the end of the script a reset (RST) instead of
        // an orderly close.
        void Reset();
        // Waits `ms` milliseconds, or less when the peer is being stopped;
        // false in that case.
        bool Pause(int ms);
        // Waits until the peer is stopped.
        void WaitForStop();

      private:
        friend class ScriptedPeer;
        struct Shared;
        Connection(int fd, std::shared_ptr<Shared> shared) : fd_(fd), shared_(std::move(shared)) {}
        int fd_;
        std::shared_ptr<Shared> shared_;
    };
    using Script = std::function<void(Connection&)>;

    explicit ScriptedPeer(Script script);
    ~ScriptedPeer();
    ScriptedPeer(const ScriptedPeer&) = delete;
    ScriptedPeer& operator=(const ScriptedPeer&) = delete;

    std::uint16_t port() const;
    // Connections accepted so far.
    int connections() const;
    // Requests recorded by ReadRequest, in order.
    std::vector<std::string> requests() const;

    // Reads the request, sends `bytes` and closes.
    static Script Reply(std::string bytes);
    // Closes as soon as the connection is accepted, reading nothing.
    static Script CloseAtOnce();
    // Reads the request, then resets the connection.
    static Script ResetAfterRequest();
    // Reads the request and never answers nor closes.
    static Script Stall();
    // Reads the request and sends `bytes` one byte every `intervalMs`, then
    // stalls.
    static Script Drip(std::string bytes, int intervalMs);

    // A loopback port on which nothing listens (connections are refused).
    static std::uint16_t RefusedPort();

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// What a fetch test changes, put back when it ends: the device's network
// configuration is restored, and the watch list and Settings, LastReply,
// RunTraffic and the fetch deadline return to their start values. While it
// lives, fetches go over CMNET ("2") with a 10 s deadline.
class FetchTestState {
  public:
    FetchTestState();
    ~FetchTestState();
    FetchTestState(const FetchTestState&) = delete;
    FetchTestState& operator=(const FetchTestState&) = delete;

  private:
    platform::DeviceConfig savedDevice_;
};

} // namespace testsupport
