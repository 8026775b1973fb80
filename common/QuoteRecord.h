// The watch list: one QuoteRecord per followed stock, the count of records in
// use, the preview flag of the detail dialog, and the Settings record. All of
// it is process-wide state owned by the user-interface thread; other
// subsystems read and assign the fields directly by index and name.
//
// Text type: every text field is a std::string holding 8-bit GBK text (code
// page 936), exactly as cut from a quote page or typed by the user. The record
// sets no maximum length on a field (the dialogs and the list show at most 24
// UTF-16 units of one), and the quote pages can carry values of any length, so
// a growing string is used rather than a fixed char array that would have to
// cut them. Numbers are never stored as numbers: callers read them with
// ReadNumber / ReadInteger below when they need them.
#pragma once

#include <cstdint>
#include <string>

// One stock (or one of the two market indices) of the watch list. The field
// order is fixed: it is the field numbering that the watch-list file and
// FieldOf() use.
struct QuoteRecord {
    std::string code;          //  0: six-character code, or "999998"/"999999"
    std::string name;          //  1: stock or index name from the quote page
    std::string latest;        //  2: latest price
    std::string changePercent; //  3: change in percent, with its "%"
    std::string sellTarget;    //  4: sell target price; "--" = none
    std::string sellAlerted;   //  5: sell alert state "P", "N" or "Y"
    std::string buyTarget;     //  6: buy target price; "--" = none
    std::string buyAlerted;    //  7: buy alert state "P", "N" or "Y"
    std::string change;        //  8: change amount against the previous close
    std::string previousClose; //  9: previous day's close
    std::string open;          // 10: today's open
    std::string high;          // 11: today's high
    std::string low;           // 12: today's low
    std::string turnover;      // 13: turnover amount (not kept in the file)
    std::string volume;        // 14: traded volume (not kept in the file)
    std::string updateTime;    // 15: time stamp of the quote
};

constexpr int kRecordFieldCount = 16;
// Field f (0-15) of a record, in the order above.
std::string& FieldOf(QuoteRecord& record, int f);
const std::string& FieldOf(const QuoteRecord& record, int f);

// The watch list: 21 records, of which the first stockCount (at most
// kMaxStocks) are in use, in the order the user added them. The record at
// index stockCount is the add flow's scratch record.
constexpr int kWatchListSize = 21;
constexpr int kMaxStocks = 16;
extern QuoteRecord WatchList[kWatchListSize];
extern std::int32_t stockCount;

// "Y" while the stock detail dialog previews the scratch record, "N" (or
// empty, at start) otherwise.
extern std::string previewMode;

// The process-wide settings, stored together in the settings file. Texts are
// 8-bit GBK.
struct SettingsRecord {
    // Seconds between automatic refreshes: 20, 30, 40, 50, a custom number of
    // minutes times 60, or -1 for off; 0 means not set.
    std::int32_t RefreshInterval = 40;
    std::string RefreshUnit;        // "秒" or "分" (GBK), or empty
    double MonthTraffic = 0;        // megabytes received in TrafficMonth
    std::string Background;         // "W": default colours; anything else black
    std::string ReservedFlag = "N"; // no meaning; always written as "N"
    std::string TrafficMonth;       // month number 1-12 as text, or empty
    std::string NotifyMethod;       // "t" bubble, "s" SMS, empty: none chosen
    std::string SmsPhone;           // where SMS alerts go
    std::string ConnectionMethod;   // "1" CMWAP, "2" CMNET, "3" Wi-Fi, else none
};
extern SettingsRecord Settings;

// Removes record `index` (0 <= index < stockCount) by moving the later records
// up one place, and decrements stockCount; returns 0. The old last record
// stays behind in the slot just past the new end. An index outside the
// records in use changes nothing and returns -1 (a stale selection can point
// past the end after a removal).
int RemoveStock(int index);

// Reads the longest leading decimal number of a text: leading blanks, an
// optional sign, digits with an optional decimal point (at least one digit),
// and an optional exponent. A text without one ("--", "", "abc") reads as 0.
// Hexadecimal forms, "inf" and "nan" are not numbers here. A value beyond the
// range of double reads as +-HUGE_VAL, as strtod would give it. Every part of
// the program that needs a number from a record or settings text uses this.
double ReadNumber(const char* text);
double ReadNumber(const std::string& text);

// Reads the leading integer of a text (leading blanks, optional sign, digits),
// 0 when there is none; values outside the 32-bit range are clamped to it.
std::int32_t ReadInteger(const char* text);
std::int32_t ReadInteger(const std::string& text);
