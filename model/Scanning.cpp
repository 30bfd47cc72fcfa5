// Known-motif scanning: the aligned scan of one given alignment under a complete, fixed
// parameter set (score against background and, in detail, sites, modules and the module
// detail file), and the unaligned scan of the orthologous groups with given matrices.
//
// Sections: helpers; conserved columns; aligned scan; site calls of the known motifs;
// module detail file; unaligned scan.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>

#include "base/Format.h"
#include "base/Progress.h"
#include "model/Serevan.h"
#include "motif/GMSampler.h"

namespace {

// Letter of a base code; "N" for anything that is not a base.
char BaseLetter(int code)
{
    return code >= 0 && code < 4 ? "ACGT"[code] : 'N';
}

}  // namespace

// ---------------------------------------------------------------- conserved columns

void CSerevan::ConservePos(int group, int align, std::vector<std::vector<char>>& marks)
{
    const int N = m_nSpeciesNum;
    marks.resize(N);
    for (int s = 0; s < N; ++s) marks[s].assign(m_pSeqLen[s][group], 0);

    const ALIGNNODE* path = m_pAlignPath[group * m_nAlignNum + align].data();
    const int nNode = PathNodeNum(path);
    for (int i = 1; i < nNode; ++i) {
        const ALIGNNODE& node = path[i];
        const std::vector<int>& B = node.block[node.movingBlock];
        if (static_cast<int>(B.size()) != N) continue;  // not every species advances here
        const int b = m_pSeq[B[0]][group][node.pos[B[0]] - 1];
        if (b < 0 || b > 3) continue;  // undetermined bases are never conserved
        bool same = true;
        for (size_t u = 1; u < B.size() && same; ++u) same = m_pSeq[B[u]][group][node.pos[B[u]] - 1] == b;
        if (!same) continue;
        for (int s : B) marks[s][node.pos[s] - 1] = 1;
    }
}

// ---------------------------------------------------------------- aligned scan

RunResults CSerevan::Scanning(bool detail)
{
    constexpr int kSamples = 1000;  // backward samples of a detailed scan
    MSBuildBackground();
    ClearSuffStat();

    std::vector<std::vector<char>> marks;
    ConservePos(0, 0, marks);
    const double B = CalBgLikelihood(0, m_pAlignPath[0].data());
    m_post.m_bSampling = true;  // the samples below are the posterior counts
    const double F = CalFSGivenPath(0, 0);
    if (detail) {
        CProgress progress("scan sample", kSamples);
        const ALIGNNODE* path = m_pAlignPath[m_pCurAlign[0]].data();
        for (int r = 0; r < kSamples; ++r) {
            PathBackwardSample(m_work.fwdTable[0].data(), m_work.posTablePtr.data(), path, 0, 1 << m_nSpeciesNum);
            progress.Show(r + 1);
        }
    }
    const double S = F - B;
    m_post.m_dLogLikSum = S;
    m_post.m_dLogPostSum = 0.0;
    if (!detail) {
        RunResults scoreOnly;
        scoreOnly.T = 1;
        scoreOnly.avgLik = S;
        return scoreOnly;
    }

    // One "iteration" in the report, so that its average likelihood is the score.
    m_post.m_nBurnIn = 0;
    RunResults results = CallAndReport(std::move(m_post), CallPlan{kSamples, 1, true});
    if (results.status.Ok() && !m_set.bMotifMode) results.detailText = OutputDetailMod(results, marks);
    return results;
}

// ---------------------------------------------------------------- site calls of the known motifs

void CSerevan::DefineScanMotifSites(int T)
{
    const int K = m_nMotifNum, N = m_nSpeciesNum, G = m_nGroupNum;
    m_res.m_pOutputSite.assign(K, std::vector<OUTPUTSITE>());
    m_bSitesDefined = true;
    if (T <= 0) return;

    // The cutoff of the known-motif calls is one half, whatever -p says.
    const int t = CallThreshold(T, 0.5);
    std::vector<SEQREGION> stretches;
    std::vector<std::vector<int>> segments;
    std::vector<int*> segPtr;
    std::vector<int> segLen, offsets;

    for (int k = 0; k < K; ++k) {
        stretches.clear();
        for (int s = 0; s < N; ++s)
            for (int g = 0; g < G; ++g) FindStretches(m_post.m_pSiteFreq[k][s * G + g], t, s, g, stretches);
        m_res.debugLines += "finish counting\n";
        if (stretches.empty()) continue;

        // The known matrix keeps its width: every stretch is widened to it.
        const int w = m_par.m_pMotifWidth[k];
        CutSegments(k, stretches, w, segments);
        m_res.debugLines += "finish modifying link\n";
        const int R = static_cast<int>(stretches.size());
        if (R == 0) continue;

        segPtr.resize(R);
        segLen.resize(R);
        for (int i = 0; i < R; ++i) {
            segPtr[i] = segments[i].data();
            segLen[i] = static_cast<int>(segments[i].size());
        }
        offsets.assign(R, 0);
        std::unique_ptr<bool[]> strands = std::make_unique<bool[]>(R);
        SimpleScanner(segPtr.data(), segLen.data(), R, m_par.m_pPWM[k].data(), m_par.m_pBg.data(), w,
                      m_set.bBothStrands, offsets.data(), strands.get(), OrderBackground());
        ConstructSiteLink(k, stretches, R, offsets.data(), strands.get(), T);
    }
}

// ---------------------------------------------------------------- module detail file

std::string CSerevan::OutputDetailMod(const RunResults& results, const std::vector<std::vector<char>>& marks)
{
    const int G = m_nGroupNum;
    std::string text;
    for (int s = 0; s < m_nSpeciesNum && s < static_cast<int>(results.m_pModuleList.size()); ++s)
        for (const MODULEREGION& module : results.m_pModuleList[s]) {
            const int g = module.group;
            const int* x = m_pSeq[s][g];
            const std::vector<char>* mark = s < static_cast<int>(marks.size()) ? &marks[s] : nullptr;
            auto marked = [&](int p) {
                return mark && p >= 0 && p < static_cast<int>(mark->size()) && (*mark)[p] != 0;
            };
            // A module ends one past its rightmost site, which may be past the sequence's
            // end: the lines stop at the last base.
            const int last = std::min(module.end, m_pSeqLen[s][g] - 1);

            // 1. Name, bounds, and per site its best posterior and conserved share.
            text += m_pSeqName[s * G + g].c_str();
            AppendFormat(text, "\t%d\t%d\t", module.start, module.end);
            for (int i = 0; i < module.siteNum; ++i) {
                const int code = module.site[2 * i], pos = module.site[2 * i + 1];
                const int k = std::abs(code) - 1;
                const OUTPUTSITE* site = FindCalledSite(results.m_pOutputSite, k, s, g, pos);
                const int w = results.width[k];
                int conserved = 0;
                for (int j = 0; j < w; ++j) conserved += marked(pos + j) ? 1 : 0;
                AppendFormat(text, code > 0 ? "+%d(%d," : "%d(%d,", code, pos);
                AppendFormat(text, "%.2lf,%.2lf)", site ? site->maxFreq : 0.0, static_cast<double>(conserved) / w);
            }
            text += '\n';

            // 2. The module's bases.
            for (int p = module.start; p <= last; ++p) text += BaseLetter(x[p]);
            text += '\n';
            // 3. "-" under every base of a site of the module.
            std::string sites(last >= module.start ? last - module.start + 1 : 0, ' ');
            for (int i = 0; i < module.siteNum; ++i) {
                const int pos = module.site[2 * i + 1], w = results.width[std::abs(module.site[2 * i]) - 1];
                for (int p = std::max(pos, module.start); p < pos + w && p <= last; ++p) sites[p - module.start] = '-';
            }
            text += sites;
            text += '\n';
            // 4. "*" under every conserved base.
            for (int p = module.start; p <= last; ++p) text += marked(p) ? '*' : ' ';
            text += '\n';
        }
    return text;
}

// ---------------------------------------------------------------- unaligned scan

bool CSerevan::ScanSitePr(std::vector<double>& sitePr, int moduleLen)
{
    if (moduleLen < 1) return false;
    std::vector<double> pr(sitePr);
    double sum = 0.0;
    for (double& p : pr) {
        p /= moduleLen;
        sum += p;
    }
    if (!(sum < 1.0)) return false;
    pr.push_back(1.0 - sum);
    sitePr = std::move(pr);
    return true;
}

RunResults CSerevan::GibbsScanUnalign(const InfoLog& info, bool callSites)
{
    const int K = m_nMotifNum, G = m_nGroupNum;
    MSBuildBackground();
    // The widths never move: their "mean" over the samples is the given width.
    for (int k = 0; k < K; ++k) m_post.m_pWidthSum[k] = static_cast<double>(m_par.m_pMotifWidth[k]) * m_set.nMaxIterNum;
    m_post.m_bSampling = true;
    m_post.m_nBurnIn = 0;
    m_post.m_dLogLikSum = m_post.m_dLogPostSum = m_sweep.m_dLogPost = m_sweep.m_dLogLik = 0.0;

    CProgress progress("group", G);
    for (int g = 0; g < G; ++g) {
        // The statistics are not read by this loop; emptying them per group keeps their
        // counts bounded by one group's samples.
        ClearSuffStat();
        m_pCurAlign[g] = FindOptPath(g);
        // -G: the group's samples come from a stream of its own, whatever groups the run holds.
        CRandomStream groupStream(DeriveSeed(m_set.nSeed, m_firstGroup + g, kSamplingStream));
        CRandomStream* chain = m_stream;
        if (m_set.bGroupStreams) m_stream = &groupStream;
        SampleSeqGivenPath(g, m_set.nMaxIterNum);
        m_stream = chain;
        if ((g + 1) % 10 == 0 && !info("Iteration " + std::to_string(g + 2) + "\n")) {
            RunResults stopped;
            stopped.status.exitStatus = 1;
            return stopped;
        }
        progress.Show(g + 1);
    }
    const int T = m_set.nMaxIterNum;
    if (!callSites) {
        RunResults counts;
        counts.sums = std::move(m_post);
        return counts;
    }
    return CallAndReport(std::move(m_post), CallPlan{T, T, false});
}
