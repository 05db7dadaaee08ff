// Asset resolution: 100k resolves of paths that exist locally through
// vela's resolver beside OpenUSD's default resolver (apart, and alternating
// in the same loop), the cost of one fetch through
// a trivial Python callback, and 32 fetches in parallel beside 32 in a row.

#include <Python.h>

#include "resolver/assetFetcher.h"
#include "resolver/assetResolver.h"

#include <pxr/usd/ar/defaultResolver.h>

#include <benchmark/benchmark.h>
#include <spdlog/spdlog.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

using namespace pxr;
namespace fs = std::filesystem;

namespace {

constexpr int k_files = 1000;
constexpr int k_resolves = 100000;
constexpr int k_fetches = 32;

// k_files small files in a fresh temporary folder, removed at exit.
class LocalFiles
{
public:
    LocalFiles()
    {
        _dir = fs::temp_directory_path() /
               ("velaBenchResolve-" + std::to_string(::getpid()));
        fs::create_directories(_dir);
        for (int i = 0; i < k_files; ++i) {
            _paths.push_back(
                (_dir / ("asset" + std::to_string(i) + ".usda")).string());
            std::ofstream(_paths.back()) << "#usda 1.0\n";
        }
    }
    ~LocalFiles() { fs::remove_all(_dir); }
    const std::vector<std::string>& Paths() const { return _paths; }

private:
    fs::path _dir;
    std::vector<std::string> _paths;
};

const LocalFiles& Files()
{
    static LocalFiles files;
    return files;
}

template <class Resolver>
void BM_ResolveLocal(benchmark::State& state)
{
    const Resolver resolver;
    const std::vector<std::string>& paths = Files().Paths();
    for (auto _ : state) {
        for (int i = 0; i < k_resolves; ++i) {
            benchmark::DoNotOptimize(resolver.Resolve(paths[i % k_files]));
        }
    }
    state.counters["resolves"] = k_resolves;
    state.counters["ns/resolve"] =
        benchmark::Counter(double(k_resolves) * 1e-9,
                           benchmark::Counter::kIsIterationInvariantRate |
                               benchmark::Counter::kInvert);
}

// Both resolvers in alternating slices of 1000 resolves, timed on this
// thread's CPU clock, so that the load of a shared machine falls on both
// alike; reports vela's time over the default resolver's.
double ThreadSeconds()
{
    timespec now;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

void BM_ResolveLocalRatio(benchmark::State& state)
{
    const ArDefaultResolver standard;
    const vela::AssetResolver vela;
    const std::vector<std::string>& paths = Files().Paths();
    double standardTime = 0, velaTime = 0;
    for (auto _ : state) {
        for (int slice = 0; slice < k_resolves; slice += k_files) {
            const double t0 = ThreadSeconds();
            for (const std::string& path : paths) {
                benchmark::DoNotOptimize(standard.Resolve(path));
            }
            const double t1 = ThreadSeconds();
            for (const std::string& path : paths) {
                benchmark::DoNotOptimize(vela.Resolve(path));
            }
            const double t2 = ThreadSeconds();
            standardTime += t1 - t0;
            velaTime += t2 - t1;
        }
    }
    state.counters["vela/default"] = velaTime / standardTime;
}

void SetCallback(const char* name)
{
    PyGILState_STATE gil = PyGILState_Ensure();
    PyObject* callback =
        PyObject_GetAttrString(PyImport_AddModule("__main__"), name);
    vela::AssetFetcher::GetInstance()->SetOnFetchCallback(callback);
    Py_DECREF(callback);
    PyGILState_Release(gil);
}

// One fetch through a callback that only builds the returned path. The
// asset path never becomes a key, so every iteration calls back, and the
// record it leaves is overwritten in place.
void BM_FetchTrivialCallback(benchmark::State& state)
{
    SetCallback("trivial");
    auto fetcher = vela::AssetFetcher::GetInstance();
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            fetcher->FetchAsset("proj/asset.usda", "/cache"));
    }
}

// 32 fetches whose callback waits 2 ms for its "download" (time.sleep
// releases the interpreter lock, as real I/O does), in a row or on 32
// threads at once.
void BM_FetchSerial(benchmark::State& state)
{
    SetCallback("download");
    auto fetcher = vela::AssetFetcher::GetInstance();
    for (auto _ : state) {
        for (int i = 0; i < k_fetches; ++i) {
            benchmark::DoNotOptimize(
                fetcher->FetchAsset("proj/s" + std::to_string(i), "/cache"));
        }
    }
}

void BM_FetchParallel(benchmark::State& state)
{
    SetCallback("download");
    auto fetcher = vela::AssetFetcher::GetInstance();
    for (auto _ : state) {
        std::vector<std::thread> threads;
        for (int i = 0; i < k_fetches; ++i) {
            threads.emplace_back([&fetcher, i] {
                benchmark::DoNotOptimize(fetcher->FetchAsset(
                    "proj/p" + std::to_string(i), "/cache"));
            });
        }
        for (auto& t : threads) {
            t.join();
        }
    }
}

} // namespace

BENCHMARK_TEMPLATE(BM_ResolveLocal, ArDefaultResolver)
    ->Name("ResolveLocal/ArDefaultResolver")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_ResolveLocal, vela::AssetResolver)
    ->Name("ResolveLocal/velaAssetResolver")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ResolveLocalRatio)
    ->Name("ResolveLocal/alternating")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FetchTrivialCallback)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FetchSerial)
    ->Name("Fetch32/serial")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_FetchParallel)
    ->Name("Fetch32/parallel")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

int main(int argc, char** argv)
{
    // Replacing the callback between benchmarks logs at info level.
    spdlog::set_level(spdlog::level::warn);
    Py_InitializeEx(0);
    PyRun_SimpleString("import time\n"
                       "def trivial(assetPath, localPath):\n"
                       "    return localPath + '/x'\n"
                       "def download(assetPath, localPath):\n"
                       "    time.sleep(0.002)\n"
                       "    return localPath + '/' + assetPath\n");
    // Let every thread take the interpreter lock as a resolver thread does.
    PyEval_SaveThread();

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
