// Google Benchmark of vesk on the simulated device: the button's paint, one
// showing of the task menu with 10, 50 and 200 windows over 10 and 50
// processes, and DrawTextFit on 10, 1,000 and 100,000 characters. bench/run.sh
// prints them as a table with the scaling between sizes, next to the
// instruction counts of the same operations under callgrind.
#include <benchmark/benchmark.h>

#include "bench_setup.h"

namespace {

void BM_Paint(benchmark::State& state) {
    vesk_bench::MenuDevice device(3, 3);
    for (auto _ : state) device.Paint();
}
BENCHMARK(BM_Paint);

// The popup is built, measured and drawn on vesk's own thread: wall time.
void BM_TaskMenu(benchmark::State& state) {
    vesk_bench::MenuDevice device(int(state.range(0)), int(state.range(1)));
    if (!device.ShowMenu()) {
        state.SkipWithError("the task menu did not open with every window listed");
        return;
    }
    for (auto _ : state) benchmark::DoNotOptimize(device.ShowMenu());
}
BENCHMARK(BM_TaskMenu)->ArgNames({"windows", "processes"})->ArgsProduct({{10, 50, 200}, {10, 50}})->UseRealTime()
    ->Unit(benchmark::kMillisecond);

void BM_DrawTextFit(benchmark::State& state) {
    vesk_bench::TextFit fit(int(state.range(0)));
    if (fit.Drawn() != fit.Rule()) {
        state.SkipWithError("DrawTextFit drew another text than the rule gives");
        return;
    }
    for (auto _ : state) benchmark::DoNotOptimize(fit.Draw());
}
BENCHMARK(BM_DrawTextFit)->ArgName("characters")->Arg(10)->Arg(1000)->Arg(100000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
