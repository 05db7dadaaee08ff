// Authoring through the Sdf API on a sync layer, beside the same on a
// .usda layer (OpenUSD's own SdfData), and taking the pending operations
// out of a layer with few and with many of them.
//
// The authored scene has 100k prims, each with a float and a float3[]
// attribute with default values, laid out as <groups> groups of
// <prims per group> prims: every new child rewrites its parent's child
// list, so the shape decides how long those lists get.

#include "sync/syncData.h"
#include "sync/syncFileFormat.h"

#include <pxr/base/gf/vec3f.h>
#include <pxr/base/plug/registry.h>
#include <pxr/usd/sdf/attributeSpec.h>
#include <pxr/usd/sdf/layer.h>
#include <pxr/usd/sdf/primSpec.h>
#include <pxr/usd/sdf/schema.h>
#include <pxr/base/vt/array.h>

#include <benchmark/benchmark.h>

#include <chrono>
#include <string>
#include <vector>

using namespace pxr;

namespace {

constexpr int kPoints = 8;

void Author(const SdfLayerRefPtr& layer, int groups, int primsPerGroup)
{
    VtVec3fArray points(kPoints);
    for (int i = 0; i < kPoints; ++i) {
        points[i] = GfVec3f(float(i), float(i) * 0.5f, -float(i));
    }
    const VtValue pointsValue(points);
    for (int g = 0; g < groups; ++g) {
        SdfPrimSpecHandle group = SdfPrimSpec::New(
            layer->GetPseudoRoot(), "G" + std::to_string(g), SdfSpecifierDef);
        for (int p = 0; p < primsPerGroup; ++p) {
            SdfPrimSpecHandle prim = SdfPrimSpec::New(
                group, "P" + std::to_string(p), SdfSpecifierDef, "Mesh");
            SdfAttributeSpecHandle f = SdfAttributeSpec::New(
                prim, "weight", SdfValueTypeNames->Float);
            f->SetDefaultValue(VtValue(float(p)));
            SdfAttributeSpecHandle pts = SdfAttributeSpec::New(
                prim, "points", SdfValueTypeNames->Float3Array);
            pts->SetDefaultValue(pointsValue);
        }
    }
}

void AuthorBenchmark(benchmark::State& state, const char* identifier)
{
    const int groups = int(state.range(0));
    const int primsPerGroup = int(state.range(1));
    size_t pending = 0;
    for (auto _ : state) {
        SdfLayerRefPtr layer = SdfLayer::CreateAnonymous(identifier);
        Author(layer, groups, primsPerGroup);
        state.PauseTiming();
        if (layer->GetFileFormat()->GetFormatId() == VelaSyncFileFormatTokens->Id) {
            pending = vela::SyncData::GetLayerUpdates(layer).size();
        }
        layer.Reset();
        state.ResumeTiming();
    }
    state.counters["prims"] = double(groups) * primsPerGroup;
    state.counters["pendingOps"] = double(pending);
}

void BM_AuthorUsdaLayer(benchmark::State& state)
{
    AuthorBenchmark(state, "bench.usda");
}

void BM_AuthorSyncLayer(benchmark::State& state)
{
    AuthorBenchmark(state, "bench.vela");
}

// Writing a buffer larger than the last-level cache leaves both cases
// equally cold. Without it, filling a million records evicts the layer,
// its format and the type information the call touches, and the timing
// measures that eviction rather than the drain.
void EvictCaches()
{
    static std::vector<char> buffer(size_t(256) << 20);
    static char fill = 0;
    ++fill;
    for (size_t i = 0; i < buffer.size(); i += 64) {
        buffer[i] = fill;
    }
    benchmark::DoNotOptimize(buffer.data());
}

// Only the GetLayerUpdates call is timed: filling the recorder and
// destroying the returned list scale with the count by nature.
void BM_GetLayerUpdates(benchmark::State& state)
{
    const size_t count = size_t(state.range(0));
    SdfLayerRefPtr layer = SdfLayer::CreateAnonymous("drain.vela");
    vela::SyncDataPtr data = SyncFileFormat::GetData(*layer);
    vela::SyncData::GetLayerUpdates(layer);
    const std::string path = "/World/Prim";
    for (auto _ : state) {
        for (size_t i = 0; i < count; ++i) {
            data->GetDelta().EraseNode(path);
        }
        EvictCaches();
        const auto start = std::chrono::steady_clock::now();
        vela::SyncOpList ops = vela::SyncData::GetLayerUpdates(layer);
        const auto stop = std::chrono::steady_clock::now();
        state.SetIterationTime(std::chrono::duration<double>(stop - start).count());
        if (ops.size() != count) {
            state.SkipWithError("unexpected number of operations");
        }
    }
}

} // namespace

BENCHMARK(BM_AuthorUsdaLayer)->Args({1000, 100})->Args({100, 1000})
    ->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_AuthorSyncLayer)->Args({1000, 100})->Args({100, 1000})
    ->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_GetLayerUpdates)->Arg(1000)->Arg(1000000)
    ->UseManualTime()->Unit(benchmark::kNanosecond)->Iterations(30);

int main(int argc, char** argv)
{
    PlugRegistry::GetInstance().RegisterPlugins(VELA_BUILD_PLUGIN_DIR);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
