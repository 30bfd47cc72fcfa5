// The one model builder of the tests: groups given as gapped alignment rows (one or more
// stored alignments per group) or as plain texts, the model built by its one constructor as
// a driver builds it, and the position-score and forward tables of one group.
#pragma once

#include <cmath>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "align/AlignPath.h"
#include "model/Serevan.h"
#include "support/Probe.h"
#include "support/Support.h"

namespace support {

using P = CSerevanProbe;

struct ModelSetup {
    int K = 1;
    std::vector<int> widths;     // K widths; empty: the model's starting width
    ModelSettings param;         // every other setting; N and K are filled in
    std::vector<double> scores;  // proposal score of each stored alignment (all groups, g*A + j); empty: none
    bool templates = false;      // lend species 0 of every group as its template
    ModelStart start;            // starting parameters (widths are set from `widths`); default: uniform, -q
    // Sets further parameters on the built model (through the probe).
    std::function<void(CSerevan&)> parameters;
};

// The groups, then the model over them, then the position-score and forward tables of one group.
class Model {
public:
    int N = 0, G = 0, K = 0, A = 0, nStates = 0;
    ModelGroups groups;                           // sequences and stored alignments; outlive the model
    CSerevan m;                                   // built from them by the one constructor
    std::vector<std::vector<double>> tableStore;  // position scores of group `group`
    std::vector<double*> table;
    std::vector<double> fwd;
    int group = 0;

    Model(ModelGroups g, ModelSetup& s)
        : N(g.N),
          G(g.G),
          K(s.K),
          A(g.A),
          nStates(1 << g.N),
          groups(Complete(std::move(g), s)),
          m(Settings(s, N), groups, Start(s), TestStream())
    {
        if (s.parameters) s.parameters(m);
        P::MSBuildBackground(m);
    }

    const ALIGNPATH& Path(int g = 0, int j = 0) const { return groups.alignPath[static_cast<size_t>(g) * A + j]; }
    int NodeNum(int g = 0, int j = 0) const { return PathNodeNum(Path(g, j)); }
    int Len(int slot) const { return static_cast<int>(groups.seq[slot].size()); }

    // Column j of motif k from plain probabilities (0 becomes log zero).
    void SetColumn(int k, int j, double a, double c, double g, double t)
    {
        const double v[4] = {a, c, g, t};
        for (int b = 0; b < 4; ++b) P::Par(m).m_pPWM[k][4 * j + b] = v[b] > 0 ? std::log(v[b]) : -1e100;
    }
    // Module-state probabilities (K + 1 plain values, 0 becomes log zero).
    void SetMotifPr(const std::vector<double>& pr)
    {
        for (int k = 0; k <= K; ++k) P::Par(m).m_pMotifPr[k] = pr[k] > 0 ? std::log(pr[k]) : -1e100;
    }
    // Plain transition probabilities [from][to] (0 becomes log zero).
    void SetTran(double bb, double bm, double mb, double mm)
    {
        const double v[4] = {bb, bm, mb, mm};
        for (int i = 0; i < 4; ++i) P::Par(m).m_dTranPr[i / 2][i % 2] = v[i] > 0 ? std::log(v[i]) : -1e100;
    }

    // Recomputes the motif substitution matrices and the position scores of group g.
    void Refresh(int g = 0)
    {
        group = g;
        P::CalMotifPhi(m);
        tableStore.resize(N);
        table.resize(N);
        for (int s = 0; s < N; ++s) {
            const int L = Len(s * G + g);
            tableStore[s].assign(static_cast<size_t>(2 * K + 1) * (L > 0 ? L : 1), 0.0);
            table[s] = tableStore[s].data();
        }
        P::CalLogPrPos(m, table.data(), g);
    }
    // Forward summation over stored alignment j of the refreshed group.
    double Forward(int j = 0)
    {
        const ALIGNPATH& p = Path(group, j);
        fwd.assign(static_cast<size_t>(PathNodeNum(p) + 1) * nStates, 0.0);
        return P::PathForwardSummation(m, fwd.data(), table.data(), p.data(), group, PathNodeNum(p) + 1, nStates);
    }
    void Backward(int j = 0)
    {
        P::PathBackwardSample(m, fwd.data(), table.data(), Path(group, j).data(), group, nStates);
    }

    // Random parameters: matrices, module-state and transition probabilities, lambda, the
    // ancestral base distribution and the background substitution matrix; then Refresh.
    void Randomise(std::mt19937& rng)
    {
        ModelParameters& par = P::Par(m);
        std::uniform_real_distribution<double> U(0.05, 1.0);
        for (int k = 0; k < K; ++k)
            for (int j = 0; j < par.m_pMotifWidth[k]; ++j) {
                double v[4], sum = 0;  // skewed columns, so that sites stand out
                for (double& x : v) sum += (x = std::pow(U(rng), 3.0));
                SetColumn(k, j, v[0] / sum, v[1] / sum, v[2] / sum, v[3] / sum);
            }
        std::vector<double> pr(K + 1);
        double sum = 0;
        for (int k = 0; k < K; ++k) sum += (pr[k] = (0.1 + 0.7 * U(rng)) / (K + 1));
        pr[K] = 1.0 - sum;
        SetMotifPr(pr);
        if (!P::Settings(m).bMotifMode) {
            const double enter = 0.1 + 0.4 * U(rng), exit = 0.1 + 0.4 * U(rng);
            SetTran(1 - enter, enter, exit, 1 - exit);
        }
        par.m_dMotifSubRate = 0.05 + 0.5 * U(rng);
        double bg[4], bs = 0;
        for (double& x : bg) bs += (x = U(rng));
        for (int a = 0; a < 4; ++a) par.m_pBg[a] = std::log(bg[a] / bs);
        for (int a = 0; a < 4; ++a) {
            double r[4], rs = 0;
            for (int b = 0; b < 4; ++b) rs += (r[b] = U(rng) + (a == b ? 2.0 : 0.0));
            for (int b = 0; b < 4; ++b) par.m_dBgSubst[a][b] = std::log(r[b] / rs);
        }
        Refresh(group);
    }

private:
    // Names, proposal scores, substitution counts and (species 0 as) templates, as a driver gives them.
    static ModelGroups Complete(ModelGroups g, const ModelSetup& s)
    {
        g.names.assign(g.seq.size(), CString("seq"));
        if (g.A > 0) {
            g.alignScore = s.scores;
            g.alignInfo.assign(static_cast<size_t>(3 * g.A) * g.G, 0);
        }
        if (s.templates)  // species 0 fills the first G slots, so its rows are the templates
            g.templ.assign(g.seq.begin(), g.seq.begin() + g.G);
        return g;
    }
    static ModelSettings Settings(const ModelSetup& s, int N)
    {
        ModelSettings settings = s.param;
        settings.nSpeciesNum = N;
        settings.nMotifNum = s.K;
        return settings;
    }
    static ModelStart Start(const ModelSetup& s)
    {
        ModelStart start = s.start;
        if (start.width.empty()) start.width = s.widths;
        return start;
    }
};

// Groups as alignments: alignments[g][j] holds the N gapped rows of stored alignment j of
// group g. Every alignment of a group must spell the same sequences.
inline std::unique_ptr<Model> GroupsModel(const std::vector<std::vector<std::vector<std::string>>>& alignments,
                                          ModelSetup setup = {})
{
    ModelGroups d;
    d.G = static_cast<int>(alignments.size());
    d.A = static_cast<int>(alignments[0].size());
    d.N = static_cast<int>(alignments[0][0].size());
    const int N = d.N, G = d.G;
    d.seq.resize(static_cast<size_t>(N) * G);
    for (int g = 0; g < G; ++g)
        for (int j = 0; j < d.A; ++j) {
            std::vector<std::vector<int>> rows;
            for (const std::string& r : alignments[g][j]) rows.push_back(Codes(r));
            ALIGNPATH path;
            std::vector<int> l;
            std::vector<std::vector<int>> s;
            EXPECT_TRUE(AlignmentToPath(rows, N, path, l, s)) << "group " << g << " alignment " << j;
            for (int sp = 0; sp < N; ++sp) {
                std::vector<int>& slot = d.seq[static_cast<size_t>(sp) * G + g];
                if (j == 0) slot = s[sp];
                EXPECT_EQ(slot, s[sp]) << "alignment " << j << " of group " << g << " spells other sequences";
            }
            d.alignPath.push_back(std::move(path));
        }
    return std::make_unique<Model>(std::move(d), setup);
}

// One group with one alignment.
inline std::unique_ptr<Model> AlignedModel(const std::vector<std::string>& rows, ModelSetup setup = {})
{
    return GroupsModel({{rows}}, std::move(setup));
}

// Unaligned texts in slot order s*G + g, no stored alignment.
inline std::unique_ptr<Model> TextModel(int N, int G, const std::vector<std::string>& texts, ModelSetup setup = {})
{
    ModelGroups d;
    d.N = N;
    d.G = G;
    for (const std::string& t : texts) d.seq.push_back(Codes(t));
    return std::make_unique<Model>(std::move(d), setup);
}

// N aligned rows of about nCol columns, written in runs of equal gap patterns so that
// sites can span several nodes; undetermined bases with probability pN.
inline std::vector<std::string> RandomRows(std::mt19937& rng, int N, int nCol, double pGap, double pN)
{
    std::uniform_real_distribution<double> U(0.0, 1.0);
    const char* bases = "ACGT";
    std::vector<std::string> rows(N);
    while (static_cast<int>(rows[0].size()) < nCol) {
        std::vector<bool> adv(N);
        for (int s = 0; s < N; ++s) adv[s] = U(rng) >= pGap;
        if (std::count(adv.begin(), adv.end(), true) == 0) adv[rng() % N] = true;
        const int runLen = 1 + static_cast<int>(rng() % 3);
        for (int r = 0; r < runLen && static_cast<int>(rows[0].size()) < nCol; ++r)
            for (int s = 0; s < N; ++s) rows[s] += adv[s] ? (U(rng) < pN ? 'N' : bases[rng() % 4]) : '-';
    }
    for (int s = 0; s < N; ++s)  // every species keeps at least one residue
        if (rows[s].find_first_not_of('-') == std::string::npos) rows[s][0] = bases[rng() % 4];
    return rows;
}

}  // namespace support
