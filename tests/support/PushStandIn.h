// A loopback stand-in for a push service: records every request and answers
// each with the next scripted reply (the last one repeats).
//
//   testsupport::PushStandIn service({{200, R"({"code":200})"}});
//   ... "pushplus://KEY?base=" + service.base() ...
#pragma once

#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace testsupport {

class PushStandIn {
  public:
    struct Reply {
        int status = 200;
        std::string body;
    };
    struct Received {
        std::string target; // path and query
        std::map<std::string, std::string> headers;
        std::string body;
    };

    explicit PushStandIn(std::vector<Reply> replies);
    ~PushStandIn();
    PushStandIn(const PushStandIn&) = delete;
    PushStandIn& operator=(const PushStandIn&) = delete;

    std::uint16_t port() const { return port_; }
    // "http://127.0.0.1:PORT"
    std::string base() const;
    std::vector<Received> received() const;
    // Waits up to `ms` for at least `n` requests; whether they came.
    bool WaitFor(size_t n, int ms) const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::uint16_t port_ = 0;
};

} // namespace testsupport
