// soak_plan: chooses the watch list and the targets of bench/soak.sh from the
// simulated market of stockat-quoted, which is a pure function of the seed
// and the time, so that the soak knows beforehand which alert comes when.
//
//   soak_plan SEED "YYYY-MM-DD HH:MM" SWITCH_DAYS DAYS
//
// The first argument after the seed is the Monday the soak starts on; the
// bubble half of the run covers the first SWITCH_DAYS trading days plus the
// morning session of the next one, the SMS half the rest up to DAYS days.
// For every side of every chosen stock it prints a target that the price
// holds for at least kHoldSteps steps inside its half, and for a side of the
// SMS half a target beyond everything (latest, high, low) shown in the
// bubble half, so that it can only fire after the switch. One line a stock:
//
//   CODE SELL SELL_HALF BUY BUY_HALF
//
// with HALF "t" (bubble) or "s" (SMS), prices in yuan with two decimals.
#include "platform/clock.h"
#include "server/Market.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr int kHoldSteps = 120; // 20 minutes of 10-second steps
constexpr int kStepSeconds = 10;

// Seconds of the day at which the program refreshes: 09:16-11:31 and
// 12:59-15:09, every 10 s (the program's own cycle falls on some of these).
std::vector<int> RefreshSeconds() {
    std::vector<int> out;
    for (int s = 9 * 3600 + 16 * 60; s < 11 * 3600 + 31 * 60; s += kStepSeconds)
        out.push_back(s);
    for (int s = 12 * 3600 + 59 * 60; s < 15 * 3600 + 9 * 60; s += kStepSeconds)
        out.push_back(s);
    return out;
}

struct Sample {
    std::int64_t latest, high, low;
    bool afternoon;
};

// The highest level that the latest price holds (>=) for kHoldSteps samples
// in a row, or the lowest that it holds (<=) when `low`.
std::int64_t HeldLevel(const std::vector<std::int64_t>& prices, bool low) {
    std::int64_t best = low ? INT64_MAX : 0;
    for (size_t i = 0; i + kHoldSteps <= prices.size(); ++i) {
        auto first = prices.begin() + static_cast<std::ptrdiff_t>(i);
        auto last = first + kHoldSteps;
        std::int64_t level = low ? *std::max_element(first, last) : *std::min_element(first, last);
        best = low ? std::min(best, level) : std::max(best, level);
    }
    return best;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: soak_plan SEED \"YYYY-MM-DD HH:MM\" SWITCH_DAYS DAYS\n");
        return 2;
    }
    const std::uint64_t seed = std::strtoull(argv[1], nullptr, 10);
    const int switchDays = std::atoi(argv[3]);
    const int days = std::atoi(argv[4]);
    const std::string tz = "Asia/Shanghai";
    std::optional<std::int64_t> start = platform::ParseLocalTime(argv[2], tz);
    if (!start) {
        std::fprintf(stderr, "soak_plan: bad start time\n");
        return 2;
    }
    platform::LocalTime first = platform::ToLocalTime(*start, tz);
    std::int64_t firstDay = server::DayNumber(first.year, first.month, first.day);
    server::Market market(seed);
    const std::vector<int> seconds = RefreshSeconds();

    struct Choice {
        std::string code;
        std::int64_t target[2];
        char half[2];
        int smsSides;
    };
    std::vector<Choice> choices;
    for (const server::ListedStock& stock : server::ListedStocks()) {
        // The two halves' samples: the first switchDays days and the next
        // morning are the bubble half, the rest the SMS half.
        std::vector<std::int64_t> bubbleLatest, smsLatest;
        std::int64_t bubbleHigh = 0, bubbleLow = INT64_MAX;
        for (int d = 0; d < days; ++d) {
            std::int64_t day = firstDay;
            for (int k = 0; k < d; ++k)
                day = server::NextTradingDay(day);
            for (int s : seconds) {
                platform::LocalTime t{};
                std::int64_t date = day;
                // Calendar date of `day` (days since 1970-01-01).
                std::int64_t epochMs = date * 86400000LL + (s - 8 * 3600) * 1000LL;
                t = platform::ToLocalTime(epochMs, tz);
                server::MarketMoment m = server::MomentAt(t);
                std::optional<server::StockQuote> q = market.Stock(stock.code, m);
                bool bubble = d < switchDays || (d == switchDays && s < 12 * 3600);
                if (bubble) {
                    bubbleLatest.push_back(q->latest);
                    bubbleHigh = std::max({bubbleHigh, q->high, q->latest});
                    if (q->low > 0)
                        bubbleLow = std::min(bubbleLow, q->low);
                    if (q->latest > 0)
                        bubbleLow = std::min(bubbleLow, q->latest);
                } else {
                    smsLatest.push_back(q->latest);
                }
            }
        }
        Choice c{stock.code, {0, 0}, {'t', 't'}, 0};
        // Sell side: in the SMS half when the price there holds a level
        // above everything the bubble half showed.
        std::int64_t smsSell = HeldLevel(smsLatest, false);
        if (smsSell > bubbleHigh + 2) {
            c.target[0] = bubbleHigh + 2 + (smsSell - bubbleHigh - 2) / 2;
            c.half[0] = 's';
            ++c.smsSides;
        } else {
            c.target[0] = HeldLevel(bubbleLatest, false);
        }
        std::int64_t smsBuy = HeldLevel(smsLatest, true);
        if (smsBuy < bubbleLow - 2 && smsBuy > 0) {
            c.target[1] = bubbleLow - 2 - (bubbleLow - 2 - smsBuy) / 2;
            c.half[1] = 's';
            ++c.smsSides;
        } else {
            std::vector<std::int64_t> traded;
            for (std::int64_t p : bubbleLatest)
                traded.push_back(p > 0 ? p : INT64_MAX);
            c.target[1] = HeldLevel(traded, true);
        }
        choices.push_back(c);
    }
    // Sixteen stocks with as many SMS-half sides as possible, in the
    // market's order among equals.
    std::stable_sort(choices.begin(), choices.end(),
                     [](const Choice& a, const Choice& b) { return a.smsSides > b.smsSides; });
    choices.resize(std::min<size_t>(16, choices.size()));
    for (const Choice& c : choices) {
        std::printf("%s %lld.%02lld %c %lld.%02lld %c\n", c.code.c_str(),
                    static_cast<long long>(c.target[0] / 100),
                    static_cast<long long>(c.target[0] % 100), c.half[0],
                    static_cast<long long>(c.target[1] / 100),
                    static_cast<long long>(c.target[1] % 100), c.half[1]);
    }
    return 0;
}
