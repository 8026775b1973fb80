// The one reader of notification pages that bubbles and desktop
// notifications share.
#include "platform/Html.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using platform::html::Unterminated;

// The page as read: text as is, tags as [name] or [/name], references as {c}.
std::u32string Trace(std::u16string_view page, Unterminated unterminated) {
    std::u32string out;
    platform::html::Handler handler;
    handler.tag = [&](const std::u16string& name, bool closing) {
        out += closing ? U"[/" : U"[";
        out.append(name.begin(), name.end());
        out += U"]";
    };
    handler.text = [&](char32_t c, bool reference) {
        if (reference) {
            out += U"{";
            out += c;
            out += U"}";
        } else {
            out += c;
        }
    };
    platform::html::Read(page, unterminated, handler);
    return out;
}

TEST(HtmlReader, DecodesEveryReferenceOfBothReadersAndKeepsTheUnknownAsText) {
    EXPECT_EQ(
        Trace(u"&amp;&lt;&gt;&quot;&apos;&nbsp;&#20013;&#x6587;&#X1F600;", Unterminated::IsText),
        U"{&}{<}{>}{\"}{'}{ }{\u4E2D}{\u6587}{\U0001F600}");
    // Numbers that name no character read as U+FFFD; unknown names, numbers
    // too long to be one and an '&' without ';' are text.
    EXPECT_EQ(Trace(u"&#0;&#xD800;&#x110000;", Unterminated::IsText), U"{\uFFFD}{\uFFFD}{\uFFFD}");
    EXPECT_EQ(Trace(u"&bogus; &#99999999999; &#x; a&b", Unterminated::IsText),
              U"&bogus; &#99999999999; &#x; a&b");
}

TEST(HtmlReader, ReadsTagsByHtmlRulesAndAnUnterminatedTagByChoice) {
    EXPECT_EQ(Trace(u"<P align=right>a<BR/>b</Strong><!-- c -->", Unterminated::IsText),
              U"[p]a[br]b[/strong][!--]");
    // '<' before anything but a letter, '/' or '!' is text.
    EXPECT_EQ(Trace(u"x < y <3", Unterminated::IsText), U"x < y <3");
    EXPECT_EQ(Trace(u"text <p", Unterminated::IsText), U"text <p");
    EXPECT_EQ(Trace(u"text <p", Unterminated::EndsPage), U"text ");
    // A lone surrogate is U+FFFD, a pair one character.
    EXPECT_EQ(Trace(u"\xD800x\xD83D\xDE00", Unterminated::IsText), U"\uFFFDx\U0001F600");
}

} // namespace
