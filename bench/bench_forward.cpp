// Forward summation and one backward sample of module states on one orthologous group:
// N species of about L residues each, aligned at random with about 10% gaps (in runs of
// mean length 3), K = 3 motifs of width 12 on both strands.
//
// Arguments of every benchmark: N, L, seed. Counters: time per node (forward plus one
// backward pass), nodes, and the size of the forward table in KiB.
//   ./build/bench/bench_forward --benchmark_counters_tabular=true
//
// 2026-12-06, Intel Xeon (2 cores, shared), Release, median of 3, about 1,110 nodes:
//   forward + one backward   N=3 0.54 us/node   N=4 0.64 us/node   N=5 0.89 us/node
//   forward alone            N=3 0.20           N=4 0.22           N=5 0.30
//   backward alone           N=3 0.31           N=4 0.40           N=5 0.58
//   direct reference kernels N=3 1.73                              N=5 2.25
//   forward table            N=3 69 KiB         N=4 139 KiB        N=5 278 KiB
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "align/AlignPath.h"
#include "model/Serevan.h"
#include "numeric/StochasticDistribution.h"
#include "tests/support/Probe.h"

using P = CSerevanProbe;

// The benchmark's random stream.
static CRandomStream g_rng;

namespace {

class Group {
public:
    ModelGroups groups;  // one group, its one alignment
    std::unique_ptr<CSerevan> model;
    std::vector<std::vector<double>> tableStore;
    std::vector<double*> table;
    std::vector<double> fwd;
    int N = 0, nStates = 0, nNode = 0;

    Group(int nSpecies, int length, unsigned seed)
    {
        N = nSpecies;
        nStates = 1 << N;
        std::mt19937 rng(seed);
        std::uniform_real_distribution<double> U(0.0, 1.0);
        // Gap runs start with probability 0.037 and continue with 2/3: 10% gaps at equilibrium.
        std::vector<std::vector<int>> aligned(N);
        std::vector<bool> inGap(N, false);
        const int cols = static_cast<int>(length / 0.9);
        for (int c = 0; c < cols; ++c) {
            const int base = static_cast<int>(rng() % 4);
            for (int s = 0; s < N; ++s) {
                inGap[s] = inGap[s] ? U(rng) < 2.0 / 3 : U(rng) < 0.037;
                // Orthologous bases: mostly the column's base, sometimes substituted.
                aligned[s].push_back(inGap[s] ? 4 : (U(rng) < 0.8 ? base : static_cast<int>(rng() % 4)));
            }
        }
        groups.N = N;
        groups.G = groups.A = 1;
        groups.alignPath.resize(1);
        std::vector<int> len;
        AlignmentToPath(aligned, N, groups.alignPath[0], len, groups.seq);
        nNode = PathNodeNum(groups.alignPath[0]);
        groups.names.assign(N, CString("s"));
        ModelSettings settings;
        settings.nSpeciesNum = N;
        settings.nMotifNum = 3;
        model = std::make_unique<CSerevan>(settings, groups, ModelStart{}, g_rng);  // width 12 from the default bounds
        CSerevan& m = *model;
        for (int k = 0; k < 3; ++k)  // skewed random matrices
            for (int j = 0; j < 12; ++j) {
                double v[4], sum = 0;
                for (double& x : v) sum += (x = std::pow(U(rng), 2.0) + 0.01);
                for (int b = 0; b < 4; ++b) P::Par(m).m_pPWM[k][4 * j + b] = std::log(v[b] / sum);
            }
        P::CalMotifPhi(m);
        P::MSBuildBackground(m);
        tableStore.resize(N);
        for (int s = 0; s < N; ++s) {
            tableStore[s].assign(static_cast<size_t>(7) * groups.Len(s, 0), 0.0);
            table.push_back(tableStore[s].data());
        }
        P::CalLogPrPos(m, table.data(), 0);
        fwd.assign(static_cast<size_t>(nNode + 1) * nStates, 0.0);
    }

    double Forward()
    {
        return P::PathForwardSummation(*model, fwd.data(), table.data(), groups.alignPath[0].data(), 0, nNode + 1,
                                       nStates);
    }
    void Backward() { P::PathBackwardSample(*model, fwd.data(), table.data(), groups.alignPath[0].data(), 0, nStates); }
};

void SetCounters(benchmark::State& state, const Group& g)
{
    state.counters["per_node"] = benchmark::Counter(
        static_cast<double>(g.nNode), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["nodes"] = g.nNode;
    state.counters["fwd_KiB"] = static_cast<double>(g.fwd.size() * sizeof(double)) / 1024.0;
}

std::unique_ptr<Group> MakeGroup(const benchmark::State& state)
{
    g_rng.Seed(static_cast<unsigned>(state.range(2)));
    return std::make_unique<Group>(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)),
                                   static_cast<unsigned>(state.range(2)));
}

// The sampler's step for one group: forward summation and one backward sample.
void BM_ForwardBackward(benchmark::State& state)
{
    auto g = MakeGroup(state);
    for (auto _ : state) {
        P::ClearSuffStat(*g->model);
        benchmark::DoNotOptimize(g->Forward());
        g->Backward();
    }
    SetCounters(state, *g);
}

void BM_Forward(benchmark::State& state)
{
    auto g = MakeGroup(state);
    for (auto _ : state) benchmark::DoNotOptimize(g->Forward());
    SetCounters(state, *g);
}

void BM_Backward(benchmark::State& state)
{
    auto g = MakeGroup(state);
    g->Forward();
    for (auto _ : state) {
        P::ClearSuffStat(*g->model);
        g->Backward();
    }
    SetCounters(state, *g);
}

// The same step through the direct reference functions, for comparison.
void BM_ForwardBackwardDirect(benchmark::State& state)
{
    auto g = MakeGroup(state);
    CSerevanProbe::UseDirectKernels(*g->model, true);
    for (auto _ : state) {
        P::ClearSuffStat(*g->model);
        benchmark::DoNotOptimize(g->Forward());
        g->Backward();
    }
    SetCounters(state, *g);
}

}  // namespace

BENCHMARK(BM_ForwardBackward)
    ->Args({3, 1000, 1})
    ->Args({4, 1000, 1})
    ->Args({5, 1000, 1})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Forward)->Args({3, 1000, 1})->Args({4, 1000, 1})->Args({5, 1000, 1})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Backward)->Args({3, 1000, 1})->Args({4, 1000, 1})->Args({5, 1000, 1})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ForwardBackwardDirect)->Args({3, 1000, 1})->Args({5, 1000, 1})->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
