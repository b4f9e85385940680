// Compression of 20 MB of log text and 20 MB of binary data with our deflate coder against
// zlib's deflate at the same level, and gzip decoding in memory with our decoder against
// zlib's inflate used directly. Prints size and time ratios at the end.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <zlib.h>

#include "ArchiveCorpus.h"
#include "Deflater.h"
#include "GzipDecoder.h"

namespace {

constexpr size_t kCorpusSize = 20 * 1000 * 1000;
constexpr int kLevel = 8;

const std::vector<uint8_t>& Corpus(int which) {
    static const std::vector<uint8_t> logs = MakeLogText(kCorpusSize);
    static const std::vector<uint8_t> binary = MakeBinary(kCorpusSize);
    return which == 0 ? logs : binary;
}

const char* CorpusName(int which) {
    return which == 0 ? "logs" : "bin";
}

// Best CPU time per run and output size of every case, for the closing table.
struct Measure {
    double seconds = 1e30;
    size_t size = 0;
};
std::map<std::string, Measure> s_measures;

void Record(const std::string& name, double seconds, size_t size) {
    Measure& m = s_measures[name];
    m.seconds = std::min(m.seconds, seconds);
    m.size = size;
}

// CPU time of this thread: the machine is shared, so wall time says little.
double ThreadSeconds() {
    timespec now;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double Seconds(double since) {
    return ThreadSeconds() - since;
}

void BM_DeflateOurs(benchmark::State& state) {
    const std::vector<uint8_t>& input = Corpus(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        double start = ThreadSeconds();
        std::vector<uint8_t> out;
        if (!CDeflater::Compress(input.data(), input.size(), kLevel, out))
            state.SkipWithError("deflate failed");
        Record(std::string("deflate ours ") + CorpusName(static_cast<int>(state.range(0))),
               Seconds(start), out.size());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * input.size()));
}

void BM_DeflateZlib(benchmark::State& state) {
    const std::vector<uint8_t>& input = Corpus(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        double start = ThreadSeconds();
        std::vector<uint8_t> out = ZlibDeflate(input, kLevel, -MAX_WBITS);
        Record(std::string("deflate zlib ") + CorpusName(static_cast<int>(state.range(0))),
               Seconds(start), out.size());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * input.size()));
}

const std::vector<uint8_t>& Gzipped(int which) {
    static const std::vector<uint8_t> logs = ZlibDeflate(Corpus(0), kLevel, MAX_WBITS + 16);
    static const std::vector<uint8_t> binary = ZlibDeflate(Corpus(1), kLevel, MAX_WBITS + 16);
    return which == 0 ? logs : binary;
}

void BM_GunzipOurs(benchmark::State& state) {
    int which = static_cast<int>(state.range(0));
    const std::vector<uint8_t>& input = Gzipped(which);
    for (auto _ : state) {
        double start = ThreadSeconds();
        GzipDecodeResult result = GzipDecodeMemory(input.data(), input.size());
        if (result.dataError || result.size != Corpus(which).size())
            state.SkipWithError("decoding failed");
        free(result.data);
        Record(std::string("gunzip ours ") + CorpusName(which), Seconds(start), result.size);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Corpus(which).size()));
}

// zlib's inflate with its own gzip handling into a block of the known final size.
void BM_GunzipZlib(benchmark::State& state) {
    int which = static_cast<int>(state.range(0));
    const std::vector<uint8_t>& input = Gzipped(which);
    for (auto _ : state) {
        double start = ThreadSeconds();
        size_t size = Corpus(which).size();
        auto* out = static_cast<unsigned char*>(malloc(size + 1));
        z_stream stream{};
        inflateInit2(&stream, MAX_WBITS + 16);
        stream.next_in = const_cast<Bytef*>(input.data());
        stream.avail_in = static_cast<uInt>(input.size());
        stream.next_out = out;
        stream.avail_out = static_cast<uInt>(size + 1);
        if (inflate(&stream, Z_FINISH) != Z_STREAM_END)
            state.SkipWithError("inflate failed");
        size_t produced = stream.total_out;
        inflateEnd(&stream);
        benchmark::DoNotOptimize(out[produced / 2]);
        free(out);
        Record(std::string("gunzip zlib ") + CorpusName(which), Seconds(start), produced);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Corpus(which).size()));
}

BENCHMARK(BM_DeflateOurs)->Arg(0)->Arg(1)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DeflateZlib)->Arg(0)->Arg(1)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GunzipOurs)->Arg(0)->Arg(1)->Iterations(10)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GunzipZlib)->Arg(0)->Arg(1)->Iterations(10)->Unit(benchmark::kMillisecond);

void PrintRatios() {
    printf("\nbest of each case, ours against zlib (level %d), %zu-byte corpora\n", kLevel,
           kCorpusSize);
    for (const char* corpus : {"logs", "bin"}) {
        const Measure& ours = s_measures[std::string("deflate ours ") + corpus];
        const Measure& zlib = s_measures[std::string("deflate zlib ") + corpus];
        printf("deflate %-4s: size %zu vs %zu (ratio %.4f vs %.4f; ours/zlib %.4f), "
               "%.1f vs %.1f MB/s (speed ours/zlib %.2f)\n",
               corpus, ours.size, zlib.size, ours.size / double(kCorpusSize),
               zlib.size / double(kCorpusSize), ours.size / double(zlib.size),
               kCorpusSize / ours.seconds / 1e6, kCorpusSize / zlib.seconds / 1e6,
               zlib.seconds / ours.seconds);
    }
    for (const char* corpus : {"logs", "bin"}) {
        const Measure& ours = s_measures[std::string("gunzip ours ") + corpus];
        const Measure& zlib = s_measures[std::string("gunzip zlib ") + corpus];
        printf("gunzip  %-4s: %.1f vs %.1f MB/s (time ours/zlib %.2f)\n", corpus,
               kCorpusSize / ours.seconds / 1e6, kCorpusSize / zlib.seconds / 1e6,
               ours.seconds / zlib.seconds);
    }
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    PrintRatios();
    return 0;
}
