// Tests of the owner-data, owner-draw list view and of the up-down control
// through the headless driver: rows drawn by the owner with ODS_SELECTED,
// headers, selection by keys, LVN_ITEMACTIVATE for the row under Enter and
// under a tap, the background colour, and the up-down's deltas.
#include "tests/platform/controls_host.h"

#include <gtest/gtest.h>

namespace {

using ctltest::Log;
using platform::headless::Driver;

int ScreenRow(int r) {
    return r + 1;
}

std::string Row(const Driver& d, int hostRow) {
    return d.ScreenRows()[static_cast<std::size_t>(ScreenRow(hostRow))];
}

constexpr DWORD kQuoteListStyle =
    WS_BORDER | WS_VSCROLL | LVS_REPORT | LVS_OWNERDRAWFIXED | LVS_OWNERDATA;

// A list of `rows` cells high (header included) at the host's top-left,
// 40 cells wide, with two right-aligned columns.
HWND MakeList(Driver& d, HWND host, int rows) {
    HWND list =
        ctltest::MakeControl(d, host, WC_LISTVIEW, u"", kQuoteListStyle, 2000, 0, 0, 40, rows);
    d.Run([&] {
        SendMessage(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                    SendMessage(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) | LVS_EX_FULLROWSELECT);
        char16_t name[] = u"名称";
        char16_t latest[] = u"最新";
        LVCOLUMN col{};
        col.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        col.fmt = LVCFMT_RIGHT;
        col.cx = 20 * kCellWidth;
        col.pszText = name;
        SendMessage(list, LVM_INSERTCOLUMN, 0, reinterpret_cast<LPARAM>(&col));
        col.cx = 19 * kCellWidth;
        col.pszText = latest;
        SendMessage(list, LVM_INSERTCOLUMN, 1, reinterpret_cast<LPARAM>(&col));
    });
    return list;
}

std::vector<ctltest::Drawn> DrawnSince(std::size_t from) {
    const auto& all = Log().drawn;
    return std::vector<ctltest::Drawn>(all.begin() + static_cast<std::ptrdiff_t>(from), all.end());
}

TEST(ListView, EmptyListShowsOnlyTheHeadersAndNeverActivatesARow) {
    Driver d;
    HWND host = ctltest::MakeHost(d);
    HWND list = MakeList(d, host, 6);
    d.Run([&] {
        SendMessage(list, LVM_SETITEMCOUNT, 0, 0);
        SetFocus(list);
    });
    // Headers right-aligned in their columns, one blank cell before the edge.
    std::string header = Row(d, 0);
    EXPECT_EQ(15u, header.find("名称")); // cells 15-18 of the first 20
    EXPECT_EQ(36u, header.find("最新")); // cells 34-37, after the 6 bytes of 名称
    EXPECT_TRUE(Log().drawn.empty());
    d.Enter();
    d.Down();
    d.TapCell(3, ScreenRow(2));
    EXPECT_TRUE(Log().NotifiesOf(LVN_ITEMACTIVATE).empty());
}

TEST(ListView, OwnerDrawsEachRowAndTheSelectedRowHasOdsSelected) {
    Driver d;
    HWND host = ctltest::MakeHost(d);
    HWND list = MakeList(d, host, 6);
    Log().rowTexts = {u"深发展Ａ", u"万  科Ａ", u"工商银行"};
    d.Run([&] {
        SendMessage(list, LVM_SETITEMCOUNT, 3, 0);
        SetFocus(list);
    });
    EXPECT_EQ(1, Log().measured);
    std::vector<ctltest::Drawn> drawn = DrawnSince(0);
    ASSERT_GE(drawn.size(), 3u);
    drawn = std::vector<ctltest::Drawn>(drawn.end() - 3, drawn.end());
    for (UINT i = 0; i < 3; ++i) {
        EXPECT_EQ(i, drawn[i].item);
        EXPECT_EQ(0u, drawn[i].state & ODS_SELECTED);
        // Rows follow the header, one cell high, as wide as the columns.
        EXPECT_EQ(static_cast<LONG>((i + 1) * kCellHeight), drawn[i].rect.top);
        EXPECT_EQ(static_cast<LONG>((i + 2) * kCellHeight), drawn[i].rect.bottom);
        EXPECT_EQ(39 * kCellWidth, drawn[i].rect.right);
    }
    EXPECT_EQ(0u, Row(d, 1).find("深发展Ａ"));
    EXPECT_EQ(RGB(0, 255, 0), d.At(0, ScreenRow(1)).fg);
    EXPECT_EQ(RGB(0, 0, 0), d.At(0, ScreenRow(1)).bg);

    d.Down(); // the first press selects the first row
    std::size_t mark = Log().drawn.size();
    d.Down();
    std::vector<ctltest::Drawn> after = DrawnSince(mark);
    ASSERT_FALSE(after.empty());
    bool sawSelected = false;
    for (const auto& row : after) {
        if (row.item == 1) {
            sawSelected = sawSelected || (row.state & ODS_SELECTED) != 0;
            EXPECT_NE(0u, row.state & ODS_FOCUS);
        } else {
            EXPECT_EQ(0u, row.state & ODS_SELECTED) << row.item;
        }
    }
    EXPECT_TRUE(sawSelected);
    EXPECT_EQ(GetSysColor(COLOR_HIGHLIGHT), d.At(10, ScreenRow(2)).bg);
    EXPECT_EQ(1, d.OnDevice([&] {
        return SendMessage(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED);
    }));

    d.Enter();
    std::vector<ctltest::Notify> activations = Log().NotifiesOf(LVN_ITEMACTIVATE);
    ASSERT_EQ(1u, activations.size());
    EXPECT_EQ(1, activations[0].item);
    EXPECT_EQ(2000, activations[0].id);

    // A tap selects the row under it first, then activates it.
    d.TapCell(5, ScreenRow(3));
    activations = Log().NotifiesOf(LVN_ITEMACTIVATE);
    ASSERT_EQ(2u, activations.size());
    EXPECT_EQ(2, activations[1].item);
    EXPECT_EQ(2, d.OnDevice([&] {
        return SendMessage(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED);
    }));
    // A tap below the last row activates nothing.
    d.TapCell(5, ScreenRow(5));
    EXPECT_EQ(2u, Log().NotifiesOf(LVN_ITEMACTIVATE).size());
}

TEST(ListView, EnterWithRowsButNoSelectionActivatesNoItem) {
    Driver d;
    HWND host = ctltest::MakeHost(d);
    HWND list = MakeList(d, host, 6);
    d.Run([&] {
        SendMessage(list, LVM_SETITEMCOUNT, 2, 0);
        SetFocus(list);
    });
    d.Enter();
    std::vector<ctltest::Notify> activations = Log().NotifiesOf(LVN_ITEMACTIVATE);
    ASSERT_EQ(1u, activations.size());
    EXPECT_EQ(-1, activations[0].item);
}

TEST(ListView, DownScrollsPastTheLastVisibleRowAndShrinkingDropsTheSelection) {
    Driver d;
    HWND host = ctltest::MakeHost(d);
    HWND list = MakeList(d, host, 4); // header and three rows
    d.Run([&] {
        SendMessage(list, LVM_SETITEMCOUNT, 10, 0);
        SetFocus(list);
    });
    for (int i = 0; i < 5; ++i) {
        d.Down();
    }
    EXPECT_EQ(4, d.OnDevice([&] {
        return SendMessage(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED);
    }));
    EXPECT_EQ(2, d.OnDevice([&] { return SendMessage(list, LVM_GETTOPINDEX, 0, 0); }));
    EXPECT_EQ(0u, Row(d, 3).find("row4"));
    d.Run([&] { SendMessage(list, LVM_SETITEMCOUNT, 3, 0); });
    EXPECT_EQ(-1, d.OnDevice([&] {
        return SendMessage(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED);
    }));
    EXPECT_EQ(0, d.OnDevice([&] { return SendMessage(list, LVM_GETTOPINDEX, 0, 0); }));
    // LVM_SETITEMSTATE selects from the program's side.
    d.Run([&] {
        LVITEM item{};
        item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        item.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessage(list, LVM_SETITEMSTATE, 2, reinterpret_cast<LPARAM>(&item));
    });
    EXPECT_EQ(LVIS_SELECTED, d.OnDevice([&] {
        return static_cast<UINT>(SendMessage(list, LVM_GETITEMSTATE, 2, LVIS_SELECTED));
    }));
}

TEST(ListView, BackgroundColourPaintsTheEmptyPart) {
    Driver d;
    HWND host = ctltest::MakeHost(d);
    HWND list = MakeList(d, host, 6);
    d.Run([&] {
        SendMessage(list, LVM_SETITEMCOUNT, 1, 0);
        SendMessage(list, LVM_SETBKCOLOR, 0, static_cast<LPARAM>(RGB(0, 0, 0)));
    });
    EXPECT_EQ(RGB(0, 0, 0), d.At(20, ScreenRow(4)).bg);
    EXPECT_EQ(RGB(0, 0, 0), static_cast<COLORREF>(d.OnDevice(
                                [&] { return SendMessage(list, LVM_GETBKCOLOR, 0, 0); })));
    d.Run([&] { SendMessage(list, LVM_SETBKCOLOR, 0, static_cast<LPARAM>(RGB(255, 255, 255))); });
    EXPECT_EQ(RGB(255, 255, 255), d.At(20, ScreenRow(4)).bg);
}

// Columns that fill the list (20 + 19 of 40 cells, one left for the scroll
// bar) share a change of its width in proportion and fill it again, there
// and back; the rows the owner draws follow. Columns that leave more room
// keep their widths.
TEST(ListView, ColumnsThatFillTheListFollowItsWidth) {
    Driver d;
    HWND host = ctltest::MakeHost(d);
    HWND list = MakeList(d, host, 6);
    auto widths = [&] {
        return d.OnDevice([&] {
            return std::vector<LRESULT>{SendMessage(list, LVM_GETCOLUMNWIDTH, 0, 0),
                                        SendMessage(list, LVM_GETCOLUMNWIDTH, 1, 0)};
        });
    };
    auto resize = [&](int cols) {
        d.Run([&] { MoveWindow(list, 0, 0, cols * kCellWidth, 6 * kCellHeight, TRUE); });
    };
    resize(79);
    // 39 cells grow by 39: each column doubles.
    EXPECT_EQ(widths(), (std::vector<LRESULT>{40 * kCellWidth, 38 * kCellWidth}));
    d.Run([&] { SendMessage(list, LVM_SETITEMCOUNT, 1, 0); });
    Log().drawn.clear();
    d.Run([&] { InvalidateRect(list, nullptr, TRUE); });
    ASSERT_FALSE(Log().drawn.empty());
    EXPECT_EQ(Log().drawn.back().rect.right, 78 * kCellWidth);
    resize(40);
    EXPECT_EQ(widths(), (std::vector<LRESULT>{20 * kCellWidth, 19 * kCellWidth}));

    // Columns narrower than the list are the owner's to size.
    HWND narrow =
        ctltest::MakeControl(d, host, WC_LISTVIEW, u"", kQuoteListStyle, 2001, 0, 8, 40, 4);
    d.Run([&] {
        char16_t name[] = u"名称";
        LVCOLUMN col{};
        col.mask = LVCF_WIDTH | LVCF_TEXT;
        col.cx = 30 * kCellWidth;
        col.pszText = name;
        SendMessage(narrow, LVM_INSERTCOLUMN, 0, reinterpret_cast<LPARAM>(&col));
        MoveWindow(narrow, 0, 8 * kCellHeight, 60 * kCellWidth, 4 * kCellHeight, TRUE);
    });
    EXPECT_EQ(d.OnDevice([&] { return SendMessage(narrow, LVM_GETCOLUMNWIDTH, 0, 0); }),
              30 * kCellWidth);
}

TEST(UpDown, ArrowsAndTapsSendDeltasAndAHeldArrowSendsLargerOnes) {
    Driver d;
    HWND host = ctltest::MakeHost(d);
    HWND spin = ctltest::MakeControl(d, host, UPDOWN_CLASS, u"", 0, 1009, 10, 0, 2, 2);
    EXPECT_EQ("^", Row(d, 0).substr(10, 1));
    EXPECT_EQ("v", Row(d, 1).substr(10, 1));
    d.Run([&] { SetFocus(spin); });
    d.Up();
    d.Advance(1000);
    d.Down();
    d.Advance(1000);
    d.TapCell(10, ScreenRow(0));
    d.Advance(1000);
    d.TapCell(11, ScreenRow(1));
    std::vector<ctltest::Notify> deltas = Log().NotifiesOf(UDN_DELTAPOS);
    ASSERT_EQ(4u, deltas.size());
    EXPECT_EQ(-1, deltas[0].item);
    EXPECT_EQ(1, deltas[1].item);
    EXPECT_EQ(-1, deltas[2].item);
    EXPECT_EQ(1, deltas[3].item);
    EXPECT_EQ(1009, deltas[0].id);

    // Seven quick presses of up: the sixth and seventh count as held.
    Log().notifies.clear();
    d.Advance(1000);
    for (int i = 0; i < 7; ++i) {
        d.Up();
        d.Advance(50);
    }
    deltas = Log().NotifiesOf(UDN_DELTAPOS);
    ASSERT_EQ(7u, deltas.size());
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(-1, deltas[static_cast<std::size_t>(i)].item) << i;
    }
    EXPECT_EQ(-5, deltas[5].item);
    EXPECT_EQ(-5, deltas[6].item);
    // Letting go (a pause) or the other arrow starts again at one.
    d.Down();
    d.Advance(600);
    d.Up();
    deltas = Log().NotifiesOf(UDN_DELTAPOS);
    EXPECT_EQ(1, deltas[7].item);
    EXPECT_EQ(-1, deltas[8].item);
}

} // namespace
