// Message dispatch: the cost of a posted message's round trip through
// PostMessage, GetMessage and DispatchMessage, of SendMessage, and of a
// timer tick; and, when STOCKAT_BENCH_IDLE=1, the CPU time an idle program
// uses over one minute of real time (it should be nothing but its ticks).

#include "platform/clock.h"
#include "platform/device.h"
#include "platform/frontend.h"
#include "platform/observe.h"
#include "platform/win.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <sys/resource.h>
#include <thread>

namespace {

long long handled = 0;

LRESULT CountingProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_USER || msg == WM_TIMER) {
        ++handled;
        return 1;
    }
    return DefWindowProc(hwnd, msg, wParam, lParam);
}

HWND MakeWindow() {
    platform::observe::ResetForTests();
    platform::BindUiThread();
    WNDCLASS wc{};
    wc.lpfnWndProc = CountingProc;
    wc.lpszClassName = u"BenchWindow";
    RegisterClass(&wc);
    return CreateWindowEx(0, u"BenchWindow", u"bench", 0, CW_USEDEFAULT, CW_USEDEFAULT,
                          CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, nullptr, nullptr);
}

void BM_PostGetDispatch(benchmark::State& state) {
    HWND hwnd = MakeWindow();
    MSG msg{};
    for (auto _ : state) {
        PostMessage(hwnd, WM_USER, 1, 2);
        GetMessage(&msg, nullptr, 0, 0);
        TranslateMessage(&msg);
        DispatchMessage(&msg);
    }
    benchmark::DoNotOptimize(handled);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PostGetDispatch);

void BM_PostBurstThenDrain(benchmark::State& state) {
    HWND hwnd = MakeWindow();
    MSG msg{};
    const int burst = static_cast<int>(state.range(0));
    for (auto _ : state) {
        for (int i = 0; i < burst; ++i) {
            PostMessage(hwnd, WM_USER, static_cast<WPARAM>(i), 0);
        }
        for (int i = 0; i < burst; ++i) {
            GetMessage(&msg, nullptr, 0, 0);
            DispatchMessage(&msg);
        }
    }
    state.SetItemsProcessed(state.iterations() * burst);
}
BENCHMARK(BM_PostBurstThenDrain)->Arg(16)->Arg(256);

void BM_SendMessage(benchmark::State& state) {
    HWND hwnd = MakeWindow();
    for (auto _ : state) {
        benchmark::DoNotOptimize(SendMessage(hwnd, WM_USER, 1, 2));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SendMessage);

void BM_TimerTick(benchmark::State& state) {
    platform::SetClock(platform::DeviceClock::Manual(0));
    HWND hwnd = MakeWindow();
    SetTimer(hwnd, 1, 1000, nullptr);
    MSG msg{};
    for (auto _ : state) {
        platform::Clock().Advance(1000);
        GetMessage(&msg, nullptr, 0, 0);
        DispatchMessage(&msg);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TimerTick);

double CpuSeconds() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

// A program with a 40-second timer that waits in GetMessage for one minute
// of real time; reports the CPU seconds it used and the ticks it handled.
void BM_IdleMinute(benchmark::State& state) {
    for (auto _ : state) {
        platform::SetClock(platform::DeviceClock::Real());
        HWND hwnd = MakeWindow();
        handled = 0;
        SetTimer(hwnd, 1, 40000, nullptr);
        std::thread stopper([] {
            std::this_thread::sleep_for(std::chrono::seconds(60));
            PostQuitMessage(0);
        });
        double before = CpuSeconds();
        MSG msg{};
        while (GetMessage(&msg, nullptr, 0, 0)) {
            DispatchMessage(&msg);
        }
        double used = CpuSeconds() - before;
        stopper.join();
        state.counters["cpu_seconds"] = used;
        state.counters["ticks"] = static_cast<double>(handled);
    }
}

} // namespace

int main(int argc, char** argv) {
    const char* idle = std::getenv("STOCKAT_BENCH_IDLE");
    if (idle != nullptr && idle[0] == '1') {
        benchmark::RegisterBenchmark("BM_IdleMinute", BM_IdleMinute)
            ->Iterations(1)
            ->Unit(benchmark::kSecond)
            ->UseRealTime();
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
