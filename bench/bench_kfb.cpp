// Throughput of the forward-backward initial motif sampler.
//
// BM_KfbRound: one sampling round (position scores, forward summation, backward sampling)
// over G random templates of length L with K motifs of width 12 on both strands; reports
// template positions per second. BM_KfbSampler: the whole sampler (1000 rounds and the
// width choice). Arguments: G, L, K. The seed of the data and the stream is fixed (1).
//
// Release build, 2-core shared development machine (other builds running):
//   BM_KfbRound/20/300/3    1.69 ms CPU   3.5 M positions/s
//   BM_KfbRound/100/500/3   16.8 ms CPU   3.0 M positions/s
//   BM_KfbRound/20/300/6    3.10 ms CPU   1.9 M positions/s
//   BM_KfbSampler/20/300/3  1.66 s CPU for the 1000 rounds
// Most of the time is LogSum and exp in the forward sums and the per-position draw.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "motif/GMSampler.h"
#include "numeric/SeqMotifBasic.h"
#include "numeric/StochasticDistribution.h"

namespace {

struct Templates {
    std::vector<std::vector<int>> seqs;
    std::vector<int*> ptrs;
    std::vector<int> lens;
    double bg[20];
};

Templates MakeTemplates(int G, int L)
{
    Templates t;
    std::mt19937 rng(1);
    t.seqs.assign(G, std::vector<int>(L));
    for (auto& s : t.seqs)
        for (int& x : s) x = static_cast<int>(rng() % 4);
    for (auto& s : t.seqs) t.ptrs.push_back(s.data()), t.lens.push_back(L);
    BuildBackground(t.ptrs.data(), t.lens.data(), G, t.bg);
    return t;
}

void BM_KfbRound(benchmark::State& state)
{
    const int G = static_cast<int>(state.range(0)), L = static_cast<int>(state.range(1));
    const int K = static_cast<int>(state.range(2));
    Templates t = MakeTemplates(G, L);
    SeedRandom(1);
    std::vector<int> width(K, 12);
    std::vector<std::vector<double>> cur(K, std::vector<double>(48, std::log(0.25)));
    std::vector<std::vector<int>> count(K, std::vector<int>(48));
    std::vector<double> logPr(K, std::log(0.02 / K));
    logPr.push_back(std::log(0.98));
    std::vector<int> siteNum(K + 1);
    std::vector<SITELIST> sites(K);
    std::vector<double> P(static_cast<size_t>(L) * (2 * K + 1)), F(static_cast<size_t>(L) * (K + 2));
    for (auto _ : state) {
        double total = 0;
        for (int s = 0; s < G; ++s) {
            CalLogPrPos(P.data(), t.ptrs[s], L, cur, s, width.data(), K, t.bg, true);
            total += ForwardSummation(F.data(), P.data(), logPr.data(), L, width.data(), K, true);
            BackwardSampling(F.data(), P.data(), t.ptrs[s], L, s, width.data(), K, count, siteNum.data(), sites);
        }
        benchmark::DoNotOptimize(total);
        UpdateParameter(logPr.data(), cur, siteNum.data(), count, K, width.data());
        std::fill(siteNum.begin(), siteNum.end(), 0);
        for (int k = 0; k < K; ++k) {
            std::fill(count[k].begin(), count[k].end(), 0);
            sites[k].clear();
        }
    }
    state.counters["positions/s"] =
        benchmark::Counter(static_cast<double>(G) * L, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_KfbRound)->Args({20, 300, 3})->Args({100, 500, 3})->Args({20, 300, 6});

void BM_KfbSampler(benchmark::State& state)
{
    const int G = static_cast<int>(state.range(0)), L = static_cast<int>(state.range(1));
    const int K = static_cast<int>(state.range(2));
    Templates t = MakeTemplates(G, L);
    for (auto _ : state) {
        SeedRandom(1);
        std::vector<std::vector<double>> pwm(K);
        std::vector<int> width(K, 12), siteNum(K);
        KFBSampler(t.ptrs.data(), t.lens.data(), G, pwm, t.bg, K, width.data(), true, 6, 18, siteNum.data());
        benchmark::DoNotOptimize(pwm);
    }
    state.counters["positions/s"] =
        benchmark::Counter(1000.0 * G * L, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_KfbSampler)->Args({20, 300, 3})->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
