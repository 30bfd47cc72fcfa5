// Result report: per-species site summaries, end-of-run motif scores, the site files, the
// main report, the console summary line, and the side-file writers (count tables, module list).
//
// Every file is written through COutputFile (appending, every write checked); the first file
// that fails is recorded in m_sOutputError. Text from outside (command line, output name, site
// letters) is written as it is, never as a format.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>

#include "base/OutputFile.h"
#include "model/Serevan.h"
#include "numeric/SeqMotifBasic.h"

// ---------------------------------------------------------------- summaries and scores

void CSerevan::Summary()
{
    const int K = m_nMotifNum, N = m_nSpeciesNum;
    m_pSpeciesSummary.assign(N, SPECIESSUMMARY());
    for (SPECIESSUMMARY& sum : m_pSpeciesSummary) {
        sum.siteCount.assign(K + 1, 0);
        sum.baseCount.resize(K);
        for (int k = 0; k < K; ++k) sum.baseCount[k].assign(4 * static_cast<size_t>(m_pMotifWidth[k]), 0);
    }
    for (int k = 0; k < K && k < static_cast<int>(m_pOutputSite.size()); ++k) {
        const int w = m_pMotifWidth[k];
        for (const OUTPUTSITE& site : m_pOutputSite[k]) {
            if (site.species < 0 || site.species >= N) continue;
            SPECIESSUMMARY& sum = m_pSpeciesSummary[site.species];
            ++sum.siteCount[k];
            const int cols = std::min(w, static_cast<int>(site.text.size()));
            for (int j = 0; j < cols; ++j) {
                const int b = serevan::BaseCode(site.text[j]);
                if (b >= 0) ++sum.baseCount[k][4 * j + b];
            }
        }
    }
}

void CSerevan::CalMotifBayesScore(double* scores)
{
    const int K = m_nMotifNum, N = m_nSpeciesNum;
    if (static_cast<int>(m_pSpeciesSummary.size()) != N) Summary();
    if (static_cast<int>(m_pSpeciesBg.size()) != N) MSBuildBackground();
    const double logPrior = std::log(0.002);
    for (int k = 0; k < K; ++k) {
        const int w = m_pMotifWidth[k];
        double score = 0.0;
        for (int s = 0; s < N; ++s) {
            const int n = m_pSpeciesSummary[s].siteCount[k];
            const std::vector<int>& c = m_pSpeciesSummary[s].baseCount[k];
            double entropy = 0.0;  // relative entropy of the site matrix against the species background
            for (int j = 0; j < w && n > 0; ++j)
                for (int b = 0; b < 4; ++b) {
                    if (c[4 * j + b] <= 0) continue;
                    const double f = static_cast<double>(c[4 * j + b]) / n;
                    entropy += f * (std::log(f) - m_pSpeciesBg[s][b]);
                }
            const double S = n * logPrior - 1.5 * w * std::log(n + 3.0) + n * entropy;
            score = s == 0 ? S : LogSum(score, S);
        }
        scores[k] = score + 12.0 * std::log(m_nGroupNum + 3.0);
    }
}

// ---------------------------------------------------------------- report

bool CSerevan::OutputMotifSites(const double* scores)
{
    const int K = m_nMotifNum, N = m_nSpeciesNum;
    const int T = m_nIterNum - m_nBurnIn;
    const double avgLik = T > 0 ? m_dLogLikSum / T : 0.0;
    const double avgPost = T > 0 ? m_dLogPostSum / T : 0.0;
    const std::string outName = m_sOutFile.c_str();
    static const std::vector<OUTPUTSITE> kNoSites;
    auto sitesOf = [&](int k) -> const std::vector<OUTPUTSITE>& {
        return k < static_cast<int>(m_pOutputSite.size()) ? m_pOutputSite[k] : kNoSites;
    };

    // 1. One site file per motif.
    for (int k = 0; k < K; ++k) {
        const std::string name = outName + "motif" + std::to_string(k + 1) + ".txt";
        COutputFile f(name);
        for (const OUTPUTSITE& site : sitesOf(k))
            f.Print("%d\t%d\t%d\t%d\t%.3lf\t%.3lf\n", site.species, site.group, site.position, site.strand ? 1 : -1,
                    site.maxFreq, site.alignFreq);
        f.Close(m_sOutputError);
    }

    // 2. The main report.
    {
        COutputFile f(outName);
        f.Write(m_sCommandLine.c_str());
        f.Print("\nAverage likelihood=%.4lf\n", avgLik);
        f.Print("Post burn-in iterations=%d\n\n", T);
        if (!m_bMotifMode) {
            f.Write("Predicted modules:\n");
            for (int s = 0; s < N && s < static_cast<int>(m_pModuleList.size()); ++s)
                for (const MODULEREGION& module : m_pModuleList[s]) {
                    f.Print("%d\t%d\t%d\t%d\t", s, module.group, module.start, module.end);
                    for (int i = 0; i < module.siteNum; ++i) {
                        const int code = module.site[2 * i], pos = module.site[2 * i + 1];
                        f.Print(code > 0 ? "+%d(%d)" : "%d(%d)", code, pos);
                    }
                    f.Write("\n");
                }
        }
        f.Write("\n\n");
        for (int k = 0; k < K; ++k) {
            const std::vector<OUTPUTSITE>& sites = sitesOf(k);
            if (sites.empty()) {
                f.Print("\nMotif%d not found\n", k + 1);
                continue;
            }
            f.Print("\nMotif%d:%.4lf\nA\tC\tG\tT\n", k + 1, scores ? scores[k] : 0.0);
            const std::vector<double>& mat = m_pSiteMatrix[k];
            for (int j = 0; j < m_pMotifWidth[k]; ++j) {
                for (int b = 0; b < 4; ++b) f.Print("%.3lf\t", mat[4 * j + b]);
                f.Write("\n");
            }
            f.Write("\nSites:\n");
            for (const OUTPUTSITE& site : sites) {
                f.Print(">%d\t%d\t%d\t%d\t%.3lf\t%.3lf\n", site.species, site.group, site.position,
                        site.strand ? 1 : -1, site.maxFreq, site.alignFreq);
                f.Write(site.text);
                f.Write("\n");
            }
        }
        f.Close(m_sOutputError);
    }

    // 3. The console line.
    std::fputs(outName.c_str(), stdout);
    std::printf("\t%.4lf\t%.4lf\n", avgLik, avgPost);
    return m_sOutputError.empty();
}

// ---------------------------------------------------------------- side files

void CSerevan::NoteOutput(bool ok, const CString& file)
{
    if (!ok && m_sOutputError.empty()) m_sOutputError = file.c_str();
}

int CSerevan::MaxSeqLen() const
{
    int L = 0;
    for (const std::vector<int>& lens : m_pSeqLen)
        for (int len : lens) L = std::max(L, len);
    return L;
}

bool CSerevan::WriteCountTable(const CString& fileName, const std::vector<std::vector<int>>& counts) const
{
    COutputFile f(fileName.c_str());
    const int N = m_nSpeciesNum, G = m_nGroupNum, L = MaxSeqLen();
    std::string line;
    char num[16];
    for (int s = 0; s < N; ++s)
        for (int g = 0; g < G; ++g) {
            const size_t slot = static_cast<size_t>(s) * G + g;
            const int* c = slot < counts.size() ? counts[slot].data() : nullptr;
            const int have = c ? std::min(m_pSeqLen[s][g], static_cast<int>(counts[slot].size())) : 0;
            line.clear();
            for (int j = 0; j < L; ++j) {
                if (j < have) {
                    const std::to_chars_result r = std::to_chars(num, num + sizeof num, c[j]);
                    line.append(num, r.ptr);
                    line.push_back('\t');
                } else {
                    line.append("0\t");
                }
            }
            line.push_back('\n');
            f.Write(line);
        }
    return f.Close();
}

bool CSerevan::WriteModuleList(const CString& fileName) const
{
    COutputFile f(fileName.c_str());
    for (int s = 0; s < static_cast<int>(m_pModuleList.size()); ++s)
        for (const MODULEREGION& module : m_pModuleList[s])
            f.Print("%d\t%d\t%d\t%d\n", s, module.group, module.start, module.end);
    return f.Close();
}
