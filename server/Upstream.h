// One HTTP or HTTPS GET to an upstream quote feed, bounded as a whole: name
// resolution, connecting, the TLS handshake, sending and receiving together
// end at one deadline. httplib's own time-outs bound each socket wait but not
// getaddrinfo, so the request runs on a thread of its own and the caller
// stops waiting at the deadline; a request that is still running then is
// told to stop and left to end by itself (it owns everything it touches).
#pragma once

#include <chrono>
#include <string>
#include <utility>
#include <vector>

namespace server {

struct UpstreamRequest {
    std::string base;   // scheme, host and port: "https://hq.sinajs.cn", "http://127.0.0.1:8081"
    std::string target; // path and query
    std::vector<std::pair<std::string, std::string>> headers;
    std::chrono::milliseconds deadline{3000};
    // Largest body taken; a longer one fails the request. The reply's head
    // is bounded too, in bytes and in lines, and the bytes of the whole reply
    // as they come (chunked or compressed) to a few times the body's bound.
    std::size_t maxBody = 1 << 20;
    std::size_t maxHead = 32 * 1024;
    std::size_t maxHeaderLines = 100;
    // PEM bundle of the certificate authorities that HTTPS servers are
    // checked against; empty: OpenSSL's default paths.
    std::string caFile;
};

struct UpstreamReply {
    int status = 0;    // the HTTP status; 0 when no reply came
    std::string body;  // as received (the feeds send GBK)
    std::string error; // why no reply came, for logs and --probe
};

UpstreamReply UpstreamGet(const UpstreamRequest& request);

// The CA bundle of Debian's ca-certificates when it is there, else empty.
std::string DefaultCaFile();

// `base` ("http://host:port", "https://host") split into its scheme, host and
// port, with the scheme's port when none is given. False for anything else
// (another scheme, a path, no host).
struct UpstreamBase {
    std::string scheme, host;
    int port = 0;
};
bool ParseUpstreamBase(const std::string& base, UpstreamBase* parsed);

} // namespace server
