// The public feed adapters: symbols, request targets, and the readers on
// recorded replies and on hand-made lines that hit each rule of their
// strictness.
#include "server/Feeds.h"

#include "platform/clock.h"
#include "server/Gbk.h"
#include "tests/support/Gbk.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

namespace server {
namespace {

using testsupport::Gbk;

// A recorded reply from tests/data/feeds of the source folder.
std::string Fixture(const char* name) {
    std::filesystem::path root = STOCKAT_SOURCE_DIR;
    std::ifstream in(root / "tests/data/feeds" / name, std::ios::binary);
    EXPECT_TRUE(in) << name;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

FeedSymbol Sym(std::string_view text) {
    Exchange e = text.substr(0, 2) == "sh"   ? Exchange::Sh
                 : text.substr(0, 2) == "sz" ? Exchange::Sz
                                             : Exchange::Bj;
    return FeedSymbol{e, std::string(text.substr(2))};
}

std::vector<FeedSymbol> Syms(std::initializer_list<const char*> texts) {
    std::vector<FeedSymbol> out;
    for (const char* t : texts) {
        out.push_back(Sym(t));
    }
    return out;
}

std::int64_t Beijing(const char* text) {
    return platform::ParseLocalTime(text, "Asia/Shanghai").value();
}

// One line per quote, so that a mismatch shows the whole quote.
std::string Summary(const FeedQuote& q) {
    const char* status = q.status == FeedStatus::Trading     ? "trading"
                         : q.status == FeedStatus::Suspended ? "suspended"
                                                             : "delisted";
    return q.symbol.Text() + " " + q.name + " " + status +
           " prev=" + std::to_string(q.previousClose) + " last=" + std::to_string(q.latest) +
           " open=" + std::to_string(q.open) + " high=" + std::to_string(q.high) +
           " low=" + std::to_string(q.low) + " vol=" + std::to_string(q.volume) +
           " turn=" + std::to_string(q.turnover) + " ms=" + std::to_string(q.epochMs);
}

std::vector<std::string> Summaries(const FeedReply& reply) {
    std::vector<std::string> out;
    for (const FeedQuote& q : reply.quotes) {
        out.push_back(Summary(q));
    }
    return out;
}

std::string Texts(const std::vector<FeedSymbol>& symbols) {
    std::string out;
    for (const FeedSymbol& s : symbols) {
        if (!out.empty()) {
            out += ',';
        }
        out += s.Text();
    }
    return out;
}

using Reader = FeedReply (*)(std::string_view, const std::vector<FeedSymbol>&);

// A reply that must be refused, and a part of the reason.
struct Refusal {
    const char* what;
    std::string body;
    std::vector<FeedSymbol> asked;
    const char* reason;
};

// A reply that must be read: the quotes (Summary() prefixes, in the reply's
// order) and the unknown symbols.
struct Reading {
    const char* what;
    std::string body;
    std::vector<FeedSymbol> asked;
    std::vector<std::string> quotes;
    const char* unknown;
};

void ExpectRead(Reader read, const std::vector<Reading>& cases) {
    for (const Reading& c : cases) {
        SCOPED_TRACE(c.what);
        FeedReply reply = read(c.body, c.asked);
        ASSERT_TRUE(reply.ok) << reply.error;
        std::vector<std::string> got = Summaries(reply);
        ASSERT_EQ(got.size(), c.quotes.size());
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].substr(0, c.quotes[i].size()), c.quotes[i]);
        }
        EXPECT_EQ(Texts(reply.unknown), c.unknown);
    }
}

// Refused as a whole (the reply is unusable), or, for a fault of one line,
// that line's code alone: it is listed as failed with the reason and gives
// no quote.
void ExpectRefused(Reader read, const std::vector<Refusal>& cases) {
    for (const Refusal& c : cases) {
        SCOPED_TRACE(c.what);
        FeedReply reply = read(c.body, c.asked);
        if (reply.ok) {
            ASSERT_EQ(reply.failed.size(), 1u);
            EXPECT_NE(reply.failed[0].second.find(c.reason), std::string::npos)
                << reply.failed[0].second;
            for (const FeedQuote& q : reply.quotes)
                EXPECT_NE(q.symbol, reply.failed[0].first);
            continue;
        }
        EXPECT_NE(reply.error.find(c.reason), std::string::npos) << reply.error;
        EXPECT_TRUE(reply.quotes.empty());
        EXPECT_TRUE(reply.unknown.empty());
    }
}

// Each range on its exchange, with the decimals and currency it quotes in.
TEST(FeedSymbols, CodesMapToTheirExchangeAndTheIndicesToTheirOwnSymbols) {
    struct Case {
        const char* code;
        const char* symbol;
        int decimals;
        const char* currency;
    };
    const Case cases[] = {
        {"600519", "sh600519", 2, ""},     // shares
        {"688981", "sh688981", 2, ""},     // STAR shares
        {"510300", "sh510300", 3, ""},     // ETF
        {"900901", "sh900901", 3, "美元"}, // B shares
        {"010107", "sh010107", 3, ""},     // treasury bond
        {"019666", "sh019666", 3, ""},     // treasury bond
        {"110059", "sh110059", 3, ""},     // convertible bonds
        {"111001", "sh111001", 3, ""},
        {"113050", "sh113050", 3, ""},
        {"118000", "sh118000", 3, ""},
        {"204001", "sh204001", 3, ""}, // repo
        {"000002", "sz000002", 2, ""},
        {"000001", "sz000001", 2, ""},
        {"001979", "sz001979", 2, ""},
        {"159915", "sz159915", 3, ""},     // ETF
        {"161725", "sz161725", 3, ""},     // LOF
        {"123107", "sz123107", 3, ""},     // convertible bond
        {"127045", "sz127045", 3, ""},     // convertible bond
        {"131810", "sz131810", 3, ""},     // repo
        {"200002", "sz200002", 2, "港元"}, // B shares
        {"300750", "sz300750", 2, ""},
        {"399006", "sz399006", 2, ""}, // an index: mapped, refused on the stock route
        {"430047", "bj430047", 2, ""},
        {"830799", "bj830799", 2, ""},
        {"920002", "bj920002", 2, ""},
        {"999998", "sh000001", 2, ""},
        {"999999", "sz399001", 2, ""},
        {"700001", "", 0, ""},
        {"910001", "", 0, ""},
        {"60051", "", 0, ""},
        {"6005190", "", 0, ""},
        {"60051a", "", 0, ""},
        {"", "", 0, ""},
        {"-60051", "", 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        std::optional<FeedSymbol> s = SymbolForCode(c.code);
        EXPECT_EQ(s ? s->Text() : "", c.symbol);
        if (s) {
            EXPECT_EQ(PriceDecimals(*s), c.decimals);
            EXPECT_EQ(PriceCurrency(*s), c.currency);
        }
    }
    EXPECT_TRUE(IsIndexSymbol(*SymbolForCode("399006")));
    EXPECT_FALSE(IsIndexSymbol(*SymbolForCode("000001")));
    EXPECT_EQ(ShIndexSymbol().Text(), "sh000001");
    EXPECT_EQ(SzIndexSymbol().Text(), "sz399001");
    // The Shanghai index and the Shenzhen stock share their digits only.
    EXPECT_NE(ShIndexSymbol(), *SymbolForCode("000001"));
}

TEST(FeedAdapters, TargetsHeadersAndTheTable) {
    std::vector<FeedSymbol> asked = Syms({"sh600519", "sz000002", "sh000001"});
    ASSERT_EQ(FeedAdapters().size(), 3u);
    const FeedAdapter* tencent = FindFeedAdapter("tencent");
    const FeedAdapter* sina = FindFeedAdapter("sina");
    const FeedAdapter* eastmoney = FindFeedAdapter("eastmoney");
    ASSERT_TRUE(tencent && sina && eastmoney);
    EXPECT_EQ(tencent, &FeedAdapters()[0]);
    EXPECT_EQ(sina, &FeedAdapters()[1]);
    EXPECT_EQ(FindFeedAdapter("yahoo"), nullptr);

    EXPECT_EQ(tencent->target(asked), "/q=sh600519,sz000002,sh000001");
    EXPECT_EQ(sina->target(asked), "/list=sh600519,sz000002,sh000001");
    EXPECT_EQ(eastmoney->target(asked),
              "/api/qt/ulist.np/get?secids=1.600519,0.000002,1.000001"
              "&fields=f2,f3,f4,f5,f6,f12,f13,f14,f15,f16,f17,f18,f124&fltt=2");
    EXPECT_EQ(tencent->target(Syms({"sz399001"})), "/q=sz399001");

    using Headers = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(sina->headers(), (Headers{{"Referer", "https://finance.sina.com.cn"}}));
    EXPECT_TRUE(tencent->headers().empty());
    EXPECT_TRUE(eastmoney->headers().empty());
    for (const FeedAdapter& a : FeedAdapters()) {
        // Every feed is asked over HTTPS, so that no one on the way can
        // change its quotes.
        EXPECT_EQ(a.defaultBase.rfind("https://", 0), 0u) << a.name;
        EXPECT_FALSE(a.servesBeijing) << a.name;
        EXPECT_FALSE(a.parse("Forbidden", asked).ok) << a.name;
    }
}

TEST(FeedNumbers, DecimalsAreExactAndStrict) {
    const std::tuple<const char*, int, std::int64_t> good[] = {
        {"32.400", 2, 3240},      {"32.405", 2, 3241},
        {"32.404", 2, 3240},      {"0", 2, 0},
        {"0.00", 2, 0},           {"0.005", 2, 1},
        {"1480.5", 2, 148050},    {"12345.67", 2, 1234567},
        {"3088.9449", 2, 308894}, {"00012.3", 2, 1230},
        {"5927", 4, 59270000},    {"341643944.520", 0, 341643945},
        {"43032", 2, 4303200},    {"1669101450", 3, 1669101450000},
    };
    for (const auto& [text, scale, value] : good) {
        EXPECT_EQ(ParseFeedDecimal(text, scale), value) << text;
    }
    for (const char* bad : {"", "-1.00", "+1", "nan", "inf", "0x1A", "1e3", " 1", "1 ", "1.", ".5",
                            "1.2.3", "1,5", "1234567890123"}) {
        EXPECT_EQ(ParseFeedDecimal(bad, 2), std::nullopt) << bad;
    }
}

TEST(FeedTimes, BeijingTimeIsUtcPlusEightWhateverTheMachinesZone) {
    EXPECT_EQ(BeijingTimeToEpochMs(2022, 11, 22, 11, 57, 30), Beijing("2022-11-22 11:57:30"));
    EXPECT_EQ(BeijingTimeToEpochMs(2024, 2, 29, 0, 0, 0), Beijing("2024-02-29 00:00:00"));
    EXPECT_EQ(BeijingTimeToEpochMs(1992, 1, 1, 8, 0, 0), 694224000000);
    EXPECT_EQ(BeijingTimeToEpochMs(2023, 2, 29, 0, 0, 0), std::nullopt);
    EXPECT_EQ(BeijingTimeToEpochMs(2022, 4, 31, 0, 0, 0), std::nullopt);
    EXPECT_EQ(BeijingTimeToEpochMs(2022, 11, 22, 24, 0, 0), std::nullopt);
    EXPECT_EQ(BeijingTimeToEpochMs(1991, 12, 31, 0, 0, 0), std::nullopt);
}

// ---- tencent ----

// A tencent line in GBK: `count` fields, those of a trading sz002039 unless
// `set` says otherwise.
std::string Tencent(const char* symbol, std::map<int, std::string> set = {}, int count = 50) {
    std::vector<std::string> f(static_cast<std::size_t>(count), "0");
    std::map<int, std::string> base = {
        {0, "51"},     {1, "黔源电力"},        {2, std::string(symbol).substr(2)},
        {3, "13.85"},  {4, "13.60"},           {5, "13.56"},
        {6, "43032"},  {30, "20221122115730"}, {33, "13.87"},
        {34, "13.56"}, {37, "5927"},           {40, ""},
    };
    for (auto& [i, v] : set) {
        base[i] = v;
    }
    for (auto& [i, v] : base) {
        if (i < count) {
            f[static_cast<std::size_t>(i)] = v;
        }
    }
    std::string value;
    for (std::size_t i = 0; i < f.size(); ++i) {
        value += (i ? "~" : "") + f[i];
    }
    return Gbk("v_" + std::string(symbol) + "=\"" + value + "\";\n");
}

TEST(TencentReader, RecordedReply) {
    FeedReply reply = ParseTencentReply(Fixture("tencent-recorded.txt"),
                                        Syms({"sz002039", "sz002150", "sz002257"}));
    ASSERT_TRUE(reply.ok) << reply.error;
    EXPECT_EQ(Summaries(reply),
              (std::vector<std::string>{
                  "sz002039 黔源电力 trading prev=13600 last=13850 open=13560 high=13870 low=13560 "
                  "vol=4303200 turn=59270000 ms=" +
                      std::to_string(Beijing("2022-11-22 11:57:30")),
                  "sz002150 通润装备 suspended prev=9550 last=9550 open=0 high=0 low=0 vol=0 "
                  "turn=0 ms=" +
                      std::to_string(Beijing("2022-11-22 11:57:18")),
              }));
    // Not in the reply, and no none-match line: missing, that code's fault.
    EXPECT_EQ(Texts(reply.unknown), "");
    ASSERT_EQ(reply.failed.size(), 1u);
    EXPECT_EQ(reply.failed[0].first.Text(), "sz002257");
    // With tencent's none-match line: unknown.
    reply = ParseTencentReply(Fixture("tencent-recorded.txt") + "v_pv_none_match=\"1\";\n",
                              Syms({"sz002039", "sz002150", "sz002257"}));
    EXPECT_EQ(Texts(reply.unknown), "sz002257");
    EXPECT_TRUE(reply.failed.empty());
}

TEST(TencentReader, EdgeCasesThatAreRead) {
    ExpectRead(
        ParseTencentReply,
        {
            {"none known",
             "v_pv_none_match=\"1\";\n",
             Syms({"sh600519", "sz000002"}),
             {},
             "sh600519,sz000002"},
            {"one unknown among several, CRLF line ends",
             Tencent("sh600519", {{1, "贵州茅台"}}) + "\r\nv_pv_none_match=\"1\";\r\n",
             Syms({"sz000002", "sh600519"}),
             {"sh600519 贵州茅台 trading prev=13600"},
             "sz000002"},
            {"four- and five-digit prices",
             Tencent("sh600519", {{3, "1480.50"},
                                  {4, "12345.67"},
                                  {5, "1479.995"},
                                  {33, "99999.99"},
                                  {34, "1000.00"}}),
             Syms({"sh600519"}),
             {"sh600519 黔源电力 trading prev=12345670 last=1480500 open=1479995 high=99999990 "
              "low=1000000"},
             ""},
            {"before the open: zero prices stay zero",
             Tencent("sz000002", {{3, "0.00"}, {5, "0.00"}, {6, "0"}, {33, "0.00"}, {34, "0.00"}}),
             Syms({"sz000002"}),
             {"sz000002 黔源电力 trading prev=13600 last=0 open=0 high=0 low=0 vol=0"},
             ""},
            {"inner blanks and full-width letters; outer blanks trimmed",
             Tencent("sz000002", {{1, " 万 科Ａ "}}),
             Syms({"sz000002"}),
             {"sz000002 万 科Ａ trading"},
             ""},
            {"the index and the stock of the same digits",
             Tencent("sh000001", {{0, "1"}, {1, "上证指数"}, {3, "3088.94"}}) +
                 Tencent("sz000001", {{1, "平安银行"}}),
             Syms({"sz000001", "sh000001"}),
             {"sh000001 上证指数 trading prev=13600 last=3088940", "sz000001 平安银行 trading"},
             ""},
            {"delisted, no time",
             Tencent("sz000003", {{40, "D"}, {30, ""}}),
             Syms({"sz000003"}),
             {"sz000003 黔源电力 delisted prev=13600 last=13850 open=13560 high=13870 low=13560 "
              "vol=4303200 turn=59270000 ms=0"},
             ""},
            {"exactly 45 fields",
             Tencent("sz000002", {}, 45),
             Syms({"sz000002"}),
             {"sz000002 黔源电力 trading"},
             ""},
        });
}

TEST(TencentReader, BadRepliesAndBadLinesAreRefused) {
    std::string good = Tencent("sz000002");
    std::string truncated = good.substr(0, good.size() - 3);
    std::vector<FeedSymbol> one = Syms({"sz000002"});
    std::vector<FeedSymbol> two = Syms({"sz000002", "sh600519"});
    ExpectRefused(
        ParseTencentReply,
        {
            {"Forbidden", "Forbidden", one, "not a quote reply"},
            {"HTML", "<html><body>502 Bad Gateway</body></html>", one, "not a quote reply"},
            {"empty", "", one, "empty reply"},
            {"blank", "\r\n", one, "empty reply"},
            {"truncated last line", good + truncated, one, "truncated"},
            {"truncated within a line", truncated + Tencent("sh600519"), two, "malformed"},
            {"no semicolon", good.substr(0, good.size() - 2) + "\n", one, "malformed"},
            {"garbage after a line", good + "<br>", one, "garbage"},
            {"44 fields", Tencent("sz000002", {}, 44), one, "too few fields"},
            {"letters in a price", Tencent("sz000002", {{3, "13.8a"}}), one, "field 3"},
            {"nan", Tencent("sz000002", {{33, "nan"}}), one, "field 33"},
            {"negative", Tencent("sz000002", {{4, "-13.60"}}), one, "field 4"},
            {"hexadecimal", Tencent("sz000002", {{6, "0x10"}}), one, "field 6"},
            {"exponent", Tencent("sz000002", {{37, "5.9e3"}}), one, "field 37"},
            {"invalid GBK", good + "v_sh600519=\"51~\x81\x20~600519\";", two, "not GBK"},
            {"a code not asked", Tencent("sh600519"), one, "not asked"},
            {"the index for the stock", Tencent("sh000001"), Syms({"sz000001"}), "not asked"},
            {"code field disagrees", Tencent("sz000002", {{2, "000001"}}), one, "code 000001"},
            {"two lines for one code", good + good, one, "two lines"},
            {"unknown status", Tencent("sz000002", {{40, "X"}}), one, "status"},
            {"bad time", Tencent("sz000002", {{30, "20221122256000"}}), one, "time"},
            {"short time", Tencent("sz000002", {{30, "202211221157"}}), one, "time"},
            {"empty name", Tencent("sz000002", {{1, ""}}), one, "name"},
            {"none-match not 1", "v_pv_none_match=\"0\";", one, "none-match"},
            {"short form line", Gbk("v_s_sz000002=\"51~万科Ａ~000002~9.00\";"), one, "not asked"},
            {"sina's reply", Fixture("sina-recorded.txt"), one, "not a quote reply"},
        });
}

// ---- sina ----

// A sina line in GBK: `count` fields (33: through the status), those of a
// trading sz002074 unless `set` says otherwise; Shanghai lines end in one
// more comma, as the feed writes them.
std::string Sina(const char* symbol, std::map<int, std::string> set = {}, int count = 33) {
    std::vector<std::string> f(static_cast<std::size_t>(count), "0");
    std::map<int, std::string> base = {
        {0, "国轩高科"},    {1, "32.400"},    {2, "32.570"},   {3, "32.110"},
        {4, "32.400"},      {5, "31.510"},    {8, "10718101"}, {9, "341643944.520"},
        {30, "2022-11-22"}, {31, "11:30:00"}, {32, "00"},
    };
    for (auto& [i, v] : set) {
        base[i] = v;
    }
    for (auto& [i, v] : base) {
        if (i < count) {
            f[static_cast<std::size_t>(i)] = v;
        }
    }
    std::string value;
    for (std::size_t i = 0; i < f.size(); ++i) {
        value += (i ? "," : "") + f[i];
    }
    if (std::string_view(symbol).substr(0, 2) == "sh") {
        value += ",";
    }
    return Gbk("var hq_str_" + std::string(symbol) + "=\"" + value + "\";\n");
}

TEST(SinaReader, RecordedReply) {
    FeedReply reply = ParseSinaReply(Fixture("sina-recorded.txt"),
                                     Syms({"sz002074", "sz002150", "sh600000", "sz002257"}));
    ASSERT_TRUE(reply.ok) << reply.error;
    EXPECT_EQ(Summaries(reply),
              (std::vector<std::string>{
                  "sz002074 国轩高科 trading prev=32570 last=32110 open=32400 high=32400 low=31510 "
                  "vol=10718101 turn=341643945 ms=" +
                      std::to_string(Beijing("2022-11-22 11:30:00")),
                  "sz002150 通润装备 suspended prev=9550 last=0 open=0 high=0 low=0 vol=0 "
                  "turn=0 ms=" +
                      std::to_string(Beijing("2022-11-22 11:30:00")),
                  "sh600000 浦发银行 trading prev=11490 last=11560 open=11510 high=11570 low=11440 "
                  "vol=21606007 turn=248901949 ms=" +
                      std::to_string(Beijing("2019-07-16 15:00:00")),
              }));
    EXPECT_EQ(Texts(reply.unknown), "sz002257");
}

TEST(SinaReader, EdgeCasesThatAreRead) {
    ExpectRead(
        ParseSinaReply,
        {
            {"all unknown",
             "var hq_str_sh600519=\"\";\nvar hq_str_sz000002=\"\";\n",
             Syms({"sh600519", "sz000002"}),
             {},
             "sh600519,sz000002"},
            {"four- and five-digit prices, Shanghai's extra comma",
             Sina("sh600519",
                  {{0, "贵州茅台"}, {1, "1480.500"}, {2, "12345.670"}, {3, "1480.505"}}),
             Syms({"sh600519"}),
             {"sh600519 贵州茅台 trading prev=12345670 last=1480505 open=1480500"},
             ""},
            {"before the open",
             Sina("sz000002",
                  {{1, "0.000"}, {3, "0.000"}, {4, "0.000"}, {5, "0.000"}, {8, "0"}, {9, "0.000"}}),
             Syms({"sz000002"}),
             {"sz000002 国轩高科 trading prev=32570 last=0 open=0 high=0 low=0 "
              "vol=0 turn=0"},
             ""},
            {"an older index line without a status; an index's volume is in lots",
             Sina("sh000001", {{0, "上证指数"}, {2, "3097.0422"}}, 32),
             Syms({"sh000001"}),
             {"sh000001 上证指数 trading prev=3097042 last=32110 open=32400 high=32400 "
              "low=31510 vol=1071810100"},
             ""},
            {"inner blanks and full-width letters",
             Sina("sz000002", {{0, "万 科Ａ"}}),
             Syms({"sz000002"}),
             {"sz000002 万 科Ａ trading"},
             ""},
            {"delisted",
             Sina("sz000003", {{32, "-3"}}),
             Syms({"sz000003"}),
             {"sz000003 国轩高科 delisted"},
             ""},
            {"more fields after the status",
             Sina("sz000002", {{34, "x"}}, 36),
             Syms({"sz000002"}),
             {"sz000002 国轩高科 trading"},
             ""},
        });
}

TEST(SinaReader, BadRepliesAndBadLinesAreRefused) {
    std::string good = Sina("sz000002");
    std::vector<FeedSymbol> one = Syms({"sz000002"});
    std::vector<FeedSymbol> two = Syms({"sz000002", "sh600519"});
    ExpectRefused(
        ParseSinaReply,
        {
            {"Forbidden", "Forbidden", one, "not a quote reply"},
            {"HTML 403", "<html><head><title>403 Forbidden</title></head></html>", one,
             "not a quote reply"},
            {"empty", "", one, "empty reply"},
            {"truncated", good.substr(0, good.size() - 10), one, "truncated"},
            {"a line missing", good, two, "no line for sh600519"},
            {"31 fields", Sina("sz000002", {}, 31), one, "too few fields"},
            {"a Shanghai line of 31 fields and its comma", Sina("sh600519", {}, 31),
             Syms({"sh600519"}), "too few fields"},
            {"bad price", Sina("sz000002", {{3, "32.1.1"}}), one, "field 3"},
            {"negative", Sina("sz000002", {{5, "-31.510"}}), one, "field 5"},
            {"bad volume", Sina("sz000002", {{8, "1e7"}}), one, "field 8"},
            {"invalid GBK", good.substr(0, 20) + "\xff\xff" + good.substr(20), one, "not GBK"},
            {"a code not asked", Sina("sz000001"), one, "not asked"},
            {"two lines for one code", good + good, one, "two lines"},
            {"unknown status", Sina("sz000002", {{32, "07"}}), one, "status"},
            {"bad date", Sina("sz000002", {{30, "2022/11/22"}}), one, "time"},
            {"bad time", Sina("sz000002", {{31, "11:61:00"}}), one, "time"},
            {"empty name", Sina("sz000002", {{0, " "}}), one, "name"},
            {"tencent's reply", Fixture("tencent-recorded.txt"), one, "not a quote reply"},
        });
}

// ---- eastmoney ----

// One row of the list reply; `extra` replaces or adds fields (raw JSON).
std::string Row(const char* code, int market, const char* name,
                std::map<std::string, std::string> extra = {}) {
    std::map<std::string, std::string> f = {
        {"f2", "1480.5"},
        {"f3", "-1.23"},
        {"f4", "-18.4"},
        {"f5", "43032"},
        {"f6", "63712345.6"},
        {"f12", std::string("\"") + code + "\""},
        {"f13", std::to_string(market)},
        {"f14", std::string("\"") + name + "\""},
        {"f15", "1490.00"},
        {"f16", "1470"},
        {"f17", "1475.25"},
        {"f18", "1498.9"},
        {"f124", "1669087050"},
    };
    for (auto& [k, v] : extra) {
        f[k] = v;
    }
    std::string row;
    for (auto& [k, v] : f) {
        if (!v.empty()) {
            row += row.empty() ? '{' : ',';
            row += '"' + k + "\":" + v;
        }
    }
    return row + "}";
}

std::string List(const std::vector<std::string>& rows) {
    std::string diff;
    for (const std::string& r : rows) {
        diff += (diff.empty() ? "" : ",") + r;
    }
    return "{\"rc\":0,\"rt\":11,\"svr\":1,\"lt\":1,\"full\":1,\"dlmkts\":\"\",\"data\":"
           "{\"total\":" +
           std::to_string(rows.size()) + ",\"diff\":[" + diff + "]}}";
}

TEST(EastmoneyReader, EdgeCasesThatAreRead) {
    const std::string kMs = " ms=1669087050000";
    ExpectRead(
        ParseEastmoneyReply,
        {
            {"two rows, four-digit prices; volume in lots; turnover rounded",
             List({Row("600519", 1, "贵州茅台"), Row("000002", 0, "万 科Ａ", {{"f2", "9.005"}})}),
             Syms({"sh600519", "sz000002"}),
             {"sh600519 贵州茅台 trading prev=1498900 last=1480500 open=1475250 high=1490000 "
              "low=1470000 "
              "vol=4303200 turn=63712346" +
                  kMs,
              "sz000002 万 科Ａ trading prev=1498900 last=9005 open=1475250 high=1490000 "
              "low=1470000 "
              "vol=4303200 turn=63712346" +
                  kMs},
             ""},
            {"decimals exact where a double is not: 1480.505 and 12345.675",
             List({Row("600519", 1, "X", {{"f2", "1480.505"}, {"f18", "12345.675"}})}),
             Syms({"sh600519"}),
             {"sh600519 X trading prev=12345675 last=1480505 open=1475250 high=1490000 low=1470000 "
              "vol=4303200 turn=63712346" +
              kMs},
             ""},
            {"suspended: numbers as \"-\"",
             List({Row("000002", 0, "万科A",
                       {{"f2", "\"-\""},
                        {"f5", "\"-\""},
                        {"f6", "\"-\""},
                        {"f15", "\"-\""},
                        {"f16", "\"-\""},
                        {"f17", "\"-\""},
                        {"f3", "\"-\""},
                        {"f4", "\"-\""}})}),
             Syms({"sz000002"}),
             {"sz000002 万科A suspended prev=1498900 last=0 open=0 high=0 low=0 vol=0 turn=0" +
              kMs},
             ""},
            {"one absent: unknown; the index and the stock of the same digits",
             List({Row("000001", 0, "平安银行"), Row("000001", 1, "上证指数")}),
             Syms({"sh000001", "sz000001", "sh600000"}),
             {"sz000001 平安银行 trading", "sh000001 上证指数 trading"},
             "sh600000"},
            {"exponents move the point exactly",
             List({Row("600519", 1, "X",
                       {{"f6", "2.9781234567E11"},
                        {"f2", "1.4805E3"},
                        {"f18", "148050e-2"},
                        {"f17", "0.0148E+5"},
                        {"f15", "1E3"},
                        {"f16", "1000000e-3"}})}),
             Syms({"sh600519"}),
             {"sh600519 X trading prev=1480500 last=1480500 open=1480000 high=1000000 low=1000000 "
              "vol=4303200 turn=297812345670" +
              kMs},
             ""},
            {"none known",
             "{\"rc\":0,\"rt\":11,\"data\":null}",
             Syms({"sh600519", "sz000002"}),
             {},
             "sh600519,sz000002"},
        });
}

TEST(EastmoneyReader, BadRepliesAndBadRowsAreRefused) {
    std::vector<FeedSymbol> one = Syms({"sh600519"});
    std::string good = List({Row("600519", 1, "贵州茅台")});
    std::string deep = std::string(100, '[') + std::string(100, ']');
    ExpectRefused(
        ParseEastmoneyReply,
        {
            {"Forbidden", "Forbidden", one, "not a JSON reply"},
            {"HTML", "<html>busy</html>", one, "not a JSON reply"},
            {"empty", "", one, "not a JSON reply"},
            {"truncated", good.substr(0, good.size() - 3), one, "not a JSON reply"},
            {"trailing garbage", good + "x", one, "not a JSON reply"},
            {"an array", "[1,2]", one, "not a JSON reply"},
            {"nested too deep", deep, one, "not a JSON reply"},
            {"invalid UTF-8", List({Row("600519", 1, "\xff")}), one, "not a JSON reply"},
            {"GBK name", List({Row("600519", 1, Gbk("贵州茅台").c_str())}), one,
             "not a JSON reply"},
            {"duplicate key", List({Row("600519", 1, "X", {{"f14", "\"X\",\"f2\":1"}})}), one,
             "not a JSON reply"},
            {"error code", "{\"rc\":102,\"data\":null}", one, "feed error"},
            {"no data", "{\"rc\":0}", one, "no data"},
            {"data without rows", "{\"rc\":0,\"data\":{\"total\":0}}", one, "no rows"},
            {"a row for a code not asked", List({Row("600000", 1, "X")}), one, "not asked"},
            {"the stock for the index", List({Row("000001", 0, "X")}), Syms({"sh000001"}),
             "not asked"},
            {"unknown market", List({Row("600519", 2, "X")}), one, "market"},
            {"code as a number", List({Row("600519", 1, "X", {{"f12", "600519"}})}), one, "code"},
            {"two rows for one code", List({Row("600519", 1, "X"), Row("600519", 1, "X")}), one,
             "two rows"},
            {"a price missing", List({Row("600519", 1, "X", {{"f2", ""}})}), one, "bad number"},
            {"negative price", List({Row("600519", 1, "X", {{"f17", "-1.5"}})}), one, "bad number"},
            {"exponent out of range", List({Row("600519", 1, "X", {{"f15", "1.4e300"}})}), one,
             "bad number"},
            {"negative mantissa with exponent", List({Row("600519", 1, "X", {{"f15", "-1e3"}})}),
             one, "bad number"},
            {"price as text", List({Row("600519", 1, "X", {{"f2", "\"1480.5\""}})}), one,
             "bad number"},
            {"null price", List({Row("600519", 1, "X", {{"f16", "null"}})}), one, "bad number"},
            {"empty name", List({Row("600519", 1, "")}), one, "name"},
            {"a row that is not an object", List({"[1]"}), one, "not an object"},
        });
}

// A well-formed quote that cannot be true is refused; one that can is kept.
TEST(FeedQuotes, AQuoteInconsistentWithItselfIsRefused) {
    auto quote = [](std::int64_t previous, std::int64_t latest, std::int64_t low, std::int64_t high,
                    std::optional<std::int64_t> change = std::nullopt) {
        FeedQuote q;
        q.symbol = Sym("sh600519");
        q.previousClose = previous;
        q.latest = latest;
        q.open = latest;
        q.low = low;
        q.high = high;
        q.change = change;
        return q;
    };
    FeedQuote suspended = quote(9550, 0, 0, 0);
    suspended.status = FeedStatus::Suspended;
    FeedQuote delisted = quote(0, 0, 0, 0);
    delisted.status = FeedStatus::Delisted;
    FeedQuote openAbove = quote(13600, 13850, 13560, 13870);
    openAbove.open = 13900;
    const std::pair<FeedQuote, const char*> cases[] = {
        {quote(13600, 13850, 13560, 13870, 250), ""},
        {quote(13600, 13850, 13560, 13870), ""},                     // no change stated
        {quote(13600, 13850, 13560, 13870, 255), ""},                // the feed's rounding
        {quote(13600, 0, 0, 0), ""},                                 // before the first trade
        {suspended, ""},                                             // no trade today
        {delisted, ""},                                              // whatever stood there last
        {quote(13600, 99999999990, 13560, 13870), "latest outside"}, // 99999999.99
        {quote(13600, 13500, 13560, 13870), "latest outside"},
        {openAbove, "open outside"},
        {quote(13600, 13850, 13870, 13560), "range"}, // low above high
        {quote(13600, 13850, 0, 13870), "range"},
        {quote(0, 13850, 13560, 13870), "previous close"},
        {quote(13600, 13850, 13560, 13870, 2500), "change"},
        {quote(13600, 13850, 13560, 13870, -250), "change"},
    };
    for (const auto& [q, reason] : cases) {
        SCOPED_TRACE(Summary(q));
        std::optional<std::string> why = QuoteInconsistency(q);
        if (*reason == '\0') {
            EXPECT_EQ(why, std::nullopt);
        } else {
            EXPECT_NE(why.value_or("").find(reason), std::string::npos) << why.value_or("");
        }
    }
}

} // namespace
} // namespace server
