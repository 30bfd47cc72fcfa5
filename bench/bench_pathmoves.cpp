// One iteration's path moves on one orthologous group, as the main loop makes them: the
// plain re-sampling of module states on the current alignment, the Metropolis-Hastings
// switch to a stored proposal, and the regeneration of the 19 proposals. The group is made
// as a run makes it: N species of about L residues (an ancestor mutated 10% per species,
// with small indels), aligned by CMultiAlignment with 20 candidate alignments; K = 3 motifs
// of width 12, both strands.
//
// Arguments: N, L, seed.   ./build/bench/bench_pathmoves
//
// 2026-12-06, Intel Xeon (2 cores, shared), Release, N=3, L=800 (838 nodes):
//   plain re-sampling (SampleSeqGivenPath)           0.75 ms per group
//   Metropolis-Hastings move (SampleSeqPathMH)       1.06 ms per group
//   regeneration of 19 proposals (GenAlignGivenPhi)  22.6 ms per group, once every 19 moves
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "align/MultiAlign.h"
#include "model/Serevan.h"
#include "numeric/SeqMotifBasic.h"
#include "numeric/StochasticDistribution.h"
#include "tests/support/Probe.h"

using P = CSerevanProbe;

// The benchmark's random stream.
static CRandomStream g_rng;

namespace {

class Group {
public:
    static constexpr int kAlign = 20;
    ModelGroups groups;  // one group and its stored alignments
    std::unique_ptr<CSerevan> model;

    Group(int N, int L, unsigned seed)
    {
        std::mt19937 rng(seed);
        std::uniform_int_distribution<int> base(0, 3);
        std::uniform_real_distribution<double> U(0, 1);
        std::vector<int> anc(L);
        for (int& b : anc) b = base(rng);
        groups.N = N;
        groups.G = 1;
        groups.A = kAlign;
        groups.seq.resize(N);
        std::vector<const int*> seqPtr;
        std::vector<int> len;
        for (int s = 0; s < N; ++s) {
            for (int i = 0; i < L; ++i) {
                if (U(rng) < 0.005) continue;                            // deletion
                if (U(rng) < 0.005) groups.seq[s].push_back(base(rng));  // insertion
                groups.seq[s].push_back(U(rng) < 0.1 ? base(rng) : anc[i]);
            }
            seqPtr.push_back(groups.seq[s].data());
            len.push_back(static_cast<int>(groups.seq[s].size()));
        }
        groups.names.assign(N, CString("seq"));

        g_rng.Seed(seed);
        CMultiAlignment align;
        align.InputSequences(seqPtr.data(), len.data(), N);
        groups.alignPath.resize(kAlign);
        groups.alignScore.resize(kAlign);
        groups.alignInfo.resize(3 * kAlign);
        align.GenerateTemplates(g_rng, 0);
        align.ProduceAlignments(g_rng, 0, 2, 0, nullptr);
        align.ProduceIndAlign(g_rng, 0, align.m_dPhi[2], kAlign, groups.alignPath.data(), groups.alignScore.data(),
                              groups.alignInfo.data());
        groups.templ.push_back(align.m_pTemplate[0]);
        if (groups.templ[0].empty()) groups.templ[0].assign(10, -1);

        ModelSettings settings;
        settings.nSpeciesNum = N;
        settings.nMotifNum = 3;
        ModelStart start;
        start.width.assign(3, 12);
        start.pwm.assign(3, std::vector<double>(48));
        for (auto& mtx : start.pwm)
            for (int j = 0; j < 12; ++j) {
                double v[4], sum = 0;
                for (double& x : v) sum += (x = std::pow(U(rng), 3.0) + 0.01);
                for (int b = 0; b < 4; ++b) mtx[4 * j + b] = std::log(v[b] / sum);
            }
        model = std::make_unique<CSerevan>(settings, groups, start, g_rng);
        P::MSBuildBackground(*model);
    }
};

void BM_PlainResampling(benchmark::State& state)
{
    Group grp(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)),
              static_cast<unsigned>(state.range(2)));
    for (auto _ : state) {
        P::ClearSuffStat(*grp.model);
        benchmark::DoNotOptimize(P::SampleSeqGivenPath(*grp.model, 0));
    }
    state.counters["nodes"] = PathNodeNum(grp.groups.alignPath[0]);
}

void BM_MetropolisHastings(benchmark::State& state)
{
    Group grp(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)),
              static_cast<unsigned>(state.range(2)));
    int proposal = 1;
    for (auto _ : state) {
        P::ClearSuffStat(*grp.model);
        benchmark::DoNotOptimize(P::SampleSeqPathMH(*grp.model, 0, proposal));
        proposal = proposal % (Group::kAlign - 1) + 1;
    }
}

void BM_Regeneration(benchmark::State& state)
{
    Group grp(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)),
              static_cast<unsigned>(state.range(2)));
    for (auto _ : state) P::GenAlignGivenPhi(*grp.model, 0);
}

}  // namespace

BENCHMARK(BM_PlainResampling)->Args({3, 800, 1})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MetropolisHastings)->Args({3, 800, 1})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Regeneration)->Args({3, 800, 1})->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
