// MD5Update throughput against OpenSSL's MD5 (same process, same buffer) and against the md5sum
// program hashing the same bytes from a file (process start included, so it is only indicative).
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <map>
#include <string>
#include <vector>

#include "md5_ctx.h"

namespace {

constexpr size_t kLargest = 16 * 1024 * 1024;

// One buffer for every case, filled once, so no case pays for first-touch page faults.
struct Bytes {
    const uint8_t* data() const { return start; }
    size_t size() const { return length; }
    const uint8_t* start;
    size_t length;
};

Bytes Buffer(size_t size)
{
    static std::vector<uint8_t> bytes = [] {
        std::vector<uint8_t> filled(kLargest);
        uint32_t x = 1;
        for (uint8_t& b : filled) {
            x = x * 1664525u + 1013904223u;
            b = static_cast<uint8_t>(x >> 24);
        }
        return filled;
    }();
    return Bytes{bytes.data(), size < kLargest ? size : kLargest};
}

void BM_Ours(benchmark::State& state)
{
    const Bytes bytes = Buffer(static_cast<size_t>(state.range(0)));
    MD5_CTX md5;
    uint8_t digest[16];
    for (auto _ : state) {
        md5.MD5Update(bytes.data(), static_cast<uint32_t>(bytes.size()));
        md5.MD5Final(digest);
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes.size()));
}

void BM_OpenSsl(benchmark::State& state)
{
    const Bytes bytes = Buffer(static_cast<size_t>(state.range(0)));
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    for (auto _ : state) {
        EVP_DigestInit_ex(ctx, EVP_md5(), nullptr);
        EVP_DigestUpdate(ctx, bytes.data(), bytes.size());
        EVP_DigestFinal_ex(ctx, digest, &length);
        benchmark::DoNotOptimize(digest);
    }
    EVP_MD_CTX_free(ctx);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes.size()));
}

void BM_Md5sum(benchmark::State& state)
{
    const Bytes bytes = Buffer(static_cast<size_t>(state.range(0)));
    char path[] = "/tmp/ql_md5_bench_XXXXXX";
    int fd = mkstemp(path);
    if (fd < 0 || write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
        state.SkipWithError("cannot write the scratch file");
        return;
    }
    close(fd);
    const std::string command = std::string("md5sum ") + path + " >/dev/null";
    for (auto _ : state) {
        if (system(command.c_str()) != 0) {
            state.SkipWithError("md5sum failed");
            break;
        }
    }
    unlink(path);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes.size()));
}

constexpr int64_t kSizes[] = {64 * 1024, kLargest};

}  // namespace

BENCHMARK(BM_Ours)->Name("md5/ours")->Arg(kSizes[0])->Arg(kSizes[1])->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_OpenSsl)->Name("md5/openssl")->Arg(kSizes[0])->Arg(kSizes[1])->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Md5sum)->Name("md5/md5sum")->Arg(kSizes[1])->Unit(benchmark::kMillisecond)->UseRealTime();

namespace {

// Keeps every case's CPU and wall time. OpenSSL runs in this process, so it is compared by CPU
// time, which other load on the machine disturbs least; md5sum runs in a child process, whose
// CPU time is not ours, so it is compared by wall time.
class Md5Reporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
            cpu_[run.benchmark_name()] = run.GetAdjustedCPUTime();
            real_[run.benchmark_name()] = run.GetAdjustedRealTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void PrintRatios() const
    {
        std::printf("\n%-12s %-10s %-8s %16s %22s\n", "bytes", "reference", "timing", "ours/ref time", "ours/ref throughput");
        for (int64_t size : kSizes) {
            Print(size, "openssl", cpu_, "cpu");
            Print(size, "md5sum", real_, "wall");
        }
    }

private:
    void Print(int64_t size, const char* reference, const std::map<std::string, double>& times, const char* timing) const
    {
        const std::string suffix = "/" + std::to_string(size) + "/real_time";
        auto ours = times.find("md5/ours" + suffix);
        auto ref = times.find(std::string("md5/") + reference + suffix);
        if (ours == times.end() || ref == times.end() || ours->second <= 0) return;
        std::printf("%-12lld %-10s %-8s %16.3f %22.3f\n", static_cast<long long>(size), reference, timing,
                    ours->second / ref->second, ref->second / ours->second);
    }

    std::map<std::string, double> cpu_;
    std::map<std::string, double> real_;
};

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    Md5Reporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    benchmark::Shutdown();
    return 0;
}
