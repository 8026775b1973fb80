// The preset entries of the add-stock dialog's code list: every entry is a
// six-digit code, three blanks and a name four Chinese characters wide (the
// padded names and the full-width "Ａ" included), and no code is listed twice.
#include "watchlist/AddStockDialog.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

// Display width in cells: ASCII takes one, everything else here two.
int Width(std::u16string_view text) {
    int width = 0;
    for (char16_t c : text) {
        width += c < 0x80 ? 1 : 2;
    }
    return width;
}

TEST(AddStockPresetsTest, EveryEntryIsACodeThreeBlanksAndAFourCharacterName) {
    std::set<std::u16string> codes;
    for (const char16_t* preset : PresetStocks) {
        std::u16string entry(preset);
        SCOPED_TRACE(std::string(entry.begin(), entry.begin() + 6));
        ASSERT_GE(entry.size(), 13u);
        for (int i = 0; i < 6; ++i) {
            EXPECT_TRUE(entry[i] >= u'0' && entry[i] <= u'9');
        }
        EXPECT_EQ(entry.substr(6, 3), u"   ");
        EXPECT_NE(entry[9], u' ');
        EXPECT_EQ(Width(std::u16string_view(entry).substr(9)), 8);
        codes.insert(entry.substr(0, 6));
    }
    EXPECT_EQ(codes.size(), static_cast<size_t>(kPresetStockCount));
}

TEST(AddStockPresetsTest, PaddedNamesAndTheFullWidthLetterStayAsListed) {
    EXPECT_EQ(std::u16string(PresetStocks[0]), u"000001   深发展\uFF21");
    EXPECT_EQ(std::u16string(PresetStocks[1]), u"000002   万  科\uFF21");
    EXPECT_EQ(std::u16string(PresetStocks[35]), u"000858   五 粮 液");
    EXPECT_EQ(std::u16string(PresetStocks[47]), u"000063   中兴通讯");
}

} // namespace
