// Authoring through the Sdf API on a sync layer, beside the same on a
// .usda layer (OpenUSD's own SdfData); the peak memory of a process that
// authors many children under one parent on either; and taking the
// pending operations out of a layer with few and with many of them.
//
// The authored scene has 100k prims, each with a float and a float3[]
// attribute with default values, laid out as <groups> groups of
// <prims per group> prims: every new child rewrites its parent's child
// list, so the shape decides how long those lists get.
//
// After the benchmarks, a summary gives the sync/.usda ratio of each
// authoring shape, median time of each, measured several ways: as
// separate benchmarks, in turn in one process, in a fresh process per
// authoring (benchSync --author=usda|vela,<groups>,<prims>), where neither
// kind runs on a heap the other left behind, and in a fresh process after
// the same layer of either kind was authored and destroyed there
// (--author=usda+vela,... authors a .usda layer first), so that both kinds
// start from the same used heap. Peak memory is measured in a child
// process per layer kind (benchSync --peak-rss=usda|vela), since a
// process's peak never comes down.

#include "sync/opFrame.h"
#include "sync/syncData.h"
#include "sync/syncFileFormat.h"

#include <pxr/base/gf/vec3f.h>
#include <pxr/base/plug/registry.h>
#include <pxr/base/tf/notice.h>
#include <pxr/base/tf/weakBase.h>
#include <pxr/usd/sdf/attributeSpec.h>
#include <pxr/usd/sdf/layer.h>
#include <pxr/usd/sdf/notice.h>
#include <pxr/usd/sdf/primSpec.h>
#include <pxr/usd/sdf/schema.h>
#include <pxr/base/vt/array.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <tuple>
#include <string>
#include <utility>
#include <vector>

#include <time.h>
#include <unistd.h>

using namespace pxr;

namespace {

constexpr int _PointCount = 8;

void Author(const SdfLayerRefPtr& layer, int groups, int primsPerGroup)
{
    VtVec3fArray points(_PointCount);
    for (int i = 0; i < _PointCount; ++i) {
        points[i] = GfVec3f(float(i), float(i) * 0.5f, -float(i));
    }
    const VtValue pointsValue(points);
    for (int g = 0; g < groups; ++g) {
        SdfPrimSpecHandle group = SdfPrimSpec::New(
            layer->GetPseudoRoot(), "G" + std::to_string(g), SdfSpecifierDef);
        for (int p = 0; p < primsPerGroup; ++p) {
            SdfPrimSpecHandle prim = SdfPrimSpec::New(
                group, "P" + std::to_string(p), SdfSpecifierDef, "Mesh");
            SdfAttributeSpecHandle f =
                SdfAttributeSpec::New(prim, "weight", SdfValueTypeNames->Float);
            f->SetDefaultValue(VtValue(float(p)));
            SdfAttributeSpecHandle pts = SdfAttributeSpec::New(
                prim, "points", SdfValueTypeNames->Float3Array);
            pts->SetDefaultValue(pointsValue);
        }
    }
}

// Authoring times per (identifier, groups, prims per group); the summary
// compares medians, since the machine's noise comes in bursts.
std::map<std::tuple<std::string, int, int>, std::vector<double>>
    g_authorSeconds;

double Median(std::vector<double> samples)
{
    if (samples.empty()) {
        return 0.0;
    }
    std::sort(samples.begin(), samples.end());
    const size_t middle = samples.size() / 2;
    return samples.size() % 2 ? samples[middle]
                              : (samples[middle - 1] + samples[middle]) / 2.0;
}

void AuthorBenchmark(benchmark::State& state, const char* identifier)
{
    const int groups = int(state.range(0));
    const int primsPerGroup = int(state.range(1));
    size_t pending = 0;
    std::vector<double>& samples =
        g_authorSeconds[{identifier, groups, primsPerGroup}];
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        SdfLayerRefPtr layer = SdfLayer::CreateAnonymous(identifier);
        Author(layer, groups, primsPerGroup);
        const double seconds = std::chrono::duration<double>(
                                   std::chrono::steady_clock::now() - start)
                                   .count();
        samples.push_back(seconds);
        state.PauseTiming();
        if (layer->GetFileFormat()->GetFormatId() ==
            VelaSyncFileFormatTokens->Id) {
            pending = vela::SyncData::GetLayerUpdates(layer).size();
        }
        layer.Reset();
        state.ResumeTiming();
    }
    state.counters["prims"] = double(groups) * primsPerGroup;
    state.counters["pendingOps"] = double(pending);
}

// The two layer kinds in turn, in one process, the order swapped every
// iteration, so that each kind authors on the heap either kind left
// behind; the median time of each is compared.
void BM_AuthorRatio(benchmark::State& state)
{
    const int groups = int(state.range(0));
    const int primsPerGroup = int(state.range(1));
    std::vector<double> samples[2];
    const char* identifiers[2] = {"ratio.usda", "ratio.vela"};
    int iteration = 0;
    for (auto _ : state) {
        double total = 0.0;
        for (int step = 0; step < 2; ++step) {
            const int kind = (iteration % 2 == 0) ? step : 1 - step;
            const auto start = std::chrono::steady_clock::now();
            SdfLayerRefPtr layer = SdfLayer::CreateAnonymous(identifiers[kind]);
            Author(layer, groups, primsPerGroup);
            const double seconds = std::chrono::duration<double>(
                                       std::chrono::steady_clock::now() - start)
                                       .count();
            total += seconds;
            samples[kind].push_back(seconds);
            if (kind == 1) {
                vela::SyncData::GetLayerUpdates(layer);
            }
        }
        ++iteration;
        state.SetIterationTime(total);
    }
    g_authorSeconds[{"ratio.usda", groups, primsPerGroup}] = samples[0];
    g_authorSeconds[{"ratio.vela", groups, primsPerGroup}] = samples[1];
    const double usda = Median(samples[0]), sync = Median(samples[1]);
    state.counters["usdaMs"] = usda * 1e3;
    state.counters["syncMs"] = sync * 1e3;
    state.counters["syncPerUsda"] = sync / usda;
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
// destroying the returned list scale with the count by nature. The records
// are set fields (a float each) of a thousand properties, recorded as the
// store records them, so draining packs each value and spells out each
// path; none supersedes another.
void BM_GetLayerUpdates(benchmark::State& state)
{
    const size_t count = size_t(state.range(0));
    SdfLayerRefPtr layer = SdfLayer::CreateAnonymous("drain.vela");
    vela::SyncDataPtr data = SyncFileFormat::GetData(*layer);
    vela::SyncData::GetLayerUpdates(layer);
    std::vector<SdfPath> paths;
    for (int i = 0; i < 1000; ++i) {
        paths.push_back(
            SdfPath("/World/Group/Prim" + std::to_string(i) + ".weight"));
    }
    const TfToken field("default");
    double seconds = 0.0;
    for (auto _ : state) {
        for (size_t i = 0; i < count; ++i) {
            data->GetDelta().SetField(paths[i % paths.size()], field,
                                      VtValue(float(i)));
        }
        EvictCaches();
        const auto start = std::chrono::steady_clock::now();
        vela::SyncOpList ops = vela::SyncData::GetLayerUpdates(layer);
        const auto stop = std::chrono::steady_clock::now();
        const double elapsed =
            std::chrono::duration<double>(stop - start).count();
        state.SetIterationTime(elapsed);
        seconds += elapsed;
        if (ops.size() != count) {
            state.SkipWithError("unexpected number of operations");
        }
    }
    state.counters["nsPerRecord"] =
        seconds * 1e9 / (double(state.iterations()) * double(count));
}

// 10k children under one parent, each a def prim with a float attribute:
// every child rewrites the parent's child list.
constexpr int _ChildCount = 10000;

size_t StatusKb(const char* key)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(key, 0) == 0) {
            return std::stoul(line.substr(std::strlen(key)));
        }
    }
    return 0;
}

// The child process's part: authors the children on a layer of the given
// kind and prints "<resident before> <peak before the drain>" in kB.
int MeasurePeakRss(const std::string& kind)
{
    SdfLayerRefPtr layer = SdfLayer::CreateAnonymous("peak." + kind);
    if (!layer) {
        return 1;
    }
    if (kind == "vela") {
        vela::SyncData::GetLayerUpdates(layer);
    }
    const size_t before = StatusKb("VmRSS:");
    SdfPrimSpecHandle parent =
        SdfPrimSpec::New(layer->GetPseudoRoot(), "Parent", SdfSpecifierDef);
    for (int i = 0; i < _ChildCount; ++i) {
        SdfPrimSpecHandle child = SdfPrimSpec::New(
            parent, "C" + std::to_string(i), SdfSpecifierDef, "Xform");
        SdfAttributeSpec::New(child, "weight", SdfValueTypeNames->Float)
            ->SetDefaultValue(VtValue(float(i)));
    }
    const size_t peak = StatusKb("VmHWM:");
    std::printf("%zu %zu\n", before, peak);
    return 0;
}

// Runs this program again with --peak-rss=<kind>; false if that fails.
bool RunPeakRss(const std::string& kind, size_t* before, size_t* peak)
{
    char self[4096];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof(self) - 1);
    if (length <= 0) {
        return false;
    }
    self[length] = 0;
    const std::string command =
        std::string("'") + self + "' --peak-rss=" + kind;
    FILE* out = popen(command.c_str(), "r");
    if (!out) {
        return false;
    }
    const int fields = std::fscanf(out, "%zu %zu", before, peak);
    return pclose(out) == 0 && fields == 2;
}

// One iteration: both child processes, one after the other.
void BM_PeakRss10kChildren(benchmark::State& state)
{
    size_t usdaBefore = 0, usdaPeak = 0, velaBefore = 0, velaPeak = 0;
    for (auto _ : state) {
        if (!RunPeakRss("usda", &usdaBefore, &usdaPeak) ||
            !RunPeakRss("vela", &velaBefore, &velaPeak)) {
            state.SkipWithError("a measuring process failed");
            return;
        }
    }
    state.counters["usdaPeakMB"] = double(usdaPeak) / 1024.0;
    state.counters["velaPeakMB"] = double(velaPeak) / 1024.0;
    state.counters["peakRatio"] = double(velaPeak) / double(usdaPeak);
    state.counters["usdaGrowthMB"] = double(usdaPeak - usdaBefore) / 1024.0;
    state.counters["velaGrowthMB"] = double(velaPeak - velaBefore) / 1024.0;
}

// The child process's part: authors <groups>x<prims> once on a new layer
// of the given kind ("usda,1000,100") and prints "<wall ms> <cpu ms>".
int MeasureAuthoring(const std::string& request)
{
    char kind[16] = {0};
    char before[16] = {0};
    int groups = 0, primsPerGroup = 0;
    if (std::sscanf(request.c_str(), "%15[a-z]+%15[a-z],%d,%d", before, kind,
                    &groups, &primsPerGroup) == 4) {
        // Another layer authored and destroyed first, untimed.
        SdfLayerRefPtr first =
            SdfLayer::CreateAnonymous(std::string("first.") + before);
        Author(first, groups, primsPerGroup);
        if (std::string(before) == "vela") {
            vela::SyncData::GetLayerUpdates(first);
        }
    } else if (std::sscanf(request.c_str(), "%15[a-z],%d,%d", kind, &groups,
                           &primsPerGroup) != 3) {
        return 2;
    }
    timespec cpu0, cpu1;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu0);
    const auto start = std::chrono::steady_clock::now();
    SdfLayerRefPtr layer =
        SdfLayer::CreateAnonymous(std::string("fresh.") + kind);
    Author(layer, groups, primsPerGroup);
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start)
            .count() *
        1e3;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu1);
    const double cpu =
        (cpu1.tv_sec - cpu0.tv_sec) * 1e3 + (cpu1.tv_nsec - cpu0.tv_nsec) / 1e6;
    std::printf("%.1f %.1f\n", wall, cpu);
    std::fflush(stdout);
    // The layer is not destroyed: its teardown is not part of authoring.
    _exit(0);
}

// Runs this program again with --author=<kind>,<groups>,<prims>.
bool RunAuthoring(const std::string& kind, int groups, int primsPerGroup,
                  double* wall, double* cpu)
{
    char self[4096];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof(self) - 1);
    if (length <= 0) {
        return false;
    }
    self[length] = 0;
    const std::string command = std::string("'") + self + "' --author=" + kind +
                                "," + std::to_string(groups) + "," +
                                std::to_string(primsPerGroup);
    FILE* out = popen(command.c_str(), "r");
    if (!out) {
        return false;
    }
    const int fields = std::fscanf(out, "%lf %lf", wall, cpu);
    return pclose(out) == 0 && fields == 2;
}

// Each kind authors in a process of its own, five times in turn; the
// median wall and processor times of each are compared. The third
// argument puts both kinds on the same used heap: 1 authors and destroys a
// .usda layer first in each process, 2 a sync layer (untimed).
void BM_AuthorFreshProcess(benchmark::State& state)
{
    const int groups = int(state.range(0));
    const int primsPerGroup = int(state.range(1));
    const int after = int(state.range(2));
    const std::string before = after == 1 ? "usda+" : after == 2 ? "vela+" : "";
    const std::string prefix = after == 1   ? "afterusda"
                               : after == 2 ? "aftervela"
                                            : "fresh";
    std::vector<double> wall[2], cpu[2];
    for (auto _ : state) {
        for (int round = 0; round < 5; ++round) {
            int kind = 0;
            for (const char* name : {"usda", "vela"}) {
                double w = 0.0, c = 0.0;
                if (!RunAuthoring(before + name, groups, primsPerGroup, &w,
                                  &c)) {
                    state.SkipWithError("an authoring process failed");
                    return;
                }
                wall[kind].push_back(w / 1e3);
                cpu[kind].push_back(c / 1e3);
                ++kind;
            }
        }
    }
    g_authorSeconds[{prefix + ".usda", groups, primsPerGroup}] = wall[0];
    g_authorSeconds[{prefix + ".vela", groups, primsPerGroup}] = wall[1];
    if (after == 0) {
        g_authorSeconds[{"freshcpu.usda", groups, primsPerGroup}] = cpu[0];
        g_authorSeconds[{"freshcpu.vela", groups, primsPerGroup}] = cpu[1];
    }
    state.counters["usdaMs"] = Median(wall[0]) * 1e3;
    state.counters["syncMs"] = Median(wall[1]) * 1e3;
    state.counters["syncPerUsda"] = Median(wall[1]) / Median(wall[0]);
    state.counters["cpuSyncPerUsda"] = Median(cpu[1]) / Median(cpu[0]);
}

// A store of <prims> def Mesh prims in groups of 1000 under the pseudo-root,
// each with a double attribute "size", and a sync layer refreshed from it,
// kept for every benchmark of that size: building a million prims takes
// seconds.
struct RefreshScene
{
    vela::SyncDataRefPtr store;
    SdfLayerRefPtr layer;
    int groups = 0;
};

constexpr int _RefreshGroupSize = 1000;

void AddMesh(vela::SyncData& store, const SdfPath& prim, double size)
{
    store.CreateNode(prim, SdfSpecTypePrim);
    store.SetField(prim, SdfFieldKeys->Specifier, VtValue(SdfSpecifierDef));
    store.SetField(prim, SdfFieldKeys->TypeName, VtValue(TfToken("Mesh")));
    const SdfPath attribute = prim.AppendProperty(TfToken("size"));
    store.CreateNode(attribute, SdfSpecTypeAttribute);
    store.SetField(attribute, SdfFieldKeys->TypeName,
                   VtValue(TfToken("double")));
    store.SetField(attribute, SdfFieldKeys->Custom, VtValue(false));
    store.SetField(attribute, SdfFieldKeys->Default, VtValue(size));
    store.SetField(prim, SdfChildrenKeys->PropertyChildren,
                   VtValue(TfTokenVector{TfToken("size")}));
}

RefreshScene& SceneOf(int prims)
{
    static std::map<int, RefreshScene> scenes;
    RefreshScene& scene = scenes[prims];
    if (scene.store) {
        return scene;
    }
    scene.store = vela::SyncData::New();
    scene.groups = std::max(1, prims / _RefreshGroupSize);
    TfTokenVector groupNames;
    for (int g = 0; g < scene.groups; ++g) {
        const TfToken groupName("G" + std::to_string(g));
        const SdfPath group =
            SdfPath::AbsoluteRootPath().AppendChild(groupName);
        scene.store->CreateNode(group, SdfSpecTypePrim);
        scene.store->SetField(group, SdfFieldKeys->Specifier,
                              VtValue(SdfSpecifierDef));
        TfTokenVector names;
        for (int p = 0; p < std::min(prims, _RefreshGroupSize); ++p) {
            names.emplace_back("P" + std::to_string(p));
            AddMesh(*scene.store, group.AppendChild(names.back()), p);
        }
        scene.store->SetField(group, SdfChildrenKeys->PrimChildren,
                              VtValue(names));
        groupNames.push_back(groupName);
    }
    scene.store->SetField(SdfPath::AbsoluteRootPath(),
                          SdfChildrenKeys->PrimChildren, VtValue(groupNames));
    scene.layer = SdfLayer::CreateAnonymous("refresh.vela");
    SyncFileFormat::RefreshData(scene.layer, scene.store);
    return scene;
}

double SecondsOf(const std::function<void()>& work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() -
                                         start)
        .count();
}

// One attribute value changed in the store, the layer refreshed from the
// changes alone (range(1) 0) or in full (1).
void BM_RefreshOneAttribute(benchmark::State& state)
{
    RefreshScene& scene = SceneOf(int(state.range(0)));
    const bool full = state.range(1) != 0;
    int round = 0;
    for (auto _ : state) {
        const SdfPath attribute(
            "/G" + std::to_string(round % scene.groups) + "/P" +
            std::to_string((round * 7) % _RefreshGroupSize) + ".size");
        scene.store->SetField(attribute, SdfFieldKeys->Default,
                              VtValue(double(round) + 0.5));
        ++round;
        state.SetIterationTime(SecondsOf([&] {
            if (full) {
                SyncFileFormat::RefreshData(scene.layer, scene.store);
            } else {
                SyncFileFormat::RefreshChangedData(scene.layer, scene.store);
            }
        }));
        if (scene.layer->GetField(attribute, SdfFieldKeys->Default) !=
            VtValue(double(round) - 0.5)) {
            state.SkipWithError("the layer did not take the change");
        }
    }
}

// A frame's worth of 100 new prims (each with a specifier, a type and an
// attribute with three fields) added to one group.
void BM_RefreshCreatedPrims(benchmark::State& state)
{
    RefreshScene& scene = SceneOf(int(state.range(0)));
    static int batch = 0;
    for (auto _ : state) {
        const SdfPath group("/G" + std::to_string(batch % scene.groups));
        TfTokenVector names =
            scene.store->Get(group, SdfChildrenKeys->PrimChildren)
                .Get<TfTokenVector>();
        for (int i = 0; i < 100; ++i) {
            names.emplace_back("N" + std::to_string(batch) + "_" +
                               std::to_string(i));
            AddMesh(*scene.store, group.AppendChild(names.back()), i);
        }
        scene.store->SetField(group, SdfChildrenKeys->PrimChildren,
                              VtValue(names));
        ++batch;
        state.SetIterationTime(SecondsOf([&] {
            SyncFileFormat::RefreshChangedData(scene.layer, scene.store);
        }));
        if (!scene.layer->GetPrimAtPath(group.AppendChild(names.back()))) {
            state.SkipWithError("the layer did not take the new prims");
        }
    }
}

// A peer reading back its own frame: 100 prims authored on the layer
// through Sdf, their updates applied to the store; the refresh finds the
// layer holds them already.
void BM_RefreshOwnFrame(benchmark::State& state)
{
    RefreshScene& scene = SceneOf(int(state.range(0)));
    static int batch = 0;
    size_t edits = 0;
    for (auto _ : state) {
        SdfPrimSpecHandle group = scene.layer->GetPrimAtPath(
            SdfPath("/G" + std::to_string(batch % scene.groups)));
        for (int i = 0; i < 100; ++i) {
            SdfPrimSpecHandle prim = SdfPrimSpec::New(
                group, "L" + std::to_string(batch) + "_" + std::to_string(i),
                SdfSpecifierDef, "Mesh");
            SdfAttributeSpec::New(prim, "size", SdfValueTypeNames->Double)
                ->SetDefaultValue(VtValue(double(i)));
        }
        ++batch;
        for (const vela::SyncOp& op :
             vela::SyncData::GetLayerUpdates(scene.layer)) {
            scene.store->ApplySyncOp(op);
        }
        size_t notices = 0;
        struct Counter : TfWeakBase
        {
            size_t* count;
            void OnChange(const SdfNotice::LayersDidChange&) { ++*count; }
        } counter;
        counter.count = &notices;
        TfNotice::Key key =
            TfNotice::Register(TfCreateWeakPtr(&counter), &Counter::OnChange);
        state.SetIterationTime(SecondsOf([&] {
            SyncFileFormat::RefreshChangedData(scene.layer, scene.store);
        }));
        TfNotice::Revoke(key);
        edits += notices;
    }
    state.counters["notices"] = double(edits);
}

// The snapshot body of the whole store, written from the store itself.
void BM_EncodeStore(benchmark::State& state)
{
    RefreshScene& scene = SceneOf(int(state.range(0)));
    size_t bytes = 0;
    for (auto _ : state) {
        bytes = vela::OpFrame::EncodeStore(*scene.store).size();
    }
    state.counters["bodyMB"] = double(bytes) / (1 << 20);
    state.counters["specs"] = double(scene.store->GetSpecCount());
}

void PrintAuthoringRatios()
{
    const std::map<std::string, const char*> descriptions = {
        {"bench", "separate benchmarks"},
        {"ratio", "in turn, one process"},
        {"fresh", "fresh processes, wall"},
        {"freshcpu", "fresh processes, processor"},
        {"afterusda", "each after a .usda layer, wall"},
        {"aftervela", "each after a sync layer, wall"},
    };
    for (const char* prefix :
         {"bench", "ratio", "fresh", "freshcpu", "afterusda", "aftervela"}) {
        for (const auto& [key, syncSamples] : g_authorSeconds) {
            const auto& [identifier, groups, primsPerGroup] = key;
            if (identifier != std::string(prefix) + ".vela") {
                continue;
            }
            auto usda = g_authorSeconds.find(
                {std::string(prefix) + ".usda", groups, primsPerGroup});
            const double syncSeconds = Median(syncSamples);
            const double usdaSeconds =
                usda == g_authorSeconds.end() ? 0.0 : Median(usda->second);
            if (usdaSeconds <= 0.0) {
                continue;
            }
            std::printf("authoring %dx%d (%s): sync %.0f ms, usda %.0f ms, "
                        "sync/usda %.2f\n",
                        groups, primsPerGroup, descriptions.at(prefix),
                        syncSeconds * 1e3, usdaSeconds * 1e3,
                        syncSeconds / usdaSeconds);
        }
    }
}

} // namespace

BENCHMARK(BM_AuthorUsdaLayer)
    ->Args({1000, 100})
    ->Args({100, 1000})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
BENCHMARK(BM_AuthorSyncLayer)
    ->Args({1000, 100})
    ->Args({100, 1000})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
BENCHMARK(BM_AuthorRatio)
    ->Args({1000, 100})
    ->Args({100, 1000})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);
BENCHMARK(BM_AuthorFreshProcess)
    ->Args({1000, 100, 0})
    ->Args({100, 1000, 0})
    ->Args({1000, 100, 1})
    ->Args({100, 1000, 1})
    ->Args({1000, 100, 2})
    ->Args({100, 1000, 2})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK(BM_GetLayerUpdates)
    ->Arg(1000)
    ->Arg(1000000)
    ->UseManualTime()
    ->Unit(benchmark::kNanosecond)
    ->Iterations(30);
BENCHMARK(BM_PeakRss10kChildren)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_RefreshOneAttribute)
    ->Args({1000, 0})
    ->Args({1000000, 0})
    ->Args({1000, 1})
    ->Args({1000000, 1})
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(20);
BENCHMARK(BM_RefreshCreatedPrims)
    ->Arg(1000)
    ->Arg(1000000)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(20);
BENCHMARK(BM_RefreshOwnFrame)
    ->Arg(1000)
    ->Arg(1000000)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(20);
BENCHMARK(BM_EncodeStore)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);

int main(int argc, char** argv)
{
    // OpenUSD's SdfData, and a large SyncData, free their content on a
    // worker thread after their layer is gone; that work would overlap
    // whatever is timed next (about 0.3 s of processor time for 100k .usda
    // prims) and be charged to it. Here every
    // layer is freed before the next one is authored. OpenUSD reads its
    // settings as its libraries load, so the program starts again with the
    // setting in its environment; child processes inherit it.
    if (!std::getenv("WORK_SYNCHRONIZE_ASYNC_DESTROY_CALLS")) {
        setenv("WORK_SYNCHRONIZE_ASYNC_DESTROY_CALLS", "1", 1);
        setenv("TF_ENV_SETTING_ALERTS_ENABLED", "0", 0);
        execv("/proc/self/exe", argv);
        std::fprintf(stderr, "benchSync: could not start again; layers are "
                             "freed on a worker thread\n");
    }
    PlugRegistry::GetInstance().RegisterPlugins(VELA_BUILD_PLUGIN_DIR);
    const std::string authorFlag = "--author=";
    if (argc == 2 &&
        std::strncmp(argv[1], authorFlag.c_str(), authorFlag.size()) == 0) {
        return MeasureAuthoring(argv[1] + authorFlag.size());
    }
    const std::string peakFlag = "--peak-rss=";
    if (argc == 2 &&
        std::strncmp(argv[1], peakFlag.c_str(), peakFlag.size()) == 0) {
        return MeasurePeakRss(argv[1] + peakFlag.size());
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    PrintAuthoringRatios();
    return 0;
}
