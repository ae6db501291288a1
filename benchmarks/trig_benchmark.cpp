// Cost per call of the host's correctly rounded cosine and sine beside the C
// library's cosf and sinf, on the angles the model passes (the wrapped
// electrical angle, [0, 2π]) and on large arguments that need the long
// reduction.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "subhost/control.h"

namespace {

// Evenly spread inputs from `first` to `last`, so that no branch is learnt.
std::vector<float> inputs(float first, float last) {
    constexpr int count = 4096;
    std::vector<float> x(count);
    uint32_t seed = 12345;
    for (float& v : x) {
        seed = seed * 1664525u + 1013904223u;
        v = first + (last - first) * static_cast<float>(seed >> 8) * 0x1p-24F;
    }
    return x;
}

template <float (*Fn)(float)>
void run(benchmark::State& state, float first, float last) {
    const std::vector<float> x = inputs(first, last);
    size_t k = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(Fn(x[k]));
        k = (k + 1) & (x.size() - 1);
    }
}

float libcCos(float x) { return cosf(x); }
float libcSin(float x) { return sinf(x); }

constexpr float kTwoPi = 6.2831855F;

void BM_HostCos_0_2pi(benchmark::State& s) { run<muSingleScalarCos>(s, 0.0F, kTwoPi); }
void BM_LibcCosf_0_2pi(benchmark::State& s) { run<libcCos>(s, 0.0F, kTwoPi); }
void BM_HostSin_0_2pi(benchmark::State& s) { run<muSingleScalarSin>(s, 0.0F, kTwoPi); }
void BM_LibcSinf_0_2pi(benchmark::State& s) { run<libcSin>(s, 0.0F, kTwoPi); }
void BM_HostCos_large(benchmark::State& s) { run<muSingleScalarCos>(s, 1e6F, 1e30F); }
void BM_LibcCosf_large(benchmark::State& s) { run<libcCos>(s, 1e6F, 1e30F); }
void BM_HostSin_large(benchmark::State& s) { run<muSingleScalarSin>(s, 1e6F, 1e30F); }
void BM_LibcSinf_large(benchmark::State& s) { run<libcSin>(s, 1e6F, 1e30F); }

BENCHMARK(BM_HostCos_0_2pi);
BENCHMARK(BM_LibcCosf_0_2pi);
BENCHMARK(BM_HostSin_0_2pi);
BENCHMARK(BM_LibcSinf_0_2pi);
BENCHMARK(BM_HostCos_large);
BENCHMARK(BM_LibcCosf_large);
BENCHMARK(BM_HostSin_large);
BENCHMARK(BM_LibcSinf_large);

}  // namespace
