// The data files: their exact bytes, round trips, the month reset, broken
// and hostile files, and saves that are cut short.
#include "watchlist/DataFiles.h"

#include "common/ProgramState.h"
#include "common/QuoteRecord.h"
#include "platform/clock.h"
#include "platform/device.h"
#include "server/Gbk.h"

#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string Gbk(const char* utf8) {
    return server::Utf8ToGbk(utf8).value();
}

class DataFilesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/stockat-files-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
        savedRoot_ = platform::Device().root;
        platform::Device().root = root_;
        SetMonth("2026-03-15 10:00");
        ResetProgramState();
    }
    void TearDown() override {
        ResetProgramState();
        platform::Device().root = savedRoot_;
        platform::SetClock(platform::DeviceClock::Real());
        fs::remove_all(root_);
    }
    static void SetMonth(const char* localTime) {
        auto ms = platform::ParseLocalTime(localTime, "Asia/Shanghai");
        ASSERT_TRUE(ms.has_value());
        platform::SetClock(platform::DeviceClock::Manual(*ms));
    }
    fs::path Folder() const { return root_ / "Program Files" / "MyTradlynx" / "qzfen"; }
    std::string Raw(const char* name) const {
        std::ifstream in(Folder() / name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    void PutRaw(const char* name, const std::string& bytes) const {
        fs::create_directories(Folder());
        std::ofstream(Folder() / name, std::ios::binary) << bytes;
    }
    // Stores a content text the way the program writes it.
    void PutContent(const char* name, const std::string& content) const {
        PutRaw(name, ScrambleText(content));
    }
    // The content text of a file: unscrambled, up to the terminator.
    std::string Content(const char* name) const {
        std::string text = ScrambleText(Raw(name));
        return text.substr(0, text.find('\0'));
    }
    static void AddStock(const std::string& code, const std::string& name) {
        QuoteRecord& r = WatchList[stockCount++];
        r = QuoteRecord{};
        r.code = code;
        r.name = name;
        r.latest = "12.30";
        r.changePercent = "1.23%";
        r.sellTarget = "13.00";
        r.sellAlerted = "Y";
        r.buyTarget = "--";
        r.buyAlerted = "P";
        r.change = "0.15";
        r.previousClose = "12.15";
        r.open = "12.20";
        r.high = "12.40";
        r.low = "12.05";
        r.turnover = "123456";
        r.volume = "7890";
        r.updateTime = "--";
    }

    fs::path root_;
    fs::path savedRoot_;
};

TEST_F(DataFilesTest, ScrambleIsAnXorWithOneMaskByteAppended) {
    EXPECT_EQ(ScrambleText(""), std::string("\x5A"));
    EXPECT_EQ(ScrambleText("0;"), std::string("\x6A\x61\x5A"));
    std::string back = ScrambleText(ScrambleText("40;"));
    EXPECT_EQ(back, std::string("40;\0\x5A", 5));
}

TEST_F(DataFilesTest, FirstStartWithoutFilesKeepsTheStartValues) {
    Settings.Background = "W"; // the loader clears it even without a file
    LoadSettings();
    EXPECT_EQ(LoadWatchList(), 0);
    EXPECT_EQ(stockCount, 0);
    EXPECT_EQ(Settings.Background, "");
    EXPECT_EQ(Settings.RefreshInterval, 40);
    EXPECT_EQ(Settings.NotifyMethod, "");
    EXPECT_EQ(Settings.ConnectionMethod, "");
}

TEST_F(DataFilesTest, SettingsAreWrittenInTheFileFormatAndReadBack) {
    Settings.RefreshInterval = 40;
    Settings.RefreshUnit = Gbk("秒");
    Settings.MonthTraffic = 0.03124;
    Settings.Background = "B";
    Settings.ReservedFlag = "x"; // always written as "N"
    Settings.TrafficMonth = "3";
    Settings.NotifyMethod = "t";
    Settings.ConnectionMethod = "2";
    SaveSettings();
    std::string expected = Gbk("40;秒;0.0312;B;N;3;t;;2;");
    EXPECT_EQ(Raw("afxg002"), ScrambleText(expected));

    ResetProgramState();
    LoadSettings();
    EXPECT_EQ(Settings.RefreshInterval, 40);
    EXPECT_EQ(Settings.RefreshUnit, Gbk("秒"));
    EXPECT_DOUBLE_EQ(Settings.MonthTraffic, 0.0312);
    EXPECT_EQ(Settings.Background, "B");
    EXPECT_EQ(Settings.TrafficMonth, "3");
    EXPECT_EQ(Settings.NotifyMethod, "t");
    EXPECT_EQ(Settings.SmsPhone, "");
    EXPECT_EQ(Settings.ConnectionMethod, "2");

    Settings.RefreshInterval = -1;
    Settings.RefreshUnit = Gbk("分");
    Settings.NotifyMethod = "s";
    Settings.SmsPhone = "13800138000";
    SaveSettings();
    ResetProgramState();
    LoadSettings();
    EXPECT_EQ(Settings.RefreshInterval, -1);
    EXPECT_EQ(Settings.RefreshUnit, Gbk("分"));
    EXPECT_EQ(Settings.SmsPhone, "13800138000");
}

TEST_F(DataFilesTest, ANewMonthResetsTheMonthTrafficButTheSameMonthOfANewYearDoesNot) {
    PutContent("afxg002", Gbk("40;秒;0.0312;B;N;3;t;;2;"));
    SetMonth("2026-04-01 09:00");
    LoadSettings();
    EXPECT_EQ(Settings.MonthTraffic, 0);
    EXPECT_EQ(Settings.TrafficMonth, "4");

    ResetProgramState();
    SetMonth("2027-03-01 09:00");
    LoadSettings();
    EXPECT_DOUBLE_EQ(Settings.MonthTraffic, 0.0312);
    EXPECT_EQ(Settings.TrafficMonth, "3");

    // No stored month: the traffic starts again and the month is stored.
    ResetProgramState();
    PutContent("afxg002", "40;;1.5;W;N;;;;;");
    LoadSettings();
    EXPECT_EQ(Settings.MonthTraffic, 0);
    EXPECT_EQ(Settings.TrafficMonth, "3");
}

TEST_F(DataFilesTest, TheFirstRunsTrafficIsKeptByTheSecondStart) {
    // First start, no files: the month is recorded at once.
    LoadSettings();
    EXPECT_EQ(Settings.TrafficMonth, "3");
    // The run's fetches count their traffic; the exit saves it.
    Settings.MonthTraffic += 0.125;
    SaveSettings();

    // The second start in the same month keeps the count.
    ResetProgramState();
    LoadSettings();
    EXPECT_DOUBLE_EQ(Settings.MonthTraffic, 0.125);
    EXPECT_EQ(Settings.TrafficMonth, "3");
}

TEST_F(DataFilesTest, EmptySettingsFieldsKeepTheValuesInMemory) {
    Settings.NotifyMethod = "s";
    Settings.ConnectionMethod = "1";
    PutContent("afxg002", ";;;;;;;;;");
    LoadSettings();
    EXPECT_EQ(Settings.RefreshInterval, 0); // always assigned, also when empty
    EXPECT_EQ(Settings.NotifyMethod, "s");
    EXPECT_EQ(Settings.ConnectionMethod, "1");
}

// A settings file with fewer than nine fields assigns the fields it has to
// the right settings and leaves the rest as they were, never the text of one
// field under another's name.
TEST_F(DataFilesTest, AShortSettingsFileNeverAssignsAFieldToTheWrongSetting) {
    Settings.NotifyMethod = "t";
    Settings.SmsPhone = "139";
    Settings.ConnectionMethod = "3";
    PutContent("afxg002", Gbk("30;分;0.5;W"));
    LoadSettings();
    EXPECT_EQ(Settings.RefreshInterval, 30);
    EXPECT_EQ(Settings.RefreshUnit, Gbk("分"));
    EXPECT_EQ(Settings.Background, ""); // "W" lacks its ";": not a field
    EXPECT_EQ(Settings.NotifyMethod, "t");
    EXPECT_EQ(Settings.SmsPhone, "139");
    EXPECT_EQ(Settings.ConnectionMethod, "3");

    PutContent("afxg002", "20");
    LoadSettings();
    EXPECT_EQ(Settings.RefreshInterval, 0);
    EXPECT_EQ(Settings.RefreshUnit, Gbk("分"));
    EXPECT_EQ(Settings.ConnectionMethod, "3");
}

TEST_F(DataFilesTest, HostileSettingsFilesAreReadWithinTheirLimit) {
    // 10,000 bytes: only the first 150 are read.
    PutContent("afxg002", "50;" + std::string(10000, 'x') + ";W;N;3;t;;2;");
    LoadSettings();
    EXPECT_EQ(Settings.RefreshInterval, 50);
    EXPECT_EQ(Settings.RefreshUnit, "");
    EXPECT_EQ(Settings.ConnectionMethod, "");
    // A traffic counter cannot be negative or endless.
    PutContent("afxg002", "40;;-7;B;N;3;;;;");
    LoadSettings();
    EXPECT_EQ(Settings.MonthTraffic, 0);
    PutContent("afxg002", "40;;1e999;B;N;3;;;;");
    LoadSettings();
    EXPECT_EQ(Settings.MonthTraffic, 0);
    // Random bytes and an empty file.
    std::string noise;
    for (int i = 0; i < 150; ++i) {
        noise.push_back(static_cast<char>((i * 97 + 13) & 0xFF));
    }
    PutRaw("afxg002", noise);
    LoadSettings();
    PutRaw("afxg002", "");
    Settings.NotifyMethod = "s";
    LoadSettings();
    EXPECT_EQ(Settings.NotifyMethod, "s");
}

TEST_F(DataFilesTest, OneStockIsWrittenExactlyAndReadBackArmed) {
    AddStock("600036", Gbk("招商银行"));
    SaveWatchList();
    EXPECT_EQ(Raw("afxg003"),
              ScrambleText(Gbk("1;600036;招商银行;12.30;1.23%;13.00;N;--;N;0.15;12.15;12.20;"
                               "12.40;12.05;--;")));
    ResetProgramState();
    EXPECT_EQ(LoadWatchList(), 1);
    EXPECT_EQ(stockCount, 1);
    const QuoteRecord& r = WatchList[0];
    EXPECT_EQ(r.code, "600036");
    EXPECT_EQ(r.name, Gbk("招商银行"));
    EXPECT_EQ(r.sellTarget, "13.00");
    EXPECT_EQ(r.sellAlerted, "N");
    EXPECT_EQ(r.buyTarget, "--");
    EXPECT_EQ(r.buyAlerted, "N");
    EXPECT_EQ(r.low, "12.05");
    EXPECT_EQ(r.updateTime, "--");
    EXPECT_EQ(r.turnover, ""); // not kept in the file
    EXPECT_EQ(r.volume, "");
}

TEST_F(DataFilesTest, AFullWatchListRoundTrips) {
    for (int i = 0; i < kMaxStocks; ++i) {
        char code[8];
        std::snprintf(code, sizeof code, "6%05d", i);
        AddStock(code, Gbk("浦发银行"));
        WatchList[i].latest = std::to_string(10 + i) + ".01";
        WatchList[i].updateTime = "03-18 14:32:0" + std::to_string(i % 10);
    }
    std::vector<QuoteRecord> before(WatchList, WatchList + kMaxStocks);
    SaveWatchList();
    ResetProgramState();
    ASSERT_EQ(LoadWatchList(), kMaxStocks);
    for (int i = 0; i < kMaxStocks; ++i) {
        for (int f : {0, 1, 2, 3, 4, 6, 8, 9, 10, 11, 12, 15}) {
            EXPECT_EQ(FieldOf(WatchList[i], f), FieldOf(before[i], f)) << i << "/" << f;
        }
        EXPECT_EQ(WatchList[i].sellAlerted, "N");
    }
}

TEST_F(DataFilesTest, EmptyRecordFieldsGetTheirDefaults) {
    PutContent("afxg003", "1;;;;;;;;;;;;;;;");
    ASSERT_EQ(LoadWatchList(), 1);
    const QuoteRecord& r = WatchList[0];
    EXPECT_EQ(r.code, "--");
    EXPECT_EQ(r.name, "--");
    EXPECT_EQ(r.latest, "0");
    EXPECT_EQ(r.changePercent, "0%");
    EXPECT_EQ(r.sellTarget, "--");
    EXPECT_EQ(r.sellAlerted, "P");
    EXPECT_EQ(r.buyAlerted, "P");
    EXPECT_EQ(r.change, "0");
    EXPECT_EQ(r.low, "0");
    EXPECT_EQ(r.updateTime, "--");
}

TEST_F(DataFilesTest, FilesWithoutStocksLoadNone) {
    for (std::string content : {"0;", ";", ";1;a;", "", "5", "abc;", "-3;600000;;;;;;;;;;;;;;"}) {
        PutContent("afxg003", content);
        EXPECT_EQ(LoadWatchList(), 0) << content;
        EXPECT_EQ(stockCount, 0) << content;
    }
}

TEST_F(DataFilesTest, TheLoaderReadsAtMostSixteenWholeRecords) {
    std::string group = "600000;name;1;0%;--;N;--;N;0;0;0;0;0;--;";
    std::string twenty = "20;";
    for (int i = 0; i < 20; ++i) {
        twenty += group;
    }
    PutContent("afxg003", twenty);
    EXPECT_EQ(LoadWatchList(), 16);
    EXPECT_EQ(WatchList[16].code, ""); // the scratch record is untouched

    ResetProgramState();
    PutContent("afxg003", "99999999999;" + group);
    EXPECT_EQ(LoadWatchList(), 1);

    // Three promised, two whole groups and a broken third: two stocks, and
    // the third record is not filled from the wrong fields.
    ResetProgramState();
    PutContent("afxg003", "3;" + group + group + "600002;half;1;");
    EXPECT_EQ(LoadWatchList(), 2);
    EXPECT_EQ(stockCount, 2);
    EXPECT_EQ(WatchList[2].code, "");
}

TEST_F(DataFilesTest, OversizedAndNoisyWatchListFilesAreReadSafely) {
    // More than 3000 bytes: the groups that lie within the limit are read.
    std::string group = "600000;" + std::string(300, 'n') + ";1;0%;--;N;--;N;0;0;0;0;0;--;";
    std::string content = "16;";
    for (int i = 0; i < 16; ++i) {
        content += group;
    }
    PutContent("afxg003", content);
    int loaded = LoadWatchList();
    EXPECT_GE(loaded, 1);
    EXPECT_LT(loaded, 16);
    EXPECT_EQ(stockCount, loaded);

    std::string noise;
    for (int i = 0; i < 3000; ++i) {
        noise.push_back(static_cast<char>(((i * 131) ^ (i >> 3)) & 0xFF));
    }
    PutRaw("afxg003", noise);
    int n = LoadWatchList();
    EXPECT_GE(n, 0);
    EXPECT_LE(n, 16);
}

TEST_F(DataFilesTest, AFileWrittenInPlaceOverALongerOneReadsAsTheNewContent) {
    // A phone writes in place: the old content's tail stays after the new
    // terminator byte.
    std::string longer = ScrambleText("2;600000;a;1;0%;--;N;--;N;0;0;0;0;0;--;600001;b;1;0%;--;N;"
                                      "--;N;0;0;0;0;0;--;");
    std::string shorter = ScrambleText("1;600002;c;1;0%;--;N;--;N;0;0;0;0;0;--;");
    PutRaw("afxg003", shorter + longer.substr(shorter.size()));
    ASSERT_EQ(LoadWatchList(), 1);
    EXPECT_EQ(WatchList[0].code, "600002");
}

TEST_F(DataFilesTest, ShorterContentSavedOverLongerReadsBackExactly) {
    AddStock("600000", "a");
    AddStock("600001", "b");
    AddStock("600002", "c");
    SaveWatchList();
    ASSERT_EQ(RemoveStock(0), 0);
    ASSERT_EQ(RemoveStock(0), 0);
    SaveWatchList();
    std::string content = Content("afxg003");
    EXPECT_EQ(Raw("afxg003"), ScrambleText(content)); // nothing after the terminator
    ResetProgramState();
    ASSERT_EQ(LoadWatchList(), 1);
    EXPECT_EQ(WatchList[0].code, "600002");

    ASSERT_EQ(RemoveStock(0), 0);
    SaveWatchList();
    EXPECT_EQ(Raw("afxg003"), std::string("\x6A\x61\x5A")); // "0;" scrambled
    EXPECT_FALSE(fs::exists(Folder() / "afxg003.new"));
}

TEST_F(DataFilesTest, ASemicolonInAValueCannotShiftTheFields) {
    AddStock("600000", "A;B");
    AddStock("600001", "C");
    Settings.SmsPhone = "138;0";
    SaveWatchList();
    SaveSettings();
    ResetProgramState();
    LoadSettings();
    ASSERT_EQ(LoadWatchList(), 2);
    EXPECT_EQ(WatchList[0].name, "AB");
    EXPECT_EQ(WatchList[1].code, "600001");
    EXPECT_EQ(Settings.SmsPhone, "1380");
}

TEST_F(DataFilesTest, ValuesTooLongForTheReaderAreNeverHalfWritten) {
    // Settings beyond the reader's 150 bytes: the old file stays.
    Settings.SmsPhone = "1";
    SaveSettings();
    std::string before = Raw("afxg002");
    Settings.SmsPhone = std::string(200, '9');
    SaveSettings();
    EXPECT_EQ(Raw("afxg002"), before);

    // Records whose values would not fit the reader's 3000 bytes: the file
    // holds the whole groups that fit, and says how many.
    for (int i = 0; i < kMaxStocks; ++i) {
        AddStock("60000" + std::to_string(i % 10), std::string(400, 'n'));
    }
    SaveWatchList();
    ResetProgramState();
    int loaded = LoadWatchList();
    EXPECT_GT(loaded, 0);
    EXPECT_LT(loaded, kMaxStocks);
    EXPECT_EQ(ReadInteger(Content("afxg003")), loaded);
    EXPECT_LE(Raw("afxg003").size(), 3000u);
}

TEST_F(DataFilesTest, SavingCreatesTheFolders) {
    EXPECT_FALSE(fs::exists(root_ / "Program Files"));
    SaveSettings();
    SaveWatchList();
    EXPECT_TRUE(fs::exists(Folder() / "afxg002"));
    EXPECT_TRUE(fs::exists(Folder() / "afxg003"));
}

// Runs `save` in a child process whose files may not grow beyond `limit`
// bytes, and returns the child's wait status.
int SaveInLimitedChild(void (*save)(), rlim_t limit, bool ignoreSignal) {
    pid_t child = fork();
    if (child == 0) {
        rlimit noCore{0, 0};
        setrlimit(RLIMIT_CORE, &noCore);
        if (ignoreSignal) {
            std::signal(SIGXFSZ, SIG_IGN);
        }
        rlimit size{limit, limit};
        setrlimit(RLIMIT_FSIZE, &size);
        save();
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return status;
}

TEST_F(DataFilesTest, AWriterKilledMidWriteLeavesThePreviousContent) {
    AddStock("600000", "a");
    AddStock("600001", "b");
    SaveWatchList();
    std::string before = Raw("afxg003");
    AddStock("600002", "c");
    // The child is killed (SIGXFSZ) after 20 bytes of the new file.
    int status = SaveInLimitedChild(SaveWatchList, 20, false);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGXFSZ);
    EXPECT_EQ(Raw("afxg003"), before);
    ResetProgramState();
    ASSERT_EQ(LoadWatchList(), 2);
    EXPECT_EQ(WatchList[1].code, "600001");
    // The next save replaces the broken half-file beside it.
    AddStock("600002", "c");
    SaveWatchList();
    ResetProgramState();
    EXPECT_EQ(LoadWatchList(), 3);
}

TEST_F(DataFilesTest, AFullDiskLeavesThePreviousContent) {
    Settings.ConnectionMethod = "2";
    SaveSettings();
    std::string before = Raw("afxg002");
    Settings.ConnectionMethod = "3";
    // Writes beyond 10 bytes fail (EFBIG) as on a full disk.
    int status = SaveInLimitedChild(SaveSettings, 10, true);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(Raw("afxg002"), before);
    EXPECT_FALSE(fs::exists(Folder() / "afxg002.new"));
}

} // namespace
