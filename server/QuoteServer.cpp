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
    : options_(std::move(options)), clock_(clock),
      serviceText_(RenderServiceInfo(options_.service)) {
    if (options_.market == MarketKind::Live) {
        options_.live.timeZone = options_.timeZone;
        auto live = std::make_unique<LiveMarket>(options_.live, clock_);
        live_ = live.get();
        source_ = std::move(live);
    } else {
        auto sim = std::make_unique<SimSource>(options_.seed, clock_, options_.timeZone);
        sim_ = sim.get();
        source_ = std::move(sim);
    }
}

QuoteServer::~QuoteServer() {
    Stop();
}

const Market& QuoteServer::GetMarket() const {
    if (sim_)
        return sim_->market();
    static const Market unused(1);
    return unused;
}

Reply QuoteServer::Respond(std::string_view path, std::string_view code,
                           std::string_view client) const {
    auto unavailable = [] {
        // No feed gave a current quote: the program takes the error status
        // for a failed fetch and its record keeps its last values.
        return Reply{503, kHtml, "<html><body><p>503 quotes unavailable</p></body></html>\n"};
    };
    if (path == kStockPath) {
        const StockAnswer answer = source_->Stock(code, client);
        if (answer.state == QuoteState::Unknown)
            return {200, kHtml, RenderNotFoundPage(code)};
        if (answer.state == QuoteState::Unavailable)
            return unavailable();
        return {200, kHtml,
                RenderStockPage(ShownStock(answer), ShownIndex(answer.sh), ShownIndex(answer.sz),
                                answer.stamp)};
    }
    if (path == kShIndexPath || path == kSzIndexPath) {
        const IndexAnswer answer =
            path == kShIndexPath ? source_->ShIndex(client) : source_->SzIndex(client);
        if (answer.state == QuoteState::Unavailable || answer.state == QuoteState::Unknown)
            return unavailable();
        return {200, kHtml, RenderIndexPage(ShownIndex(answer), answer.stamp)};
    }
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
