// The bundled quote server (see QuoteServer.h).
#include "server/QuoteServer.h"
#include "server/Gate.h"
#include "server/Gbk.h"

#include "server/Log.h"

#include <algorithm>
#include <unordered_map>

namespace server {
namespace {

constexpr const char* kHtml = "text/html; charset=utf-8";

} // namespace

// The simulated market's replies of the current second. Its pages change at
// most once a second (their time stamps and prices are whole seconds), and
// rendering one costs far more than sending it, so each page is rendered
// once per second and sent from here; a bounded number of them, so that
// made-up codes cannot fill memory. Each loop thread keeps its own pages, so
// that the loops never wait for each other.
class QuoteServer::PageCache {
  public:
    static constexpr std::size_t kMostPages = 1024;

    PageCache() : id_(NextId()) {}

    // The whole reply to a GET of `path` with `code` at `second`, made by
    // `make` when it is not kept.
    template <typename Make>
    std::string Get(std::int64_t second, std::string_view path, std::string_view code, Make make) {
        thread_local Pages pages;
        if (pages.owner != id_ || pages.second != second) {
            pages.map.clear();
            pages.owner = id_;
            pages.second = second;
        }
        std::string key;
        key.reserve(path.size() + code.size() + 1);
        key.append(path).append(1, '\0').append(code);
        if (auto it = pages.map.find(key); it != pages.map.end())
            return it->second;
        std::string reply = make();
        if (pages.map.size() < kMostPages)
            pages.map.emplace(std::move(key), reply);
        return reply;
    }

  private:
    struct Pages {
        std::uint64_t owner = 0;
        std::int64_t second = -1;
        std::unordered_map<std::string, std::string> map;
    };
    // Caches are told apart by a number, never by an address a later one
    // may have again.
    static std::uint64_t NextId() {
        static std::atomic<std::uint64_t> next{1};
        return next++;
    }

    const std::uint64_t id_;
};

QuoteServer::QuoteServer(ServerOptions options, const platform::DeviceClock& clock)
    : options_(std::move(options)), clock_(clock), market_(options_.seed),
      serviceText_(RenderServiceInfo(options_.service)) {
    if (options_.market == MarketKind::Live) {
        options_.live.timeZone = options_.timeZone;
        live_ = std::make_unique<LiveMarket>(options_.live, clock_);
    }
}

QuoteServer::~QuoteServer() {
    Stop();
}

Reply QuoteServer::Respond(std::string_view path, std::string_view code,
                           std::string_view client) const {
    if (live_ && (path == kStockPath || path == kShIndexPath || path == kSzIndexPath)) {
        LivePage page = path == kStockPath     ? live_->StockPage(code)
                        : path == kShIndexPath ? live_->ShIndexPage()
                                               : live_->SzIndexPage();
        if (page.status != 200)
            // No feed gave a current quote: the client's quote-page test
            // fails and its record keeps its last values.
            return {page.status, kHtml,
                    "<html><body><p>" + std::to_string(page.status) +
                        " quotes unavailable</p></body></html>\n"};
        return {200, kHtml, std::move(page.body)};
    }
    const platform::LocalTime now = platform::ToLocalTime(clock_.NowEpochMs(), options_.timeZone);
    const MarketMoment moment = MomentAt(now);
    if (path == kStockPath) {
        std::optional<StockQuote> stock = market_.Stock(code, moment);
        if (!stock)
            return {200, kHtml, RenderNotFoundPage(code)};
        return {200, kHtml,
                RenderStockPage(*stock, market_.ShIndex(moment), market_.SzIndex(moment),
                                moment.stamp)};
    }
    if (path == kShIndexPath)
        return {200, kHtml, RenderIndexPage(market_.ShIndex(moment), moment.stamp)};
    if (path == kSzIndexPath)
        return {200, kHtml, RenderIndexPage(market_.SzIndex(moment), moment.stamp)};
    if (path == kServicePath && serviceText_)
        return {200, std::string(kServiceContentType), GbkToUtf8(*serviceText_).value_or("")};
    return {404, kHtml, "<html><body><p>404 Not Found</p></body></html>\n"};
}

bool QuoteServer::Bind(std::string* error) {
    if (!serviceText_) {
        if (error)
            *error = "the service values must be single lines of text that GBK can write, "
                     "and the latest version a decimal number";
        return false;
    }
    GateOptions gate;
    gate.address = options_.address;
    gate.port = options_.port;
    // A head is short (one packet from a phone): it must arrive within a
    // single read's time-out, and the whole exchange's deadline, too.
    gate.headTimeout =
        std::min({options_.headTimeout, options_.readTimeout, options_.requestDeadline});
    gate.headLimit = options_.headLimit;
    gate.maxHeld = options_.maxHeld;
    gate.threads = options_.threads;
    gate.maxQueued = options_.maxQueued;
    gate.writeTimeout = options_.writeTimeout;
    gate.requestDeadline = options_.requestDeadline;
    // The simulated market answers at once, so its pages are written by the
    // accepting loop itself; the live market may ask its feeds, on workers.
    gate.answerInLoop = !live_;
    gate.loops = options_.loops != 0
                     ? options_.loops
                     : std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, 8);
    gate.log = [](std::string_view line) { LogLine(line); };
    auto reply = [this](const GateRequest& request) {
        Reply reply = Respond(request.head.path, request.head.code, request.client);
        return HttpReply(reply.status, reply.contentType, reply.body);
    };
    if (live_) {
        gate_ = std::make_unique<Gate>(gate, [reply](const GateRequest& request) {
            std::string whole = reply(request);
            return request.head.headOnly ? whole.substr(0, whole.find("\r\n\r\n") + 4) : whole;
        });
    } else {
        pages_ = std::make_unique<PageCache>();
        gate_ = std::make_unique<Gate>(gate, [this, reply](const GateRequest& request) {
            const std::int64_t second = clock_.NowEpochMs() / 1000;
            std::string whole = pages_->Get(second, request.head.path, request.head.code,
                                            [&] { return reply(request); });
            return request.head.headOnly ? whole.substr(0, whole.find("\r\n\r\n") + 4) : whole;
        });
    }
    if (!gate_->Listen(error)) {
        gate_.reset();
        return false;
    }
    port_ = gate_->Port();
    return true;
}

void QuoteServer::Serve() {
    if (gate_)
        gate_->Run();
}

bool QuoteServer::Start(std::string* error) {
    if (!Bind(error))
        return false;
    serveEnded_ = false;
    thread_ = std::thread([this] {
        Serve();
        serveEnded_ = true;
    });
    // The socket already listens, so clients can connect at once; wait until
    // the accepting loop runs so that an early Stop reaches it.
    while (!gate_->Running() && !serveEnded_)
        std::this_thread::yield();
    return true;
}

void QuoteServer::Stop() {
    if (gate_)
        gate_->Stop();
    if (thread_.joinable())
        thread_.join();
}

} // namespace server
