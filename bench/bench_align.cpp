// Alignment benchmarks: the pair HMM (forward table plus 100 tracebacks) and the whole
// alignment of one group as the de novo driver makes it.
//
//   ./build/bench/bench_align [--benchmark_repetitions=9 --benchmark_report_aggregates_only=true]
//
// Sequences: a random ancestor (fixed seed 7) mutated ~10% per species (substitutions,
// deletions, insertions). Counters: cells/s of the forward table and the peak resident set
// (process-wide, so run one benchmark per process to read a peak of its own).
//
// Results, 2-core VM (AMD EPYC, fuzzers on the other core), GCC 12 -O3, 2026-12-07, one run each:
//   QPhiAlign 1000 x 1000, 100 draws    10.5 ms   (21.5 ms recorded before the linear traceback,
//                                                  on a 2-core Xeon host)
//   QPhiAlign 2000 x 2000, 100 draws    37.6 ms   (63.9 ms recorded before)
//   ForwardFill 1000 / 2000              6.7 / 28.5 ms   (149 / 140 M cells/s, AVX-512 clone)
//   LogSpaceFill 1000 (the definition)  81.6 ms   (12 M cells/s)
//   GroupAlignment 3 x 1000 residues     116 ms   (178 ms recorded before; 20 fills, 275 tracebacks)
// The traceback draws from the cell weights in linear form (no log or exp per step), and
// the five refinement passes, one traceback a fill, keep checkpoints instead of packing the
// table; the group alignment is now bound by the forward fills. (Peak RSS here is
// process-wide: run one benchmark per process to read a peak of its own.)
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdlib>
#include <vector>

#include "align/MultiAlign.h"
#include "align/PairAlign.h"
#include "numeric/StochasticDistribution.h"

// The benchmark's random stream.
static CRandomStream g_rng;

namespace {

std::vector<int> Ancestor(int len)
{
    std::vector<int> s(static_cast<size_t>(len));
    for (int& c : s) c = g_rng.Next() % 4;
    return s;
}

// About 10% of residues changed: 6% substituted, 2% deleted, 2% followed by an insertion.
std::vector<int> Mutate(const std::vector<int>& seq)
{
    std::vector<int> out;
    for (int c : seq) {
        int r = g_rng.Next() % 1000;
        if (r < 60)
            out.push_back(g_rng.Next() % 4);
        else if (r < 80)
            continue;
        else
            out.push_back(c);
        if (g_rng.Next() % 1000 < 20) out.push_back(g_rng.Next() % 4);
    }
    return out;
}

double PeakRssMiB()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_maxrss) / 1024.0;
}

void BM_QPhiAlign(benchmark::State& state)
{
    const int len = static_cast<int>(state.range(0));
    const int draws = static_cast<int>(state.range(1));
    std::srand(7);
    std::vector<int> anc = Ancestor(len);
    std::vector<int> a = Mutate(anc), b = Mutate(anc);
    a.resize(static_cast<size_t>(len), 0);
    b.resize(static_cast<size_t>(len), 0);
    CMultiAlignment model;  // for its level-2 log-odds table
    std::vector<int> c1(static_cast<size_t>(len)), c2(static_cast<size_t>(len));
    CPairForward table;
    g_rng.Seed(7);
    for (auto _ : state) {
        bool ok = QPhiAlign(g_rng, a.data(), b.data(), len, len, model.m_dQ, model.m_dPhi[2], draws, c1.data(),
                            c2.data(), 0, nullptr, nullptr, &table);
        benchmark::DoNotOptimize(ok);
    }
    state.counters["cells/s"] =
        benchmark::Counter(static_cast<double>(len + 1) * (len + 1), benchmark::Counter::kIsIterationInvariantRate);
    state.counters["peakRSS_MiB"] = PeakRssMiB();
    state.counters["fast"] = table.Fast();
}
BENCHMARK(BM_QPhiAlign)->Args({1000, 100})->Args({2000, 100})->Unit(benchmark::kMillisecond);

// Forward table alone, to split the cost between the fill and the tracebacks.
void BM_ForwardFill(benchmark::State& state)
{
    const int len = static_cast<int>(state.range(0));
    std::srand(7);
    std::vector<int> anc = Ancestor(len);
    std::vector<int> a = Mutate(anc), b = Mutate(anc);
    a.resize(static_cast<size_t>(len), 0);
    b.resize(static_cast<size_t>(len), 0);
    CMultiAlignment model;
    CPairForward table;
    for (auto _ : state) {
        bool ok = table.Fill(a.data(), b.data(), len, len, model.m_dQ, model.m_dPhi[2]);
        benchmark::DoNotOptimize(ok);
    }
    state.counters["cells/s"] =
        benchmark::Counter(static_cast<double>(len + 1) * (len + 1), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ForwardFill)->Arg(1000)->Arg(2000)->Unit(benchmark::kMillisecond);

// The log-space definition, for comparison with the fast fill.
void BM_LogSpaceFill(benchmark::State& state)
{
    const int len = static_cast<int>(state.range(0));
    std::srand(7);
    std::vector<int> anc = Ancestor(len);
    std::vector<int> a = Mutate(anc), b = Mutate(anc);
    a.resize(static_cast<size_t>(len), 0);
    b.resize(static_cast<size_t>(len), 0);
    CMultiAlignment model;
    std::vector<double> F(3 * static_cast<size_t>(len + 1) * static_cast<size_t>(len + 1));
    for (auto _ : state) {
        QPhiSummation(a.data(), b.data(), len + 1, len + 1, model.m_dQ, model.m_dPhi[2], F.data());
        benchmark::DoNotOptimize(F.data());
    }
    state.counters["cells/s"] =
        benchmark::Counter(static_cast<double>(len + 1) * (len + 1), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_LogSpaceFill)->Arg(1000)->Unit(benchmark::kMillisecond);

// One group of 3 species as the de novo driver aligns it: template, five refinement passes,
// then 20 multiple alignments with scores.
void BM_GroupAlignment(benchmark::State& state)
{
    const int len = static_cast<int>(state.range(0));
    const int N = 3;
    std::srand(7);
    std::vector<int> anc = Ancestor(len);
    std::vector<std::vector<int>> seqs;
    for (int s = 0; s < N; ++s) seqs.push_back(Mutate(anc));
    std::vector<int*> ptr;
    std::vector<int> lens;
    for (auto& s : seqs) {
        ptr.push_back(s.data());
        lens.push_back(static_cast<int>(s.size()));
    }
    g_rng.Seed(7);
    int templateLen = 0;
    for (auto _ : state) {
        CMultiAlignment ma;
        ma.InputSequences(ptr.data(), lens.data(), N);
        bool ok = ma.GenerateTemplates(g_rng, 0) && ma.ProduceAlignments(g_rng, 0, 2, 0, nullptr);
        std::vector<ALIGNPATH> paths(20);
        std::vector<double> score(20);
        std::vector<int> subst(60);
        ok = ok && ma.ProduceIndAlign(g_rng, 0, ma.m_dPhi[2], 20, paths.data(), score.data(), subst.data());
        templateLen = ma.m_pTemplateLen[0];
        benchmark::DoNotOptimize(ok);
    }
    state.counters["templateLen"] = templateLen;
    state.counters["peakRSS_MiB"] = PeakRssMiB();
}
BENCHMARK(BM_GroupAlignment)->Arg(1000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
