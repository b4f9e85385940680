// Reading and writing the day-first date form, the work done for every entry of a file
// list, against the C library's sscanf + mktime as the anchor.
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "DateTime.h"

namespace {

std::vector<std::string> Stamps(size_t count) {
    std::vector<std::string> stamps;
    for (size_t i = 0; i < count; ++i) {
        char text[32];
        snprintf(text, sizeof text, "%02zu/%02zu/20%02zu %02zu:%02zu:%02zu", i % 28 + 1, i % 12 + 1,
                 i % 30, i % 24, i % 60, (i * 7) % 60);
        stamps.emplace_back(text);
    }
    return stamps;
}

void BM_ParseDateTime(benchmark::State& state) {
    const std::vector<std::string> stamps = Stamps(4096);
    size_t i = 0;
    for (auto _ : state) {
        DateTime value = ParseDateTime(stamps[i++ & 4095].c_str());
        benchmark::DoNotOptimize(value);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ParseDateTime);

void BM_Anchor_SscanfMktime(benchmark::State& state) {
    const std::vector<std::string> stamps = Stamps(4096);
    size_t i = 0;
    for (auto _ : state) {
        tm fields{};
        sscanf(stamps[i++ & 4095].c_str(), "%d/%d/%d %d:%d:%d", &fields.tm_mday, &fields.tm_mon,
               &fields.tm_year, &fields.tm_hour, &fields.tm_min, &fields.tm_sec);
        fields.tm_mon -= 1;
        fields.tm_year -= 1900;
        fields.tm_isdst = -1;
        benchmark::DoNotOptimize(mktime(&fields));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Anchor_SscanfMktime);

void BM_FormatDateAttribute(benchmark::State& state) {
    const DateTime value = MakeDateTime(2026, 12, 6, 10, 3, 21);
    for (auto _ : state)
        benchmark::DoNotOptimize(FormatDate(value, false, true, true));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FormatDateAttribute);

} // namespace

BENCHMARK_MAIN();
