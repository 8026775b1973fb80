// The two data files that carry the program's state from one run to the next:
// afxg002 holds the Settings record, afxg003 the watch list. Both live in the
// phone folder "\Program Files\MyTradlynx\qzfen" under the device root.
//
// Both share one envelope: a single line of 8-bit GBK text, fields each
// followed by ";", scrambled by XOR with FileMask and followed by one more
// FileMask byte (the scrambled terminating zero). No header, length, version,
// checksum or line end.
//
// Saving is atomic: the new bytes are written to a file beside the old one,
// flushed to disk and renamed over it, and the folder is flushed, so that a
// program killed mid-save or a full disk leaves either the old or the new
// content whole, never a broken file. Loading reads at most 150 (settings) or
// 3000 (watch list) bytes and never fails loudly: a missing or unreadable file
// leaves memory as it was.
#pragma once

#include <string>

constexpr unsigned char FileMask = 0x5A;

// Phone paths of the two files and their folder.
inline constexpr const char16_t* kDataFolderPath = u"\\Program Files\\MyTradlynx\\qzfen";
inline constexpr const char16_t* kSettingsFilePath = u"\\Program Files\\MyTradlynx\\qzfen\\afxg002";
inline constexpr const char16_t* kWatchListFilePath =
    u"\\Program Files\\MyTradlynx\\qzfen\\afxg003";

// Largest number of bytes each loader reads.
constexpr int kSettingsFileLimit = 150;
constexpr int kWatchListFileLimit = 3000;

// XORs every byte with FileMask and appends one FileMask byte. The same
// routine unscrambles (the appended byte then comes back as a zero byte
// followed by FileMask, which the readers ignore).
std::string ScrambleText(const std::string& text);

// Fills Settings from afxg002: Background is emptied first; a missing file
// leaves every other field as it was. Resets MonthTraffic when the stored
// month is not the current local month.
void LoadSettings();
// Fills the watch list from afxg003 and returns the number of records loaded
// (0 to 16); the caller stores it as stockCount.
int LoadWatchList();
// Write Settings to afxg002 and the records in use to afxg003, creating the
// folder when needed. Failures are silent.
void SaveSettings();
void SaveWatchList();
