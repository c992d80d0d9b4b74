// Throughput of the form decoding: bytes per second for each routine.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "formdecode/formdecode.h"

namespace {

// Mixed text as a browser encodes it: words joined by +, punctuation, line
// breaks and non-ASCII letters as %XX escapes.
std::string mixed(std::size_t size)
{
    static const std::string text =
        "Zo%C3%AB+%C5%81ukasz+wrote%3A+%22Two+seats%2C+please%21%22+"
        "Ten+years+at+Acme+%26+Co.+%28retail%29%0D%0Athen+2+years+%3D+100%25+growth+%2B+more.+";
    std::string out;
    while (out.size() < size)
        out += text;
    out.resize(size);
    return out;
}

void BM_fmakeword(benchmark::State& state)
{
    const auto size = static_cast<std::size_t>(state.range(0));
    std::string body = "field=" + mixed(size) + "&next=1";
    for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores): the benchmark loop
        std::FILE* in = fmemopen(body.data(), body.size(), "r");
        int cl = static_cast<int>(body.size());
        benchmark::DoNotOptimize(fmakeword(in, '&', cl, 1024));
        std::fclose(in);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_fmakeword)->Arg(1 << 10)->Arg(100 << 10)->Arg(16 << 20)->Unit(benchmark::kMicrosecond);

void BM_unescape_url(benchmark::State& state)
{
    const std::string source = mixed(1 << 20);
    for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores): the benchmark loop
        state.PauseTiming();
        std::string text = source;
        state.ResumeTiming();
        unescape_url(text);
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * (1 << 20));
}
BENCHMARK(BM_unescape_url)->Unit(benchmark::kMicrosecond);

void BM_plustospace(benchmark::State& state)
{
    std::string text = mixed(1 << 20);
    for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores): the benchmark loop
        plustospace(text);
        benchmark::DoNotOptimize(text.data());
        text[0] = '+';
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * (1 << 20));
}
BENCHMARK(BM_plustospace)->Unit(benchmark::kMicrosecond);

void BM_makeword(benchmark::State& state)
{
    const std::string source = "a_fairly_long_field_name=" + mixed(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores): the benchmark loop
        state.PauseTiming();
        std::string line = source;
        state.ResumeTiming();
        benchmark::DoNotOptimize(makeword(line, '='));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_makeword)->Arg(64)->Arg(1 << 20)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
