// Reading and writing the settings file (afxg002) and the watch-list file
// (afxg003). See DataFiles.h for the envelope and the atomic save.
#include "watchlist/DataFiles.h"

#include "common/QuoteRecord.h"
#include "platform/win.h"

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// Where a save writes before it renames the new file over the old one.
constexpr const char16_t* kSettingsTempPath = u"\\Program Files\\MyTradlynx\\qzfen\\afxg002.new";
constexpr const char16_t* kWatchListTempPath = u"\\Program Files\\MyTradlynx\\qzfen\\afxg003.new";

// Fields of one watch-list group, in file order: record fields 0-12 and 15.
constexpr int kGroupFields[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 15};
constexpr int kGroupSize = 14;

// The loaded value of a record field that the file leaves empty.
const char* DefaultOf(int field) {
    switch (field) {
    case 0:
    case 1:
    case 4:
    case 6:
    case 15:
        return "--";
    case 3:
        return "0%";
    case 5:
    case 7:
        return "P";
    default:
        return "0";
    }
}

// Reads at most `limit` bytes from the start of a file; false when it cannot
// be opened.
bool ReadHead(const char16_t* path, int limit, std::string* bytes) {
    HANDLE file = CreateFile(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    bytes->assign(static_cast<std::size_t>(limit), '\0');
    std::size_t got = 0;
    while (got < bytes->size()) {
        DWORD n = 0;
        if (!ReadFile(file, bytes->data() + got, static_cast<DWORD>(bytes->size() - got), &n,
                      nullptr) ||
            n == 0) {
            break;
        }
        got += n;
    }
    bytes->resize(got);
    CloseHandle(file);
    return true;
}

// The content text of a file's bytes: unscrambled, up to the terminating
// zero byte (the bytes after it are the terminator's second half and, in a
// file written over a longer one in place, the old content's tail).
std::string ContentOf(const std::string& fileBytes) {
    std::string text = ScrambleText(fileBytes);
    std::size_t zero = text.find('\0');
    return text.substr(0, zero);
}

// Walks the fields of a content text: each call returns the text up to the
// next ";" and moves past it. Once no ";" is left, every further field is
// empty and unterminated, so a short file never hands out a field's text
// under another field's number.
class FieldReader {
  public:
    explicit FieldReader(const std::string& text) : text_(text) {}
    // The next field; `complete` tells whether a ";" ended it.
    std::string Next(bool* complete = nullptr) {
        std::size_t semicolon = exhausted_ ? std::string::npos : text_.find(';', pos_);
        if (semicolon == std::string::npos) {
            exhausted_ = true;
            if (complete) {
                *complete = false;
            }
            return std::string();
        }
        std::string field = text_.substr(pos_, semicolon - pos_);
        pos_ = semicolon + 1;
        if (complete) {
            *complete = true;
        }
        return field;
    }

  private:
    const std::string& text_;
    std::size_t pos_ = 0;
    bool exhausted_ = false;
};

void EnsureFolder() {
    if (!CreateDirectory(kDataFolderPath, nullptr)) {
        CreateDirectory(u"\\Program Files", nullptr);
        CreateDirectory(u"\\Program Files\\MyTradlynx", nullptr);
        CreateDirectory(kDataFolderPath, nullptr);
    }
}

// Replaces a data file with `content` (scrambled, with its terminator byte):
// written beside it, flushed, renamed over it and the folder flushed, so the
// old file stays whole until the new one is complete on disk. Failures are
// silent and leave the old file.
void WriteDataFile(const char16_t* path, const char16_t* tempPath, const std::string& content) {
    std::string bytes = ScrambleText(content);
    HANDLE file = CreateFile(tempPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    bool ok = true;
    std::size_t done = 0;
    while (ok && done < bytes.size()) {
        DWORD n = 0;
        ok = WriteFile(file, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &n,
                       nullptr) &&
             n > 0;
        done += n;
    }
    ok = ok && FlushFileBuffers(file);
    CloseHandle(file);
    if (!ok || !MoveFileEx(tempPath, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFile(tempPath);
    }
}

// A field's text as stored: without ";" (the field separator; never part of
// a GBK double-byte character) and without zero bytes (the reader stops at
// the first), either of which would shift every later field of the file.
std::string Stored(const std::string& value) {
    std::string out;
    out.reserve(value.size());
    for (char c : value) {
        if (c != ';' && c != '\0') {
            out.push_back(c);
        }
    }
    return out;
}

std::string FormatInt(std::int32_t value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%d", value);
    return buffer;
}

} // namespace

std::string ScrambleText(const std::string& text) {
    std::string out;
    out.reserve(text.size() + 1);
    for (char c : text) {
        out.push_back(static_cast<char>(static_cast<unsigned char>(c) ^ FileMask));
    }
    out.push_back(static_cast<char>(FileMask));
    return out;
}

namespace {

// The traffic counter belongs to the month in TrafficMonth: another month (or
// none recorded) starts it again from zero under the current month.
void KeepTrafficMonth() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    const int month = now.wMonth;
    if (ReadInteger(Settings.TrafficMonth) != month) {
        Settings.MonthTraffic = 0;
        Settings.TrafficMonth = FormatInt(month);
    }
}

} // namespace

void LoadSettings() {
    Settings.Background.clear();
    std::string bytes;
    if (!ReadHead(kSettingsFilePath, kSettingsFileLimit, &bytes) || bytes.empty()) {
        // A first start: the month is recorded all the same, so that the
        // traffic counted in this run is saved under it and kept at the next
        // start.
        KeepTrafficMonth();
        return;
    }
    std::string content = ContentOf(bytes);
    FieldReader fields(content);

    Settings.RefreshInterval = ReadInteger(fields.Next());
    if (std::string f = fields.Next(); !f.empty()) {
        Settings.RefreshUnit = f;
    }
    if (std::string f = fields.Next(); !f.empty()) {
        // A counter of received data is never negative nor endless; a file
        // that says so is broken, and counting starts again.
        double traffic = ReadNumber(f);
        Settings.MonthTraffic = std::isfinite(traffic) && traffic >= 0 ? traffic : 0;
    }
    if (std::string f = fields.Next(); !f.empty()) {
        Settings.Background = f;
    }
    if (std::string f = fields.Next(); !f.empty()) {
        Settings.ReservedFlag = f;
    }

    if (std::string f = fields.Next(); !f.empty()) {
        Settings.TrafficMonth = f;
    }
    KeepTrafficMonth();

    if (std::string f = fields.Next(); !f.empty()) {
        Settings.NotifyMethod = f;
    }
    if (std::string f = fields.Next(); !f.empty()) {
        Settings.SmsPhone = f;
    }
    if (std::string f = fields.Next(); !f.empty()) {
        Settings.ConnectionMethod = f;
    }
}

int LoadWatchList() {
    stockCount = 0;
    std::string bytes;
    if (!ReadHead(kWatchListFilePath, kWatchListFileLimit, &bytes) || bytes.empty()) {
        return 0;
    }
    std::string content = ContentOf(bytes);
    std::size_t first = content.find(';');
    if (first == std::string::npos || first == 0) {
        return 0;
    }
    FieldReader fields(content);
    std::int32_t count = ReadInteger(fields.Next());
    // The writer never stores more than 16 records nor a negative count; a
    // file that does is read as far as it makes sense: at most 16 records,
    // and only groups whose fourteen fields are all there, so that a
    // shortened file never fills a record from the wrong fields.
    if (count <= 0) {
        return 0;
    }
    if (count > kMaxStocks) {
        count = kMaxStocks;
    }
    int loaded = 0;
    for (int i = 0; i < count; ++i) {
        std::string group[kGroupSize];
        bool complete = true;
        for (int k = 0; k < kGroupSize && complete; ++k) {
            group[k] = fields.Next(&complete);
        }
        if (!complete) {
            break;
        }
        QuoteRecord& r = WatchList[i];
        for (int k = 0; k < kGroupSize; ++k) {
            int field = kGroupFields[k];
            FieldOf(r, field) = group[k].empty() ? DefaultOf(field) : group[k];
        }
        ++loaded;
    }
    stockCount = loaded;
    return loaded;
}

void SaveSettings() {
    EnsureFolder();
    // g++ 12 at -O3 takes this inlined assignment of a literal to a std::string for an overlapping
    // copy: a known false -Wrestrict of its string code.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
#endif
    Settings.ReservedFlag = "N";
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
    char traffic[64];
    std::snprintf(traffic, sizeof traffic, "%.4f", Settings.MonthTraffic);
    std::string content =
        FormatInt(Settings.RefreshInterval) + ";" + Stored(Settings.RefreshUnit) + ";" + traffic +
        ";" + Stored(Settings.Background) + ";" + Settings.ReservedFlag + ";" +
        Stored(Settings.TrafficMonth) + ";" + Stored(Settings.NotifyMethod) + ";" +
        Stored(Settings.SmsPhone) + ";" + Stored(Settings.ConnectionMethod) +
        ";"; // The reader takes at most 150 bytes: a longer content (only possible if
    // a field was set beyond its dialog's limit) would come back cut, so the
    // old file is kept instead.
    if (content.size() + 1 > static_cast<std::size_t>(kSettingsFileLimit)) {
        return;
    }
    WriteDataFile(kSettingsFilePath, kSettingsTempPath, content);
}

void SaveWatchList() {
    EnsureFolder();
    int count = stockCount < 0 ? 0 : (stockCount > kMaxStocks ? kMaxStocks : stockCount);
    // Each record's group; the file holds as many whole groups as fit the
    // reader's 3000 bytes (16 ordinary records need about half of it; only
    // values of absurd length, such as a page could send, can make it
    // overflow), and its count says exactly how many.
    std::vector<std::string> groups;
    std::size_t total = 0;
    for (int i = 0; i < count; ++i) {
        const QuoteRecord& r = WatchList[i];
        std::string group;
        for (int field : kGroupFields) {
            group += (field == 5 || field == 7) ? std::string("N") : Stored(FieldOf(r, field));
            group += ";";
        }
        std::size_t countLength = FormatInt(static_cast<int>(groups.size()) + 1).size() + 1;
        if (countLength + total + group.size() + 1 >
            static_cast<std::size_t>(kWatchListFileLimit)) {
            break;
        }
        total += group.size();
        groups.push_back(std::move(group));
    }
    std::string content = FormatInt(static_cast<int>(groups.size())) + ";";
    for (const std::string& group : groups) {
        content += group;
    }
    WriteDataFile(kWatchListFilePath, kWatchListTempPath, content);
}
