// The one reader of the small HTML pages that notifications carry, for the
// on-screen bubbles (platform/Bubble drawing in Shell.cpp) and the desktop's
// notification bodies (Desktop.cpp).
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace platform::html {

// What a reader's caller gets: every tag with its lower-cased name, and every
// character of text, the character references decoded (`reference` tells
// that one was: a decoded blank is not white space of the page).
struct Handler {
    std::function<void(const std::u16string& name, bool closing)> tag;
    std::function<void(char32_t c, bool reference)> text;
};

// What a tag that never ends (a '<' without a later '>') means.
enum class Unterminated {
    EndsPage, // the page ends there
    IsText,   // the '<' is text, and reading goes on after it
};

// Reads `page` (UTF-16; a lone surrogate reads as U+FFFD). As in HTML, '<'
// opens a tag only before a letter, '/' or '!'; elsewhere it is text. A tag's
// name ends at blank, '/', tab, CR or LF. The references decoded are &amp;
// &lt; &gt; &quot; &apos; &nbsp; (as a blank) and the numeric ones, decimal
// and hexadecimal; a number that names no character (0, a surrogate, past
// U+10FFFF) reads as U+FFFD. Any other '&' is text.
void Read(std::u16string_view page, Unterminated unterminated, const Handler& handler);

// The text with the characters that would break markup (< > & ") written as
// references, for a value put into a page.
std::string Escape(std::string_view text);

} // namespace platform::html
