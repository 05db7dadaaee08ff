// Packing and unpacking speed, beside memcpy of the same bytes.
//
// The array cases report bytes per second of element data, so the pack and
// unpack rows read directly against the memcpy rows of the same size.

#include "sync/valueHandler.h"

#include <pxr/base/gf/vec3f.h>
#include <pxr/base/tf/token.h>
#include <pxr/base/vt/array.h>
#include <pxr/base/vt/value.h>

#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <string>

using namespace pxr;

namespace {

VtArray<GfVec3f> Points(size_t n)
{
    VtArray<GfVec3f> points(n);
    for (size_t i = 0; i < n; ++i) {
        points[i] = GfVec3f(float(i), float(i) * 0.5f, -float(i));
    }
    return points;
}

// memcpy into a buffer that is already mapped: the ceiling for any copy.
void BM_MemcpyWarm(benchmark::State& state)
{
    const size_t bytes = size_t(state.range(0)) * sizeof(GfVec3f);
    std::unique_ptr<char[]> src(new char[bytes]);
    std::unique_ptr<char[]> dst(new char[bytes]);
    std::memset(src.get(), 1, bytes);
    std::memset(dst.get(), 0, bytes);
    for (auto _ : state) {
        std::memcpy(dst.get(), src.get(), bytes);
        benchmark::DoNotOptimize(dst.get());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * bytes);
}

// memcpy into a fresh allocation each time, as packing into a new value does.
void BM_MemcpyFresh(benchmark::State& state)
{
    const size_t bytes = size_t(state.range(0)) * sizeof(GfVec3f);
    std::unique_ptr<char[]> src(new char[bytes]);
    std::memset(src.get(), 1, bytes);
    for (auto _ : state) {
        std::unique_ptr<char[]> dst(new char[bytes]);
        std::memcpy(dst.get(), src.get(), bytes);
        benchmark::DoNotOptimize(dst.get());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * bytes);
}

void BM_PackVec3fArray(benchmark::State& state)
{
    const size_t n = size_t(state.range(0));
    const VtValue value(Points(n));
    auto& handler = vela::ValueHandler::GetInstance();
    for (auto _ : state) {
        vela::PackedData packed = handler.PackVtValue(value);
        benchmark::DoNotOptimize(packed.bytes.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * n * sizeof(GfVec3f));
}

void BM_UnpackVec3fArray(benchmark::State& state)
{
    const size_t n = size_t(state.range(0));
    auto& handler = vela::ValueHandler::GetInstance();
    const vela::PackedData packed = handler.PackVtValue(VtValue(Points(n)));
    for (auto _ : state) {
        VtValue value = handler.UnpackVtValue(packed);
        benchmark::DoNotOptimize(value);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * n * sizeof(GfVec3f));
}

void BM_PackDouble(benchmark::State& state)
{
    const VtValue value(3.25);
    auto& handler = vela::ValueHandler::GetInstance();
    for (auto _ : state) {
        vela::PackedData packed = handler.PackVtValue(value);
        benchmark::DoNotOptimize(packed.bytes.data());
    }
}

void BM_UnpackDouble(benchmark::State& state)
{
    auto& handler = vela::ValueHandler::GetInstance();
    const vela::PackedData packed = handler.PackVtValue(VtValue(3.25));
    for (auto _ : state) {
        VtValue value = handler.UnpackVtValue(packed);
        benchmark::DoNotOptimize(value);
    }
}

void BM_PackToken(benchmark::State& state)
{
    const VtValue value(TfToken("primvars:displayColor"));
    auto& handler = vela::ValueHandler::GetInstance();
    for (auto _ : state) {
        vela::PackedData packed = handler.PackVtValue(value);
        benchmark::DoNotOptimize(packed.bytes.data());
    }
}

void BM_UnpackToken(benchmark::State& state)
{
    auto& handler = vela::ValueHandler::GetInstance();
    const vela::PackedData packed =
        handler.PackVtValue(VtValue(TfToken("primvars:displayColor")));
    for (auto _ : state) {
        VtValue value = handler.UnpackVtValue(packed);
        benchmark::DoNotOptimize(value);
    }
}

VtArray<TfToken> Tokens(size_t n)
{
    VtArray<TfToken> tokens(n);
    for (size_t i = 0; i < n; ++i) {
        tokens[i] = TfToken("token_" + std::to_string(i % 1000));
    }
    return tokens;
}

void BM_PackTokenArray(benchmark::State& state)
{
    const VtValue value(Tokens(size_t(state.range(0))));
    auto& handler = vela::ValueHandler::GetInstance();
    for (auto _ : state) {
        vela::PackedData packed = handler.PackVtValue(value);
        benchmark::DoNotOptimize(packed.bytes.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * state.range(0));
}

void BM_UnpackTokenArray(benchmark::State& state)
{
    auto& handler = vela::ValueHandler::GetInstance();
    const vela::PackedData packed =
        handler.PackVtValue(VtValue(Tokens(size_t(state.range(0)))));
    for (auto _ : state) {
        VtValue value = handler.UnpackVtValue(packed);
        benchmark::DoNotOptimize(value);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * state.range(0));
}

} // namespace

BENCHMARK(BM_MemcpyWarm)
    ->Arg(1000000)
    ->Arg(10000000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MemcpyFresh)
    ->Arg(1000000)
    ->Arg(10000000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PackVec3fArray)
    ->Arg(1000000)
    ->Arg(10000000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UnpackVec3fArray)
    ->Arg(1000000)
    ->Arg(10000000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PackDouble);
BENCHMARK(BM_UnpackDouble);
BENCHMARK(BM_PackToken);
BENCHMARK(BM_UnpackToken);
BENCHMARK(BM_PackTokenArray)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_UnpackTokenArray)->Arg(10000)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
