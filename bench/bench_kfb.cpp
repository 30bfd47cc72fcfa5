// Throughput of the forward-backward initial motif sampler.
//
// BM_KfbRound: one sampling round of the log-space passes (position scores, forward
// summation, backward sampling), the reference, over G random templates of length L with K
// motifs of width 12 on both strands; BM_KfbRoundLinear: the same round with the scaled
// linear passes KFBSampler runs; both report template positions per second. BM_KfbSampler:
// the whole sampler (1000 rounds and the width choice). Arguments: G, L, K. The seed of the
// data and the stream is fixed (1).
//
// Release build, 2-core shared VM (AMD EPYC, fuzzers running on the other core), 2026-12-07:
//   BM_KfbRound/20/300/3          1.12 ms CPU    5.4 M positions/s   (log space)
//   BM_KfbRoundLinear/20/300/3    0.23 ms CPU   25.9 M positions/s
//   BM_KfbRound/100/500/3         10.7 ms CPU    4.7 M positions/s
//   BM_KfbRoundLinear/100/500/3   1.82 ms CPU   27.5 M positions/s
//   BM_KfbRound/20/300/6          2.38 ms CPU    2.5 M positions/s
//   BM_KfbRoundLinear/20/300/6    0.37 ms CPU   16.2 M positions/s
// The log-space round spends its time in LogSum and exp; the linear one in the window
// products (vectorised over positions) and the per-position draw.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "motif/GMSampler.h"
#include "numeric/SeqMotifBasic.h"
#include "numeric/StochasticDistribution.h"

// The benchmark's random stream.
static CRandomStream g_rng;

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

// The parameter update closing a round, and the counts cleared for the next.
void EndRound(std::vector<double>& logPr, std::vector<std::vector<double>>& cur, std::vector<int>& siteNum,
              std::vector<std::vector<int>>& count, std::vector<SITELIST>& sites, const std::vector<int>& width)
{
    const int K = static_cast<int>(cur.size());
    UpdateParameter(logPr.data(), cur, siteNum.data(), count, K, width.data());
    std::fill(siteNum.begin(), siteNum.end(), 0);
    for (int k = 0; k < K; ++k) {
        std::fill(count[k].begin(), count[k].end(), 0);
        sites[k].clear();
    }
}

void BM_KfbRound(benchmark::State& state)
{
    const int G = static_cast<int>(state.range(0)), L = static_cast<int>(state.range(1));
    const int K = static_cast<int>(state.range(2));
    Templates t = MakeTemplates(G, L);
    g_rng.Seed(1);
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
            BackwardSampling(g_rng, F.data(), P.data(), t.ptrs[s], L, s, width.data(), K, count, siteNum.data(), sites);
        }
        benchmark::DoNotOptimize(total);
        EndRound(logPr, cur, siteNum, count, sites, width);
    }
    state.counters["positions/s"] =
        benchmark::Counter(static_cast<double>(G) * L, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_KfbRound)->Args({20, 300, 3})->Args({100, 500, 3})->Args({20, 300, 6});

// The same round with the scaled linear passes the sampler runs.
void BM_KfbRoundLinear(benchmark::State& state)
{
    const int G = static_cast<int>(state.range(0)), L = static_cast<int>(state.range(1));
    const int K = static_cast<int>(state.range(2));
    Templates t = MakeTemplates(G, L);
    g_rng.Seed(1);
    std::vector<int> width(K, 12);
    std::vector<std::vector<double>> cur(K, std::vector<double>(48, std::log(0.25))), lin(K);
    std::vector<std::vector<int>> count(K, std::vector<int>(48));
    std::vector<double> logPr(K, std::log(0.02 / K)), pr(K + 1);
    logPr.push_back(std::log(0.98));
    std::vector<int> siteNum(K + 1), E(L);
    std::vector<SITELIST> sites(K);
    std::vector<double> PL(static_cast<size_t>(L) * 2 * K), F(static_cast<size_t>(L) * (K + 2));
    std::vector<std::vector<double>> bgLin(G, std::vector<double>(L));
    std::vector<std::vector<int>> codes(G, std::vector<int>(L));
    for (int s = 0; s < G; ++s) {
        KfbLinearBackground(bgLin[s].data(), t.ptrs[s], L, t.bg);
        KfbLinearCodes(codes[s].data(), t.ptrs[s], L);
    }
    for (auto _ : state) {
        for (int k = 0; k <= K; ++k) pr[k] = std::exp(logPr[k]);
        for (int k = 0; k < K; ++k) {
            lin[k].resize(cur[k].size());
            for (size_t j = 0; j < cur[k].size(); ++j) lin[k][j] = std::exp(cur[k][j]);
        }
        double total = 0;
        for (int s = 0; s < G; ++s) {
            KfbLinearScores(PL.data(), t.ptrs[s], codes[s].data(), L, lin, width.data(), K, true);
            total +=
                KfbLinearForward(F.data(), E.data(), PL.data(), bgLin[s].data(), pr.data(), L, width.data(), K, true);
            KfbLinearBackward(g_rng, F.data(), PL.data(), t.ptrs[s], L, s, width.data(), K, count, siteNum.data(),
                              sites);
        }
        benchmark::DoNotOptimize(total);
        EndRound(logPr, cur, siteNum, count, sites, width);
    }
    state.counters["positions/s"] =
        benchmark::Counter(static_cast<double>(G) * L, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_KfbRoundLinear)->Args({20, 300, 3})->Args({100, 500, 3})->Args({20, 300, 6});

void BM_KfbSampler(benchmark::State& state)
{
    const int G = static_cast<int>(state.range(0)), L = static_cast<int>(state.range(1));
    const int K = static_cast<int>(state.range(2));
    Templates t = MakeTemplates(G, L);
    for (auto _ : state) {
        g_rng.Seed(1);
        std::vector<std::vector<double>> pwm(K);
        std::vector<int> width(K, 12), siteNum(K);
        KFBSampler(g_rng, t.ptrs.data(), t.lens.data(), G, pwm, t.bg, K, width.data(), true, 6, 18, siteNum.data());
        benchmark::DoNotOptimize(pwm);
    }
    state.counters["positions/s"] = benchmark::Counter(1000.0 * G * L, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_KfbSampler)->Args({20, 300, 3})->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
