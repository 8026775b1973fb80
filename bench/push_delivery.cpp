// The push road on loopback: from an alert handed to the outbox to its
// arrival at an ntfy stand-in (written atomically, picked up by the sending
// thread, sent over HTTP), reported as p50/p99; and what the handing over
// costs the user-interface thread when the channel answers and when it hangs
// (the screen waits for nothing else of the push road).
#include "push/Outbox.h"
#include "tests/support/PushStandIn.h"
#include "tests/support/ScriptedServer.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

fs::path Folder(const char* name) {
    fs::path dir = fs::temp_directory_path() /
                   ("stockat-bench-push-" + std::string(name) + "-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    return dir;
}

push::Message Alert() {
    push::Message m;
    m.title = "瞰市";
    m.text = "浦发银行(600000)：您设置的卖出价位10.00元已经达到，请及时操作！现价:10.05元";
    return m;
}

double Percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[std::min(v.size() - 1, static_cast<size_t>(p * v.size()))];
}

void BM_AlertToDelivery(benchmark::State& state) {
    testsupport::PushStandIn service({{200, "{}"}});
    fs::path dir = Folder("deliver");
    push::Outbox box(dir,
                     {*push::ParseChannel(
                         "ntfy://127.0.0.1:" + std::to_string(service.port()) + "/bench", nullptr)},
                     {});
    box.Start();
    std::vector<double> ms;
    size_t n = 0;
    for (auto _ : state) {
        auto start = Clock::now();
        box.Submit(Alert());
        if (!service.WaitFor(++n, 10000)) {
            state.SkipWithError("not delivered");
            break;
        }
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    box.Stop();
    state.counters["p50_ms"] = Percentile(ms, 0.5);
    state.counters["p99_ms"] = Percentile(ms, 0.99);
    fs::remove_all(dir);
}
BENCHMARK(BM_AlertToDelivery)->Iterations(300)->Unit(benchmark::kMillisecond);

// The user-interface thread's part: Submit (the entries written and fsynced),
// with five channels that answer or five that hang.
void BM_SubmitOnTheUiThread(benchmark::State& state) {
    bool hang = state.range(0) != 0;
    testsupport::PushStandIn ok({{200, "{}"}});
    testsupport::ScriptedPeer stall(testsupport::ScriptedPeer::Stall());
    std::uint16_t port = hang ? stall.port() : ok.port();
    std::vector<push::Channel> channels;
    for (int i = 0; i < 5; ++i) {
        channels.push_back(*push::ParseChannel(
            "ntfy://127.0.0.1:" + std::to_string(port) + "/c" + std::to_string(i), nullptr));
    }
    fs::path dir = Folder(hang ? "hang" : "answer");
    push::Outbox::Options o;
    o.deadline = std::chrono::milliseconds(2000);
    push::Outbox box(dir, channels, o);
    box.Start();
    std::vector<double> ms;
    for (auto _ : state) {
        auto start = Clock::now();
        box.Submit(Alert());
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    state.counters["p50_ms"] = Percentile(ms, 0.5);
    state.counters["p99_ms"] = Percentile(ms, 0.99);
    box.Stop();
    fs::remove_all(dir);
}
BENCHMARK(BM_SubmitOnTheUiThread)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("hang")
    ->Iterations(100)
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
