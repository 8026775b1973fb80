// Drawing a full screen into the cell canvas the way the quote list does:
// per row a FillRect of the row's background and four DrawText calls of
// mixed ASCII and Chinese text (name left-aligned, three numbers
// right-aligned in bands), on an 80x24 and a 200x60 screen; and copying a
// window's canvas onto the screen, as the window manager composes it.
#include "platform/Canvas.h"

#include <benchmark/benchmark.h>

namespace {

void DrawRows(HDC dc, int cols, int rows) {
    HBRUSH white = CreateSolidBrush(RGB(255, 255, 255));
    HBRUSH highlight = CreateSolidBrush(RGB(0, 0, 128));
    int width = cols * kCellWidth;
    int w = static_cast<int>(width * 0.26);
    for (int i = 0; i < rows; ++i) {
        RECT row{0, i * kCellHeight, width, (i + 1) * kCellHeight};
        FillRect(dc, &row, i == 3 ? highlight : white);
        SetTextColor(dc, RGB(0, 0, 0));
        DrawText(dc, u"中国石化", -1, &row, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
        SetTextColor(dc, i % 2 == 0 ? RGB(255, 0, 0) : RGB(0, 80, 0));
        RECT band{width - 3 * w, row.top, width - 2 * w, row.bottom};
        DrawText(dc, u"12.34", -1, &band, DT_RIGHT | DT_VCENTER | DT_SINGLELINE);
        band = RECT{width - 2 * w, row.top, width - w, row.bottom};
        DrawText(dc, u"-1.23%", -1, &band, DT_RIGHT | DT_VCENTER | DT_SINGLELINE);
        SetTextColor(dc, RGB(0, 0, 255));
        band = RECT{width - w, row.top, width, row.bottom};
        DrawText(dc, u"--", -1, &band, DT_RIGHT | DT_VCENTER | DT_SINGLELINE);
    }
    DeleteObject(white);
    DeleteObject(highlight);
}

void BM_DrawListScreen(benchmark::State& state) {
    int cols = static_cast<int>(state.range(0));
    int rows = static_cast<int>(state.range(1));
    platform::Canvas canvas(cols, rows);
    RECT all{0, 0, cols * kCellWidth, rows * kCellHeight};
    for (auto _ : state) {
        HDC dc = platform::CreateCanvasDC(&canvas, all, all);
        DrawRows(dc, cols, rows);
        platform::DestroyCanvasDC(dc);
        benchmark::DoNotOptimize(canvas.Generation());
    }
    state.SetItemsProcessed(state.iterations() * rows);
    state.counters["cells"] = static_cast<double>(cols) * rows;
}
BENCHMARK(BM_DrawListScreen)->Args({80, 24})->Args({200, 60});

// A paragraph of wrapped Chinese and ASCII text, as the message dialog
// shows the notes.
void BM_DrawWrappedText(benchmark::State& state) {
    int cols = static_cast<int>(state.range(0));
    int rows = static_cast<int>(state.range(1));
    platform::Canvas canvas(cols, rows);
    RECT all{0, 0, cols * kCellWidth, rows * kCellHeight};
    std::u16string text;
    for (int i = 0; i < 20; ++i) {
        text += u"自动刷新将产生较大的上网流量，建议您选择CMWAP套餐 (10 MB) 详情请咨询。\r\n";
    }
    for (auto _ : state) {
        HDC dc = platform::CreateCanvasDC(&canvas, all, all);
        RECT r = all;
        DrawText(dc, text.c_str(), -1, &r, DT_LEFT | DT_WORDBREAK);
        platform::DestroyCanvasDC(dc);
    }
}
BENCHMARK(BM_DrawWrappedText)->Args({80, 24})->Args({200, 60});

void BM_ComposeScreen(benchmark::State& state) {
    int cols = static_cast<int>(state.range(0));
    int rows = static_cast<int>(state.range(1));
    platform::Canvas window(cols, rows);
    RECT all{0, 0, cols * kCellWidth, rows * kCellHeight};
    HDC dc = platform::CreateCanvasDC(&window, all, all);
    DrawRows(dc, cols, rows);
    platform::DestroyCanvasDC(dc);
    platform::Canvas screen(cols, rows);
    for (auto _ : state) {
        screen.Blit(window, 0, 0);
        benchmark::DoNotOptimize(screen.Generation());
    }
}
BENCHMARK(BM_ComposeScreen)->Args({80, 24})->Args({200, 60});

} // namespace

BENCHMARK_MAIN();
