// Code-page conversion over a reply-sized text (50,000 bytes, the most a
// fetch keeps): GBK to UTF-16 and back, and UTF-8 to UTF-16 and to GBK (the
// re-encoding of a UTF-8 reply), beside one memcpy of the same bytes as the
// floor any conversion must pay.
#include "platform/win.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// Mixed Chinese and ASCII, as quote pages are: about half the bytes belong
// to double-byte characters.
std::u16string Sample() {
    std::u16string unit = u"<p>\u62DB\u5546\u94F6\u884C(600036) \u73B0\u4EF7:12.34 "
                          u"\u6DA8\u8DCC:+0.15 \u6210\u4EA4\u91CF:1234500</p>\n";
    std::u16string text;
    while (text.size() < 30000) {
        text += unit;
    }
    return text;
}

std::string Encode(UINT cp, const std::u16string& text, size_t limit) {
    std::string out(text.size() * 3, '\0');
    int n = WideCharToMultiByte(cp, 0, text.data(), static_cast<int>(text.size()), out.data(),
                                static_cast<int>(out.size()), nullptr, nullptr);
    out.resize(static_cast<size_t>(n));
    out.resize(std::min(out.size(), limit));
    return out;
}

void Decode(benchmark::State& state, UINT cp) {
    const std::string bytes = Encode(cp, Sample(), 50000);
    std::vector<char16_t> out(bytes.size() + 1);
    for (auto _ : state) {
        int n = MultiByteToWideChar(cp, 0, bytes.data(), static_cast<int>(bytes.size()), out.data(),
                                    static_cast<int>(out.size()));
        benchmark::DoNotOptimize(n);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}

void BM_GbkToUtf16(benchmark::State& state) {
    Decode(state, CP_ACP);
}
void BM_Utf8ToUtf16(benchmark::State& state) {
    Decode(state, CP_UTF8);
}

void BM_Utf16ToGbk(benchmark::State& state) {
    const std::string gbk = Encode(CP_ACP, Sample(), 50000);
    std::vector<char16_t> wide(gbk.size() + 1);
    int count = MultiByteToWideChar(CP_ACP, 0, gbk.data(), static_cast<int>(gbk.size()),
                                    wide.data(), static_cast<int>(wide.size()));
    std::vector<char> out(gbk.size() + 16);
    for (auto _ : state) {
        int n = WideCharToMultiByte(CP_ACP, 0, wide.data(), count, out.data(),
                                    static_cast<int>(out.size()), nullptr, nullptr);
        benchmark::DoNotOptimize(n);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * gbk.size()));
}

// A UTF-8 reply re-encoded for the device: UTF-8 to UTF-16 to GBK.
void BM_Utf8ReplyToGbk(benchmark::State& state) {
    const std::string utf8 = Encode(CP_UTF8, Sample(), 50000);
    std::vector<char16_t> wide(utf8.size() + 1);
    std::vector<char> out(utf8.size() + 16);
    for (auto _ : state) {
        int w = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                    wide.data(), static_cast<int>(wide.size()));
        int n = WideCharToMultiByte(CP_ACP, 0, wide.data(), w, out.data(),
                                    static_cast<int>(out.size()), nullptr, nullptr);
        benchmark::DoNotOptimize(n);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * utf8.size()));
}

void BM_MemcpyFloor(benchmark::State& state) {
    std::vector<char> in(50000, 'x'), out(50000);
    for (auto _ : state) {
        std::memcpy(out.data(), in.data(), in.size());
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * in.size()));
}

BENCHMARK(BM_GbkToUtf16);
BENCHMARK(BM_Utf8ToUtf16);
BENCHMARK(BM_Utf16ToGbk);
BENCHMARK(BM_Utf8ReplyToGbk);
BENCHMARK(BM_MemcpyFloor);

} // namespace

BENCHMARK_MAIN();
