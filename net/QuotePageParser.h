// The quote page parser: cuts the quote fields of one record out of the quote
// server's page in LastReply, and keeps the three texts that the market
// index view shows (the update time and the two market-index lines).
//
// The parser only cuts bytes: every value is copied as it stands on the page,
// found by plain byte-wise substring searches and fixed byte offsets from
// its marker. It accepts any text; a missing marker, a missing end text or a
// value outside its length bounds leaves the field at its default ("--", "0"
// or "0%"). A marker counts as present only at a position greater than 0.
#pragma once

#include <optional>
#include <string>

// Texts (GBK) cut from the last page that reached their step. Empty at start.
extern std::string LastUpdateTime;
extern std::string ShIndexText; // Shanghai composite line, from stock pages
extern std::string SzIndexText; // Shenzhen component line, from stock pages

// Labels of the two market-index lines on a stock page (GBK).
inline constexpr const char* kShIndexLabel = "\311\317\326\244"; // "上证"
inline constexpr const char* kSzIndexLabel = "\311\356\263\311"; // "深成"

// The quote site's short domain name: on an index page it stands right
// before the "[" of the page's time stamp, as in "stockat.test[10:15:03]".
inline constexpr const char* kQuoteSiteShortName = "stockat.test";

// Parses LastReply into record i of the watch list: the index-page layout
// when the record's code is "999998" or "999999", the stock-page layout
// otherwise. Never touches the code, the targets or the alert states.
// Always returns 0.
int ParseQuotePage(int i);

// The index-line rule, for a 4-byte GBK label such as kShIndexLabel: the
// line's value with its "%" cut out of `reply`, or the empty text when the
// label is absent (or at position 0) or the line does not fit the rule.
std::string IndexLineText(const std::string& reply, const char* label);

// The stock page's update time: the 14 bytes that begin 9 bytes after the
// first byte of "更新时间" (fewer when the reply ends sooner), or nothing when
// the marker is absent.
std::optional<std::string> StockPageUpdateTime(const std::string& reply);
