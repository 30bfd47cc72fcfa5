// Site and module calls: turns the posterior counts of the sampling phase into called motif
// sites (one per stretch, placed by the site sampler) and called modules.
//
// Sections: thresholds and stretches; motif sites; modules.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "model/Serevan.h"
#include "motif/GMSampler.h"
#include "numeric/SeqMotifBasic.h"

using serevan::IsBase;

namespace {

constexpr char kLetters[] = "ACGT";

// Signed motif code of a called site: k + 1 on the given strand, -(k + 1) on the reverse.
int SiteCode(int k, bool strand)
{
    return strand ? k + 1 : -(k + 1);
}

}  // namespace

// ---------------------------------------------------------------- thresholds and stretches

int CSerevan::CallThreshold(int T, double cutoff)
{
    if (T <= 0) return INT_MAX;
    return static_cast<int>(T * cutoff) + 1;
}

void CSerevan::FindStretches(const std::vector<int>& counts, int t, int species, int group, std::vector<SEQREGION>& out)
{
    const int L = static_cast<int>(counts.size());
    bool open = false;
    SEQREGION r;
    r.species = species;
    r.group = group;
    for (int j = 0; j < L; ++j) {
        if (!open) {
            if (counts[j] >= t && j < L - 1) {
                open = true;
                r.start = j;
            }
        } else if (counts[j] < t || j == L - 1) {
            open = false;
            r.end = j;
            out.push_back(r);
        }
    }
}

bool CSerevan::WidenStretch(SEQREGION& r, int W, int L)
{
    if (L < W || L <= 0) return false;
    int a = r.start - 3, b = r.end + 3;
    if (b - a + 1 < W) {
        const int h = (W - (b - a + 1)) / 2;
        a -= h + 1;
        b += h + 1;
    }
    a = std::max(a, 0);
    b = std::min(b, L - 1);
    // Clamping at one end of the sequence can leave fewer than W positions, which would give
    // the site sampler no window: take the missing ones on the other side.
    if (b - a + 1 < W) {
        if (a == 0)
            b = W - 1;
        else
            a = L - W;
    }
    r.start = a;
    r.end = b;
    return true;
}

void CSerevan::CutSegments(int k, std::vector<SEQREGION>& stretches, int W,
                           std::vector<std::vector<int>>& segments) const
{
    segments.clear();
    size_t kept = 0;
    for (size_t i = 0; i < stretches.size(); ++i) {
        SEQREGION r = stretches[i];
        const int L = m_pSeqLen[r.species][r.group];
        if (!WidenStretch(r, W, L)) {
            std::fprintf(stderr,
                         "warning: Motif%d: sequence of species %d group %d is shorter than the motif width %d; "
                         "stretch skipped\n",
                         k + 1, r.species, r.group, W);
            continue;
        }
        const int* x = m_pSeq[r.species][r.group];
        segments.emplace_back(x + r.start, x + r.end + 1);
        stretches[kept++] = r;
    }
    stretches.resize(kept);
}

RunStatus CSerevan::SitesAlreadyDefined() const
{
    return RunStatus{-1, "m_pOutputSite wrong!"};
}

const OUTPUTSITE* CSerevan::FindCalledSite(const std::vector<std::vector<OUTPUTSITE>>& sites, int k, int species,
                                           int group, int position)
{
    if (k < 0 || k >= static_cast<int>(sites.size())) return nullptr;
    for (const OUTPUTSITE& site : sites[k])
        if (site.species == species && site.group == group && site.position == position) return &site;
    return nullptr;
}

// ---------------------------------------------------------------- motif sites

void CSerevan::DefineMotifSites(int T)
{
    const int K = m_nMotifNum, N = m_nSpeciesNum, G = m_nGroupNum;
    m_res.m_pOutputSite.assign(K, std::vector<OUTPUTSITE>());
    m_bSitesDefined = true;
    if (T <= 0) return;  // no post-burn-in sample: nothing qualifies and the widths stay

    const int t = CallThreshold(T, m_set.dPostCutoff);
    std::vector<SEQREGION> stretches;
    std::vector<std::vector<int>> segments;
    std::vector<int*> segPtr;
    std::vector<int> segLen, offsets;
    bool widthChanged = false;

    for (int k = 0; k < K; ++k) {
        m_post.m_pWidthSum[k] /= T;  // now the posterior mean width
        stretches.clear();
        for (int s = 0; s < N; ++s)
            for (int g = 0; g < G; ++g) FindStretches(m_post.m_pSiteFreq[k][s * G + g], t, s, g, stretches);
        if (stretches.empty()) continue;

        const int W = static_cast<int>(m_post.m_pWidthSum[k] + 0.5);
        if (W < 1) continue;
        CutSegments(k, stretches, W, segments);
        const int R = static_cast<int>(stretches.size());
        if (R <= 2) continue;  // one or two stretches: too few to place a motif

        // Starting matrix: the current motif's leading columns, uniform beyond them.
        const int oldWidth = m_par.m_pMotifWidth[k];
        std::vector<double> matrix(4 * static_cast<size_t>(W), std::log(0.25));
        std::copy_n(m_par.m_pPWM[k].begin(), 4 * std::min(oldWidth, W), matrix.begin());

        segPtr.resize(R);
        segLen.resize(R);
        for (int i = 0; i < R; ++i) {
            segPtr[i] = segments[i].data();
            segLen[i] = static_cast<int>(segments[i].size());
        }
        offsets.assign(R, 0);
        // std::vector<bool> has no contiguous storage; the sampler writes plain bools.
        std::unique_ptr<bool[]> strands = std::make_unique<bool[]>(R);
        SimpleSampler(m_callRng ? *m_callRng : *m_stream, segPtr.data(), segLen.data(), R, matrix.data(),
                      m_par.m_pBg.data(), W, m_set.bBothStrands, offsets.data(), strands.get(), OrderBackground());

        m_par.m_pMotifWidth[k] = W;
        RenewWdParameters(k, oldWidth);
        // Keep the object's shapes consistent with the new width; the matrix is the sampler's
        // final re-estimate.
        m_par.m_pPWM[k] = matrix;
        m_sweep.m_pSiteCount[k].assign(4 * static_cast<size_t>(W), 0);
        widthChanged = true;
        ConstructSiteLink(k, stretches, R, offsets.data(), strands.get(), T);
    }
    if (widthChanged) CalMotifPhi();
}

void CSerevan::ConstructSiteLink(int k, const std::vector<SEQREGION>& stretches, int count, const int* offsets,
                                 const bool* strands, int T)
{
    const int K = m_nMotifNum, G = m_nGroupNum;
    if (static_cast<int>(m_res.m_pOutputSite.size()) < K) m_res.m_pOutputSite.resize(K);
    m_bSitesDefined = true;

    const int w = m_par.m_pMotifWidth[k];
    std::vector<double>& mat = m_res.m_pSiteMatrix[k];
    mat.assign(4 * static_cast<size_t>(w), 0.0);
    std::vector<int> window(w);
    const int n = std::min(count, static_cast<int>(stretches.size()));

    for (int i = 0; i < n; ++i) {
        const SEQREGION& r = stretches[i];
        const int s = r.species, g = r.group, slot = s * G + g;
        const int L = m_pSeqLen[s][g];
        const int pos = r.start + offsets[i];
        if (pos < 0 || pos + w > L) {
            std::fprintf(stderr,
                         "warning: Motif%d site (species %d, group %d, position %d) does not fit in the sequence; "
                         "site dropped\n",
                         k + 1, s, g, pos);
            continue;
        }
        Middle(m_pSeq[s][g], window.data(), pos, w);
        if (!strands[i]) Reverse(window.data(), w);
        if (!std::all_of(window.begin(), window.end(), IsBase)) {
            // A site over an undetermined base has no letters; dropping it keeps the rest of
            // the run's results.
            std::fprintf(stderr,
                         "warning: motif sites contains N! (Motif%d, species %d, group %d, position %d); "
                         "site dropped\n",
                         k + 1, s, g, pos);
            continue;
        }

        OUTPUTSITE site;
        site.species = s;
        site.group = g;
        site.strand = strands[i];
        site.position = pos;
        site.width = w;
        site.text.resize(w);
        int maxCount = 0;
        long long alignSum = 0;
        const std::vector<int>& siteFreq = m_post.m_pSiteFreq[k][slot];
        const std::vector<int>& alignFreq = m_post.m_pAlignFreq[slot];
        for (int j = 0; j < w; ++j) {
            site.text[j] = kLetters[window[j]];
            mat[4 * j + window[j]] += 1.0;
            maxCount = std::max(maxCount, siteFreq[pos + j]);
            alignSum += alignFreq[pos + j];
        }
        site.maxFreq = T > 0 ? static_cast<double>(maxCount) / T : 0.0;
        site.alignFreq = T > 0 ? static_cast<double>(alignSum) / (static_cast<double>(w) * T) : 0.0;
        m_res.m_pOutputSite[k].push_back(std::move(site));
    }

    for (int j = 0; j < w; ++j) {
        const double sum = mat[4 * j] + mat[4 * j + 1] + mat[4 * j + 2] + mat[4 * j + 3];
        if (sum > 0)
            for (int b = 0; b < 4; ++b) mat[4 * j + b] /= sum;
    }
}

// ---------------------------------------------------------------- modules

void CSerevan::DetermineModule(int T)
{
    const int K = m_nMotifNum, N = m_nSpeciesNum, G = m_nGroupNum;
    m_res.m_pModuleList.assign(N, std::vector<MODULEREGION>());
    if (T <= 0) return;

    // Signed motif code at every called site start; a later motif overwrites an earlier one.
    std::vector<std::vector<int>> marks(static_cast<size_t>(N) * G);
    for (int s = 0; s < N; ++s)
        for (int g = 0; g < G; ++g) marks[s * G + g].assign(m_pSeqLen[s][g], 0);
    for (int k = 0; k < K && k < static_cast<int>(m_res.m_pOutputSite.size()); ++k)
        for (const OUTPUTSITE& site : m_res.m_pOutputSite[k]) {
            if (site.species < 0 || site.species >= N || site.group < 0 || site.group >= G) continue;
            std::vector<int>& mark = marks[site.species * G + site.group];
            if (site.position >= 0 && site.position < static_cast<int>(mark.size()))
                mark[site.position] = SiteCode(k, site.strand);
        }

    const int t = CallThreshold(T, m_set.dPostCutoff);
    std::vector<SEQREGION> stretches;
    for (int s = 0; s < N; ++s)
        for (int g = 0; g < G; ++g) {
            const std::vector<int>& mark = marks[s * G + g];
            stretches.clear();
            FindStretches(m_post.m_pModuleFreq[s * G + g], t, s, g, stretches);
            for (const SEQREGION& r : stretches) {
                MODULEREGION module;
                module.group = g;
                module.start = -1;
                module.end = -1;
                for (int j = r.start; j <= r.end; ++j) {
                    const int code = mark[j];
                    if (code == 0) continue;
                    if (module.start < 0) module.start = j;
                    module.end = std::max(module.end, j + m_par.m_pMotifWidth[std::abs(code) - 1]);
                    module.site.push_back(code);
                    module.site.push_back(j);
                    ++module.siteNum;
                }
                if (module.siteNum > 0) m_res.m_pModuleList[s].push_back(std::move(module));
            }
        }
}
