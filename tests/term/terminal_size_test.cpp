// The terminal front-end's size rules: below the smallest working screen one
// centred line stands in for the screen, from that size on nothing does; and
// a terminal type without cursor addressing is told apart from one that has
// it and from one terminfo does not know.
#include "term/Terminal.h"

#include <gtest/gtest.h>

namespace {

TEST(TerminalSize, TooSmallLineBelowTheSmallestScreenOnly) {
    using term::kMinScreenCols;
    using term::kMinScreenRows;
    const std::wstring size =
        std::to_wstring(kMinScreenCols) + L"x" + std::to_wstring(kMinScreenRows);
    const std::wstring full = L"终端窗口太小，至少需要" + size;
    const int fullWidth = 2 * 11 + static_cast<int>(size.size()); // eleven wide characters
    struct Case {
        int cols, rows;
        bool notice;
        std::wstring text;
    };
    const Case cases[] = {
        {kMinScreenCols, kMinScreenRows, false, L""},
        {80, 24, false, L""},
        {200, 60, false, L""},
        {kMinScreenCols - 1, 24, true, full},
        {80, kMinScreenRows - 1, true, full},
        {40, 12, true, full},
        // Narrower than the line: the size alone.
        {fullWidth - 1, 10, true, size},
        {3, 1, true, size},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.cols) + "x" + std::to_string(c.rows));
        std::optional<term::TooSmallNotice> notice = term::TooSmallNoticeFor(c.cols, c.rows);
        ASSERT_EQ(notice.has_value(), c.notice);
        if (!notice) {
            continue;
        }
        EXPECT_EQ(notice->text, c.text);
        const int width = c.text == full ? fullWidth : static_cast<int>(c.text.size());
        EXPECT_EQ(notice->col, std::max(0, (c.cols - width) / 2));
        EXPECT_EQ(notice->row, (c.rows - 1) / 2);
    }
}

TEST(TerminalSize, CursorAddressingComesFromTerminfo) {
    EXPECT_FALSE(term::TerminalCanPlaceCursor("dumb"));
    EXPECT_TRUE(term::TerminalCanPlaceCursor("xterm-256color"));
    EXPECT_TRUE(term::TerminalCanPlaceCursor("vt100"));
    // Unknown to terminfo: the session's fallback type draws.
    EXPECT_TRUE(term::TerminalCanPlaceCursor("no-such-terminal-type"));
}

} // namespace
