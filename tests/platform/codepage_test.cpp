// Code-page conversion: the GBK tables against an independent reference
// (Python's gbk codec), round trips of the program's Chinese texts, and the
// platform's rules for sizes, buffers and characters that do not convert.

#include "platform/Text.h"
#include "platform/win.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// Texts of the program (a title, a confirmation, a notice heading, a message
// and the contents of both data files).
// clang-format off
const char8_t* const kProgramTexts[] = {
    u8"瞰市",
    u8"确实要退出吗？退出后将丧失提醒功能，建议您【取消】后按屏幕右上角的【X】将系统最小化，系统将继续保持提醒功能。",
    u8"温馨提示",
    u8"您现在的版本是2.0。已经是最新版本，不需要更新！",
    u8"1;600036;招商银行;12.30;1.23%;13.00;N;--;N;0.15;12.15;12.20;12.40;12.05;--;",
    u8"40;秒;0.0312;B;N;3;t;;2;",
};
// clang-format on

std::string AsString(const char8_t* s) {
    return reinterpret_cast<const char*>(s);
}

std::u16string ToWide(UINT cp, const std::string& bytes) {
    int n = MultiByteToWideChar(cp, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::u16string out(static_cast<size_t>(n), u'\0');
    if (n > 0) {
        EXPECT_EQ(n, MultiByteToWideChar(cp, 0, bytes.data(), static_cast<int>(bytes.size()),
                                         out.data(), n));
    }
    return out;
}

std::string ToBytes(UINT cp, const std::u16string& text, BOOL* usedDefault = nullptr) {
    int n = WideCharToMultiByte(cp, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    if (n > 0) {
        EXPECT_EQ(n, WideCharToMultiByte(cp, 0, text.data(), static_cast<int>(text.size()),
                                         out.data(), n, nullptr, usedDefault));
    }
    return out;
}

// Writes, with Python's gbk codec, the reference tables: for every
// double-byte sequence the code point it decodes to (or 0xFFFFFFFF), then
// for every BMP code point its GBK bytes as a big-endian 16-bit value (or 0).
const char kReferenceScript[] = R"(
import struct, sys
out = open(sys.argv[1], 'wb')
for lead in range(0x81, 0xFF):
    for trail in range(0x40, 0xFF):
        cp = 0xFFFFFFFF
        if trail != 0x7F:
            try:
                s = bytes([lead, trail]).decode('gbk')
                if len(s) == 1:
                    cp = ord(s)
            except UnicodeDecodeError:
                pass
        out.write(struct.pack('<I', cp))
for cp in range(0x10000):
    code = 0
    if not 0xD800 <= cp <= 0xDFFF:
        try:
            b = chr(cp).encode('gbk')
            code = b[0] if len(b) == 1 else (b[0] << 8 | b[1])
        except UnicodeEncodeError:
            pass
    out.write(struct.pack('<H', code))
)";

TEST(CodePage, GbkTablesMatchPythonGbkCodecExceptTheEuroSign) {
    std::filesystem::path dir = std::filesystem::temp_directory_path();
    std::string script = (dir / ("gbkref-" + std::to_string(getpid()) + ".py")).string();
    std::string table = (dir / ("gbkref-" + std::to_string(getpid()) + ".bin")).string();
    std::ofstream(script) << kReferenceScript;
    std::string command = "python3 '" + script + "' '" + table + "'";
    int rc = std::system(command.c_str());
    std::filesystem::remove(script);
    if (rc != 0) {
        GTEST_SKIP() << "python3 could not write the reference table";
    }
    std::ifstream in(table, std::ios::binary);
    std::vector<char> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::filesystem::remove(table);
    const size_t pairs = 126 * 191;
    ASSERT_EQ(data.size(), pairs * 4 + 0x10000 * 2);
    auto u32 = [&](size_t i) {
        const auto* p = reinterpret_cast<const unsigned char*>(data.data()) + i * 4;
        return static_cast<std::uint32_t>(p[0] | p[1] << 8 | p[2] << 16 |
                                          std::uint32_t(p[3]) << 24);
    };
    auto u16 = [&](size_t i) {
        const auto* p = reinterpret_cast<const unsigned char*>(data.data()) + pairs * 4 + i * 2;
        return static_cast<std::uint16_t>(p[0] | p[1] << 8);
    };

    int decodeMismatches = 0, mapped = 0;
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int trail = 0x40; trail <= 0xFE; ++trail) {
            std::uint32_t expected = u32((lead - 0x81) * 191 + (trail - 0x40));
            char in2[2] = {static_cast<char>(lead), static_cast<char>(trail)};
            char16_t out[4] = {};
            int n = MultiByteToWideChar(CP_GBK, 0, in2, 2, out, 4);
            std::uint32_t got = (n == 1 && out[0] != 0xFFFD) ? out[0] : 0xFFFFFFFF;
            if (got != 0xFFFFFFFF) {
                ++mapped;
            }
            if (got != expected && decodeMismatches++ < 10) {
                ADD_FAILURE() << std::hex << "decode " << lead << " " << trail << ": got " << got
                              << ", reference " << expected;
            }
        }
    }
    EXPECT_EQ(decodeMismatches, 0);
    EXPECT_GT(mapped, 21000); // GBK has 21,886 double-byte characters

    int encodeMismatches = 0;
    for (std::uint32_t cp = 1; cp < 0x10000; ++cp) {
        if (cp >= 0xD800 && cp <= 0xDFFF) {
            continue;
        }
        char16_t in1[1] = {static_cast<char16_t>(cp)};
        unsigned char out[4] = {};
        BOOL usedDefault = FALSE;
        int n = WideCharToMultiByte(CP_ACP, 0, in1, 1, reinterpret_cast<char*>(out), 4, nullptr,
                                    &usedDefault);
        std::uint16_t got = usedDefault ? 0 : (n == 1 ? out[0] : (out[0] << 8 | out[1]));
        std::uint16_t expected = cp == 0x20AC ? 0x80 : u16(cp); // the one known difference
        if (got != expected && encodeMismatches++ < 10) {
            ADD_FAILURE() << std::hex << "encode U+" << cp << ": got " << got << ", reference "
                          << expected;
        }
    }
    EXPECT_EQ(encodeMismatches, 0);

    // The euro sign: 0x80 on the device, both ways.
    EXPECT_EQ(ToWide(CP_ACP, "\x80"), u"\u20AC");
    EXPECT_EQ(ToBytes(CP_ACP, u"\u20AC"), "\x80");
}

TEST(CodePage, ProgramTextsRoundTripThroughGbkAndUtf8) {
    for (const char8_t* text : kProgramTexts) {
        std::string utf8 = AsString(text);
        std::u16string wide = ToWide(CP_UTF8, utf8);
        ASSERT_FALSE(wide.empty());
        EXPECT_EQ(wide.find(u'\uFFFD'), std::u16string::npos) << utf8;
        BOOL usedDefault = TRUE;
        std::string gbk = ToBytes(CP_ACP, wide, &usedDefault);
        EXPECT_FALSE(usedDefault) << utf8;
        EXPECT_EQ(ToWide(CP_GBK, gbk), wide) << utf8;
        EXPECT_EQ(ToBytes(CP_UTF8, wide), utf8);
        EXPECT_EQ(platform::Utf16ToUtf8(platform::GbkToUtf16(platform::Utf16ToGbk(wide))), utf8);
    }
    // Known bytes: the title is two GBK characters.
    EXPECT_EQ(ToBytes(CP_ACP, ToWide(CP_UTF8, AsString(kProgramTexts[0]))), "\xEE\xAB\xCA\xD0");
}

TEST(CodePage, SizesTerminatorsAndShortBuffers) {
    const std::string gbk = ToBytes(CP_ACP, ToWide(CP_UTF8, AsString(kProgramTexts[0]))) + "AB";
    // -1 converts up to and including the NUL; a size of 0 asks for the size.
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, gbk.c_str(), -1, nullptr, 0), 5);
    char16_t wide[8];
    ASSERT_EQ(MultiByteToWideChar(CP_ACP, 0, gbk.c_str(), -1, wide, 8), 5);
    EXPECT_EQ(wide[4], u'\0');
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr), 7);
    char bytes[8];
    ASSERT_EQ(WideCharToMultiByte(CP_ACP, 0, wide, -1, bytes, 8, nullptr, nullptr), 7);
    EXPECT_EQ(std::string(bytes), gbk);

    // A buffer too small fails, and says why.
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, gbk.c_str(), -1, wide, 4), 0);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, wide, -1, bytes, 3, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);

    // Nothing to convert, or a code page the device does not have.
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "x", 0, wide, 8), 0);
    EXPECT_EQ(MultiByteToWideChar(1252, 0, "x", 1, wide, 8), 0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(CodePage, CharactersGbkLacksBecomeTheDefaultAndTheRestSurvives) {
    // A Korean syllable, an emoji (a surrogate pair) and a lone surrogate,
    // between characters that convert.
    const std::u16string text = u"A\uAC00B\U0001F600C\xD800"
                                u"D\u5E02";
    BOOL usedDefault = FALSE;
    EXPECT_EQ(ToBytes(CP_ACP, text, &usedDefault), "A?B?C?D\xCA\xD0");
    EXPECT_TRUE(usedDefault);

    char out[16] = {};
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"x\uAC00y", 3, out, 16, "#", &usedDefault), 3);
    EXPECT_EQ(std::string(out, 3), "x#y");
    EXPECT_TRUE(usedDefault);
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"xy", 2, out, 16, nullptr, &usedDefault), 2);
    EXPECT_FALSE(usedDefault);

    // UTF-8 carries everything; only a lone surrogate is replaced.
    EXPECT_EQ(ToBytes(CP_UTF8, u"\U0001F600"), "\xF0\x9F\x98\x80");
    EXPECT_EQ(ToBytes(CP_UTF8, u"a\xDC00"
                               u"b"),
              "a\xEF\xBF\xBD"
              "b");
}

TEST(CodePage, InvalidByteSequencesBecomeReplacementCharacters) {
    // GBK: a lead byte before an invalid trail (the trail is read again on
    // its own), 0xFF, an unassigned pair, and a lead byte at the very end.
    EXPECT_EQ(ToWide(CP_ACP, "a\x81"
                             "1b\xFF"
                             "c\xA2\xA0"
                             "d\xCA"),
              u"a\uFFFD"
              "1b\uFFFD"
              "c\uFFFD"
              "d\uFFFD");
    // UTF-8: a truncated sequence, a stray continuation byte, an overlong
    // form and an encoded surrogate.
    EXPECT_EQ(ToWide(CP_UTF8, "a\xE5\xB8"
                              "b\x80"
                              "c\xC0\xAF"
                              "d\xED\xA0\x80"),
              u"a\uFFFD"
              "b\uFFFD"
              "c\uFFFD\uFFFD"
              "d\uFFFD\uFFFD\uFFFD");
    EXPECT_EQ(ToWide(CP_UTF8, "\xF0\x9F\x98\x80"), u"\U0001F600");

    // With MB_ERR_INVALID_CHARS the caller asks for failure instead.
    char16_t out[8];
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, "a\xFF", 2, out, 8), 0);
    EXPECT_EQ(GetLastError(), ERROR_NO_UNICODE_TRANSLATION);
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, "ab", 2, out, 8), 2);
}

TEST(CodePage, LongReplyConvertsWhole) {
    // A reply of 60,000 bytes with a broken byte in the middle converts to
    // the end.
    std::string reply;
    const std::string unit = ToBytes(CP_ACP, ToWide(CP_UTF8, AsString(kProgramTexts[4])));
    while (reply.size() < 60000) {
        reply += unit;
    }
    reply[30001] = '\xFF';
    std::u16string wide = ToWide(CP_ACP, reply);
    const std::u16string tail = ToWide(CP_ACP, unit);
    ASSERT_GT(wide.size(), tail.size());
    EXPECT_EQ(wide.substr(wide.size() - tail.size()), tail);
}

} // namespace
