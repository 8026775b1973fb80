// The refresh frequency dialog on the headless driver: the radio and the
// custom minutes from the stored interval, custom minutes truncated to whole
// seconds, the refusal under a minute, the up-down by a tenth, presets and
// off, the new interval reaching the refresh timer, and a refresh that runs
// while the dialog is open.
#include "common/QuoteRecord.h"
#include "common/ShellState.h"
#include "refresh/RefreshFrequencyDlg.h"
#include "res/ResourceIds.h"
#include "tests/support/SettingsHarness.h"

#include <gtest/gtest.h>

namespace {

using testsupport::SettingsSession;

const std::u16string kTitle = u"瞰市[刷新频率]";
const int kRadios[] = {IDC_FREQ_20, IDC_FREQ_30,     IDC_FREQ_40,
                       IDC_FREQ_50, IDC_FREQ_CUSTOM, IDC_FREQ_OFF};

class FrequencyTest : public ::testing::Test {
  protected:
    void StartWith(std::int32_t interval, const char* unit) {
        s.settings.RefreshInterval = interval;
        s.settings.RefreshUnit = unit;
        s.AddStock("600036", "招商银行", "15.80", "0.00%", "15.80");
        s.Start();
    }

    void Open() {
        s.Command(IDC_REFRESHFREQ);
        ASSERT_EQ(s.TopTitle(), kTitle);
    }

    // The one checked radio, 0 for none.
    int CheckedRadio() {
        int found = 0;
        for (int id : kRadios) {
            if (s.Checked(id)) {
                EXPECT_EQ(found, 0) << "two radios checked";
                found = id;
            }
        }
        return found;
    }

    std::pair<std::int32_t, std::string> Stored() {
        std::pair<std::int32_t, std::string> v;
        s.OnDevice([&] { v = {Settings.RefreshInterval, Settings.RefreshUnit}; });
        return v;
    }

    SettingsSession s;
};

TEST_F(FrequencyTest, OpensOnTheStoredPresetWithOneMinuteInTheEdit) {
    StartWith(40, kUnitSeconds);
    Open();
    EXPECT_EQ(CheckedRadio(), IDC_FREQ_40);
    EXPECT_EQ(s.TextUtf8(IDC_FREQ_MINUTES), "1.0");
    s.Cancel();
}

TEST_F(FrequencyTest, OpensAStoredCustomIntervalInTenthsOfAMinute) {
    const std::pair<std::int32_t, const char*> cases[] = {{90, "1.5"}, {100, "1.7"}, {60, "1.0"}};
    StartWith(90, kUnitMinutes);
    for (const auto& [stored, shown] : cases) {
        const std::int32_t seconds = stored;
        s.OnDevice([seconds] { Settings.RefreshInterval = seconds; });
        Open();
        EXPECT_EQ(CheckedRadio(), IDC_FREQ_CUSTOM);
        EXPECT_EQ(s.TextUtf8(IDC_FREQ_MINUTES), shown) << seconds;
        s.Cancel();
    }
}

TEST_F(FrequencyTest, CustomMinutesAreTruncatedToWholeSecondsAndRefusedUnderOne) {
    StartWith(40, kUnitSeconds);
    const std::pair<const char16_t*, std::int32_t> accepted[] = {
        {u"1.0", 60}, {u"1.5", 90}, {u"2.75", 165}, {u"1.99999", 119}, {u"99999999", 2147483}};
    for (const auto& [typed, seconds] : accepted) {
        Open();
        s.Click(IDC_FREQ_CUSTOM);
        s.SetText(IDC_FREQ_MINUTES, typed);
        s.Save();
        EXPECT_EQ(s.Top(), Shell.mainWindow) << testsupport::Utf8(typed);
        EXPECT_EQ(Stored(), std::make_pair(seconds, std::string(kUnitMinutes)))
            << testsupport::Utf8(typed);
    }

    s.OnDevice([] {
        Settings.RefreshInterval = 30;
        Settings.RefreshUnit = kUnitSeconds;
    });
    for (const char16_t* typed : {u"0.99", u"", u"abc", u"-5"}) {
        Open();
        s.Click(IDC_FREQ_CUSTOM);
        s.SetText(IDC_FREQ_MINUTES, typed);
        s.Save();
        EXPECT_EQ(s.TakeMessage(), u"定制刷新频率不能小于1分钟，\r\n请重新输入！")
            << testsupport::Utf8(typed);
        EXPECT_EQ(s.TopTitle(), kTitle);
        EXPECT_EQ(Stored(), std::make_pair(30, std::string(kUnitSeconds)));
        s.Cancel();
    }
}

TEST_F(FrequencyTest, UpDownStepsATenthOfAMinute) {
    StartWith(40, kUnitSeconds);
    Open();
    s.SpinByKey(IDC_FREQ_SPIN, true);
    EXPECT_EQ(s.TextUtf8(IDC_FREQ_MINUTES), "1.1");
    s.SpinByKey(IDC_FREQ_SPIN, false);
    s.SpinByKey(IDC_FREQ_SPIN, false);
    EXPECT_EQ(s.TextUtf8(IDC_FREQ_MINUTES), "0.9");
    s.Spin(IDC_FREQ_SPIN, 3); // a held arrow's larger step is ignored
    EXPECT_EQ(s.TextUtf8(IDC_FREQ_MINUTES), "0.9");
    // 0.9 minutes is refused on save.
    s.Click(IDC_FREQ_CUSTOM);
    s.Save();
    EXPECT_FALSE(s.TakeMessage().empty());
    s.Cancel();
}

TEST_F(FrequencyTest, PresetsAndOffAndTheLastChoiceCounts) {
    StartWith(40, kUnitSeconds);
    const std::pair<int, std::int32_t> presets[] = {
        {IDC_FREQ_20, 20}, {IDC_FREQ_30, 30}, {IDC_FREQ_50, 50}, {IDC_FREQ_OFF, -1}};
    for (const auto& [radio, seconds] : presets) {
        Open();
        s.Click(IDC_FREQ_CUSTOM);
        s.SetText(IDC_FREQ_MINUTES, u"0.5"); // would be refused, but is not chosen
        s.Click(radio);
        s.Save();
        EXPECT_EQ(Stored(), std::make_pair(seconds, std::string(kUnitSeconds)));
        Open();
        EXPECT_EQ(CheckedRadio(), radio);
        s.Cancel();
    }
}

TEST_F(FrequencyTest, AStoredIntervalWithoutARadioIsSavedAgainUnchanged) {
    StartWith(45, kUnitSeconds);
    Open();
    EXPECT_EQ(CheckedRadio(), 0);
    s.Save();
    EXPECT_EQ(Stored(), std::make_pair(45, std::string(kUnitSeconds)));
}

TEST_F(FrequencyTest, CancelStoresNothing) {
    StartWith(50, kUnitSeconds);
    Open();
    s.Click(IDC_FREQ_20);
    s.Cancel();
    EXPECT_EQ(Stored(), std::make_pair(50, std::string(kUnitSeconds)));
}

TEST_F(FrequencyTest, TheNewIntervalDrivesTheRefreshTimer) {
    StartWith(40, kUnitSeconds);
    Open();
    s.Click(IDC_FREQ_20);
    s.TitleOk();
    s.driver().Advance(21000);
    EXPECT_EQ(s.QuoteRequests(), 1);
    Open();
    s.Click(IDC_FREQ_OFF);
    s.Save();
    s.driver().Advance(600000);
    EXPECT_EQ(s.QuoteRequests(), 1);
}

TEST_F(FrequencyTest, ARefreshUnderTheOpenDialogLeavesItsChoice) {
    StartWith(40, kUnitSeconds);
    Open();
    s.Click(IDC_FREQ_CUSTOM);
    s.SetText(IDC_FREQ_MINUTES, u"2.5");
    s.driver().Advance(41000);
    ASSERT_EQ(s.QuoteRequests(), 1);
    ASSERT_EQ(s.TopTitle(), kTitle);
    EXPECT_EQ(CheckedRadio(), IDC_FREQ_CUSTOM);
    EXPECT_EQ(s.TextUtf8(IDC_FREQ_MINUTES), "2.5");
    EXPECT_EQ(Stored(), std::make_pair(40, std::string(kUnitSeconds)));
    s.Save();
    EXPECT_EQ(Stored(), std::make_pair(150, std::string(kUnitMinutes)));
}

} // namespace
