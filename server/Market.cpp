// The simulated market: seeded price curves and daily paths (see Market.h).
#include "server/Market.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>

namespace server {
namespace {

// The stocks of the program's preset list with the levels their prices move
// around.
const std::vector<ListedStock> kStocks = {
    {"000001", "深发展Ａ", 1850}, {"000002", "万科Ａ", 980},    {"601398", "工商银行", 450},
    {"600104", "上海汽车", 1260}, {"002024", "苏宁电器", 1420}, {"600036", "招商银行", 1580},
    {"601088", "中国神华", 2740}, {"000538", "云南白药", 3860}, {"600028", "中国石化", 1020},
    {"000024", "招商地产", 2130}, {"600050", "中国联通", 590},  {"600519", "贵州茅台", 13800},
    {"601318", "中国平安", 4250}, {"600005", "武钢股份", 640},  {"000898", "鞍钢股份", 1090},
    {"601919", "中国远洋", 1370}, {"601939", "建设银行", 520},  {"601857", "中国石油", 1340},
    {"600019", "宝钢股份", 680},  {"601988", "中国银行", 370},  {"000933", "神火股份", 1630},
    {"000651", "格力电器", 2480}, {"600058", "五矿发展", 1720}, {"600030", "中信证券", 2460},
    {"600837", "海通证券", 1510}, {"601666", "平煤股份", 1940}, {"600588", "用友软件", 2270},
    {"600309", "烟台万华", 1890}, {"601898", "中煤能源", 1160}, {"000800", "一汽轿车", 1130},
    {"600550", "天威保变", 2350}, {"600895", "张江高科", 1060}, {"600428", "中远航运", 1210},
    {"600690", "青岛海尔", 1390}, {"600600", "青岛啤酒", 2640}, {"000858", "五粮液", 2210},
    {"000157", "中联重科", 1460}, {"601186", "中国铁建", 940},  {"601628", "中国人寿", 2530},
    {"000951", "中国重汽", 2070}, {"600026", "中海发展", 1480}, {"600016", "民生银行", 560},
    {"601006", "大秦铁路", 1040}, {"600875", "东方电气", 3290}, {"601808", "中海油服", 1650},
    {"600054", "黄山旅游", 1320}, {"600276", "恒瑞医药", 3080}, {"000063", "中兴通讯", 3820},
};

// Index levels in hundredths of a point.
constexpr std::int64_t kShBase = 220000;
constexpr std::int64_t kSzBase = 850000;

// Seconds of the day at which the sessions start and end.
constexpr int kMorningOpen = 9 * 3600 + 30 * 60;
constexpr int kMorningClose = 11 * 3600 + 30 * 60;
constexpr int kAfternoonOpen = 13 * 3600;
constexpr int kAfternoonClose = 15 * 3600;
constexpr int kStepSeconds = 10;
constexpr int kMorningSteps = (kMorningClose - kMorningOpen) / kStepSeconds;

// The previous close moves along a curve through seeded knots 30 calendar
// days apart, +-20 % around the base, with +-1 % of daily jitter. Its steepest
// slope (three calendar days over a weekend) stays near 7 %, inside the 10 %
// band, so a day's path can always end at the next previous close.
constexpr std::int64_t kKnotDays = 30;
constexpr double kCurveAmplitude = 0.20;
constexpr double kDailyJitter = 0.01;
// The open is up to +-1.5 % away from the previous close; the path wanders
// about that far and more around the straight line from open to close.
constexpr double kOpenGap = 0.015;
constexpr double kDayVolatility = 0.03;

std::uint64_t SplitMix(std::uint64_t& state) {
    std::uint64_t z = (state += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

// A uniform number in [0, 1).
double Unit(std::uint64_t& state) {
    return static_cast<double>(SplitMix(state) >> 11) * 0x1.0p-53;
}

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
    std::int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// The calendar date of a day number (days since 1970-01-01).
platform::LocalTime DateOf(std::int64_t days) {
    // Howard Hinnant's civil_from_days.
    std::int64_t z = days + 719468;
    std::int64_t era = FloorDiv(z, 146097);
    std::int64_t doe = z - era * 146097;
    std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    std::int64_t y = yoe + era * 400;
    std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    std::int64_t mp = (5 * doy + 2) / 153;
    std::int64_t d = doy - (153 * mp + 2) / 5 + 1;
    std::int64_t m = mp < 10 ? mp + 3 : mp - 9;
    platform::LocalTime t{};
    t.year = static_cast<int>(m <= 2 ? y + 1 : y);
    t.month = static_cast<int>(m);
    t.day = static_cast<int>(d);
    t.dayOfWeek = Weekday(days);
    return t;
}

platform::LocalTime StampAt(std::int64_t day, int secondOfDay) {
    platform::LocalTime t = DateOf(day);
    t.hour = secondOfDay / 3600;
    t.minute = secondOfDay / 60 % 60;
    t.second = secondOfDay % 60;
    return t;
}

} // namespace

const std::vector<ListedStock>& ListedStocks() {
    return kStocks;
}

std::int64_t DayNumber(int year, int month, int day) {
    // Howard Hinnant's days_from_civil.
    std::int64_t y = month <= 2 ? year - 1 : year;
    std::int64_t era = FloorDiv(y, 400);
    std::int64_t yoe = y - era * 400;
    std::int64_t mp = month > 2 ? month - 3 : month + 9;
    std::int64_t doy = (153 * mp + 2) / 5 + day - 1;
    std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

int Weekday(std::int64_t day) {
    // 1970-01-01 was a Thursday.
    std::int64_t w = (day + 4) % 7;
    return static_cast<int>(w < 0 ? w + 7 : w);
}

bool IsTradingDay(std::int64_t day) {
    int w = Weekday(day);
    return w >= 1 && w <= 5;
}

std::int64_t PreviousTradingDay(std::int64_t day) {
    do
        --day;
    while (!IsTradingDay(day));
    return day;
}

std::int64_t NextTradingDay(std::int64_t day) {
    do
        ++day;
    while (!IsTradingDay(day));
    return day;
}

MarketMoment MomentAt(const platform::LocalTime& beijing) {
    MarketMoment moment;
    const std::int64_t today = DayNumber(beijing.year, beijing.month, beijing.day);
    const int s = beijing.hour * 3600 + beijing.minute * 60 + beijing.second;
    platform::LocalTime now = beijing;
    now.millisecond = 0;
    if (!IsTradingDay(today)) {
        moment.day = PreviousTradingDay(today);
        moment.phase = MarketPhase::Closed;
        moment.step = Market::kPathSteps;
        moment.stamp = StampAt(moment.day, kAfternoonClose);
        return moment;
    }
    moment.day = today;
    if (s < kMorningOpen) {
        moment.phase = MarketPhase::PreOpen;
        moment.step = -1;
        moment.stamp = now;
    } else if (s < kMorningClose) {
        moment.phase = MarketPhase::Trading;
        moment.step = (s - kMorningOpen) / kStepSeconds;
        moment.stamp = now;
    } else if (s < kAfternoonOpen) {
        moment.phase = MarketPhase::Break;
        moment.step = kMorningSteps;
        moment.stamp = StampAt(today, kMorningClose);
    } else if (s < kAfternoonClose) {
        moment.phase = MarketPhase::Trading;
        moment.step = kMorningSteps + (s - kAfternoonOpen) / kStepSeconds;
        moment.stamp = now;
    } else {
        // After today's close the page shows today's close and today's
        // change; only a day without a session shows an earlier day's close.
        moment.phase = MarketPhase::AfterClose;
        moment.step = Market::kPathSteps;
        moment.stamp = StampAt(today, kAfternoonClose);
    }
    return moment;
}

struct Market::Day {
    std::int64_t previousClose = 0;
    std::int64_t open = 0;
    std::int64_t latest = 0;
    std::int64_t high = 0;
    std::int64_t low = 0;
    std::int64_t lots = 0;
    std::int64_t turnover = 0; // fen for stocks, yuan for the indices
};

// Every point of a day's path with the high, low, volume and turnover up to
// and including it.
struct Market::DayTable {
    std::int64_t previousClose = 0;
    std::vector<std::int64_t> path, high, low, lots, turnover;
};

struct Market::Cache {
    std::mutex mutex;
    std::map<std::pair<int, std::int64_t>, std::shared_ptr<const DayTable>> tables;
};

Market::Market(std::uint64_t seed) : seed_(seed), cache_(std::make_shared<Cache>()) {}

std::uint64_t Market::Hash(int instrument, std::int64_t day, std::uint64_t purpose) const {
    std::uint64_t state = seed_;
    SplitMix(state);
    state ^= static_cast<std::uint64_t>(instrument) * 0x100000001b3ULL;
    SplitMix(state);
    state ^= static_cast<std::uint64_t>(day);
    SplitMix(state);
    state ^= purpose;
    return SplitMix(state);
}

std::int64_t Market::Base(int instrument) const {
    if (instrument == kShIndex)
        return kShBase;
    if (instrument == kSzIndex)
        return kSzBase;
    return kStocks.at(static_cast<size_t>(instrument)).basePrice;
}

std::int64_t Market::PreviousClose(int instrument, std::int64_t day) const {
    const std::int64_t knot = FloorDiv(day, kKnotDays);
    const double frac = static_cast<double>(day - knot * kKnotDays) / kKnotDays;
    auto knotValue = [&](std::int64_t k) {
        std::uint64_t state = Hash(instrument, k, 1);
        return 2.0 * Unit(state) - 1.0;
    };
    const double curve = knotValue(knot) * (1.0 - frac) + knotValue(knot + 1) * frac;
    std::uint64_t state = Hash(instrument, day, 2);
    const double jitter = 2.0 * Unit(state) - 1.0;
    const double level = static_cast<double>(Base(instrument)) * (1.0 + kCurveAmplitude * curve) *
                         (1.0 + kDailyJitter * jitter);
    return std::max<std::int64_t>(1, std::llround(level));
}

std::shared_ptr<const Market::DayTable> Market::Table(int instrument, std::int64_t day) const {
    const auto key = std::make_pair(instrument, day);
    {
        std::lock_guard lock(cache_->mutex);
        auto found = cache_->tables.find(key);
        if (found != cache_->tables.end())
            return found->second;
    }
    std::shared_ptr<const DayTable> table = Build(instrument, day);
    std::lock_guard lock(cache_->mutex);
    // A few days of all instruments; a clock running fast through many days
    // starts over rather than growing.
    if (cache_->tables.size() >= 8 * (kStocks.size() + 2))
        cache_->tables.clear();
    cache_->tables.emplace(key, table);
    return table;
}

std::shared_ptr<const Market::DayTable> Market::Build(int instrument, std::int64_t day) const {
    auto d = std::make_shared<DayTable>();
    const std::int64_t p0 = PreviousClose(instrument, day);
    d->previousClose = p0;
    const std::int64_t close = PreviousClose(instrument, NextTradingDay(day));
    // The band of +-10 %, kept strictly inside by rounding towards p0.
    const std::int64_t upper = p0 * 110 / 100;
    const std::int64_t lower = (p0 * 90 + 99) / 100;
    auto clamp = [&](double v) { return std::clamp<std::int64_t>(std::llround(v), lower, upper); };

    std::uint64_t state = Hash(instrument, day, 3);
    const std::int64_t open =
        clamp(static_cast<double>(p0) * (1.0 + kOpenGap * (2.0 * Unit(state) - 1.0)));
    // A random walk pinned at both ends (a Brownian bridge) from the open to
    // the close.
    const int n = kPathSteps;
    const double sigma =
        static_cast<double>(p0) * kDayVolatility / std::sqrt(static_cast<double>(n));
    std::vector<double> walk(n + 1, 0.0);
    for (int k = 1; k <= n; ++k)
        walk[k] = walk[k - 1] + (2.0 * Unit(state) - 1.0) * std::sqrt(3.0) * sigma;
    d->path.resize(n + 1);
    for (int k = 0; k <= n; ++k) {
        const double t = static_cast<double>(k) / n;
        d->path[k] = clamp(static_cast<double>(open) + static_cast<double>(close - open) * t +
                           walk[k] - t * walk[n]);
    }
    d->path[0] = open;
    d->path[n] = std::clamp(close, lower, upper);

    // Volume: a seeded amount of lots every step, around the instrument's
    // usual activity.
    const bool index = instrument == kShIndex || instrument == kSzIndex;
    std::uint64_t activityState = Hash(instrument, 0, 4);
    const std::int64_t usual = index
                                   ? (instrument == kShIndex ? 60000 : 30000)
                                   : 50 + static_cast<std::int64_t>(SplitMix(activityState) % 400);
    std::uint64_t volumeState = Hash(instrument, day, 5);
    d->high.resize(n + 1);
    d->low.resize(n + 1);
    d->lots.resize(n + 1);
    d->turnover.resize(n + 1);
    std::int64_t high = open, low = open, lots = 0, turnover = 0;
    for (int k = 0; k <= n; ++k) {
        const std::int64_t price = d->path[k];
        high = std::max(high, price);
        low = std::min(low, price);
        const auto stepLots =
            static_cast<std::int64_t>(static_cast<double>(usual) * (0.2 + 1.6 * Unit(volumeState)));
        lots += stepLots;
        // Stocks: fen traded. Indices: yuan traded, at about 10 yuan a share.
        turnover += index ? stepLots * 100 * 10 : stepLots * 100 * price;
        d->high[k] = high;
        d->low[k] = low;
        d->lots[k] = lots;
        d->turnover[k] = turnover;
    }
    return d;
}

Market::Day Market::Run(int instrument, std::int64_t day, int step) const {
    Day d;
    if (step < 0) {
        // Before the open the previous close stands; no trade has been made.
        d.previousClose = PreviousClose(instrument, day);
        d.latest = d.high = d.low = d.previousClose;
        return d;
    }
    std::shared_ptr<const DayTable> t = Table(instrument, day);
    const auto k = static_cast<size_t>(std::min(step, kPathSteps));
    d.previousClose = t->previousClose;
    d.open = t->path[0];
    d.latest = t->path[k];
    d.high = t->high[k];
    d.low = t->low[k];
    d.lots = t->lots[k];
    d.turnover = t->turnover[k];
    return d;
}

std::optional<StockQuote> Market::Stock(std::string_view code, const MarketMoment& moment) const {
    for (size_t i = 0; i < kStocks.size(); ++i) {
        if (code != kStocks[i].code)
            continue;
        Day d = Run(static_cast<int>(i), moment.day, moment.step);
        StockQuote q;
        q.code = kStocks[i].code;
        q.name = kStocks[i].name;
        q.phase = moment.phase;
        q.previousClose = d.previousClose;
        q.latest = d.latest;
        q.open = d.open;
        q.high = d.high;
        q.low = d.low;
        q.volume = d.lots * 100;
        q.turnover = d.turnover / 100;
        return q;
    }
    return std::nullopt;
}

IndexQuote Market::Index(int instrument, std::string_view name, const MarketMoment& moment) const {
    Day d = Run(instrument, moment.day, moment.step);
    // Turnover in units of 1,000,000 yuan (0.01 of the page's 100 million).
    return IndexQuote{
        std::string(name),   moment.phase, d.previousClose, d.latest, d.open, d.high, d.low, d.lots,
        d.turnover / 1000000};
}

IndexQuote Market::ShIndex(const MarketMoment& moment) const {
    return Index(kShIndex, kShIndexName, moment);
}

IndexQuote Market::SzIndex(const MarketMoment& moment) const {
    return Index(kSzIndex, kSzIndexName, moment);
}

std::vector<std::int64_t> Market::PricePath(int instrument, std::int64_t day) const {
    return Table(instrument, day)->path;
}

} // namespace server
