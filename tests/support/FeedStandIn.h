// A loopback stand-in for the public quote feeds, for the live market's
// tests and benchmarks. It answers each request in the tencent or the sina
// reply format (chosen when it is made), with one line per symbol named in
// the request target, built from the feeds' recorded lines with the symbol's
// code, name, prices and time stamp put in; or with a fault.
//
//   testsupport::FeedStandIn tencent(testsupport::FeedStandIn::Format::Tencent);
//   options.feeds = {{server::FindFeedAdapter("tencent"), tencent.Base()}};
//   tencent.SetFault(testsupport::FeedStandIn::Fault::Status503);
//
// It serves on 127.0.0.1 at a free port on threads of its own, counts the
// requests and keeps their targets. A stalled request is held until the
// fault changes or the stand-in is destroyed.
#pragma once

#include "server/Feeds.h"
#include "server/LiveMarket.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace testsupport {

class FeedStandIn {
  public:
    enum class Format { Tencent, Sina };
    enum class Fault {
        None,
        Forbidden,    // 403 "Forbidden"
        TooMany,      // 429
        Status503,    // 503
        Garbage,      // 200 with an HTML page
        Truncated,    // 200, the last line cut short
        TooFewFields, // 200, a record without its later fields
        WrongCode,    // 200, a line for a code that was not asked for
        InvalidGbk,   // 200, a name of bytes that are not GBK
        Stall,        // reads the request and never answers
    };

    // What the stand-in says about one symbol; symbols not set get a quote
    // made up from their code.
    struct Line {
        std::string name = "测试股份"; // UTF-8
        std::string latest = "13.85";  // yuan, as the feed writes it
        std::string previousClose = "13.60";
        std::string stamp = "2022-11-22 11:29:58"; // Beijing time of the quote
        // The day's high and low; empty: the latest price, as is the open.
        std::string high, low;
        std::string volume; // empty: the recorded line's
        bool suspended = false;
        bool unknown = false; // the feed does not know the code
        bool missing = false; // left out of the reply without a word
        int fields = 0;       // more than 0: the line is cut to this many fields
    };

    explicit FeedStandIn(Format format);
    ~FeedStandIn();
    FeedStandIn(const FeedStandIn&) = delete;
    FeedStandIn& operator=(const FeedStandIn&) = delete;

    // "http://127.0.0.1:PORT".
    std::string Base() const;
    Format format() const;
    void SetFault(Fault fault);
    void SetLine(const std::string& symbol, Line line); // symbol: "sh600519"
    // The stamp of every made-up line.
    void SetStamp(const std::string& stamp);
    // Whether the feed knows symbols that were not set (default: it makes a
    // quote up for them).
    void SetUnknownByDefault(bool unknown);
    int requestCount() const;
    std::vector<std::string> targets() const;
    // The symbols ("sh600519") the i-th request (0-based) named.
    std::vector<std::string> symbolsOf(int i) const;

    // The reply body for a request target, without the network.
    std::string Body(const std::string& target) const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The symbols ("sh600519", "sz399001") named in a request target, in order.
std::vector<std::string> SymbolsIn(const std::string& target);

// The live market's feeds for the given stand-ins, in that order, each
// through the adapter of its format.
std::vector<server::FeedSource> StandInFeeds(const std::vector<const FeedStandIn*>& feeds);

} // namespace testsupport
