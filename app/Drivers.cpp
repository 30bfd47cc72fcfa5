// The mode drivers: read and align the groups, obtain the starting motifs, build the model
// and run its loop.
#include "app/Drivers.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>

#include "align/MultiAlign.h"
#include "app/BackgroundFile.h"
#include "app/MotifFile.h"
#include "app/MultiChain.h"
#include "app/SeqFile.h"
#include "base/Progress.h"
#include "model/Serevan.h"
#include "model/WordSeeds.h"
#include "motif/GMSampler.h"
#include "numeric/SeqMotifBasic.h"

int Refuse(const std::string& message)
{
    std::puts(message.c_str());
    return 1;
}

int RefuseUnwritten(const OutputNames& names, const std::string& failed)
{
    if (failed.empty() || failed == names.report) return Refuse("cannot write the report to " + names.report);
    return Refuse("cannot write " + failed);
}

int Stopped(const RunStatus& status, const OutputNames& names, const std::string& failed)
{
    if (status.message.empty()) return RefuseUnwritten(names, failed);
    std::puts(status.message.c_str());
    return status.exitStatus;
}

int ReadGivenMatrices(INPUTPARAMETER& param, std::vector<std::vector<double>>& pwm, std::vector<int>& width)
{
    std::string err;
    const int M = ReadKnownPWM(param.strKnownMotifFile, pwm, width, err);
    if (M > param.nMotifNum)
        err = std::string("motif file ") + param.strKnownMotifFile.c_str() + " holds " + std::to_string(M) +
              " matrices, more than the " + std::to_string(param.nMotifNum) + " motifs of -K";
    if (M < 0 || M > param.nMotifNum) {
        Refuse(err);
        return -1;
    }
    param.nKnownMotifNum = M;
    return M;
}

bool RunBackground(const INPUTPARAMETER& param, const std::vector<std::vector<int>>& seqs, CMarkovBackground& bg)
{
    bg = CMarkovBackground();
    if (param.strBgFile.GetLength() > 0) {
        std::string err;
        if (!ReadBackgroundFile(param.strBgFile, bg, err)) {
            Refuse(err);
            return false;
        }
    } else if (param.nBgOrder >= 0) {
        std::vector<const int*> ptrs;
        std::vector<int> lens;
        for (const std::vector<int>& x : seqs) {
            ptrs.push_back(x.data());
            lens.push_back(static_cast<int>(x.size()));
        }
        bg.Estimate(param.nBgOrder, ptrs.data(), lens.data(), static_cast<int>(seqs.size()));
    }
    return true;
}

bool ReadGroups(const INPUTPARAMETER& p, int nSeq, ModelGroups& d, int first, int count)
{
    std::string err;
    d.N = p.nSpeciesNum;
    d.G = count >= 0 ? count : nSeq / d.N;
    d.firstGroup = first;
    if (!ReadinGroups(p.strSeqFile, nSeq, d.N, first, d.G, d.names, d.seq, err, p.bSoftMask)) {
        Refuse(err);
        return false;
    }
    long long residues = 0;
    for (const std::vector<int>& x : d.seq) residues += static_cast<long long>(x.size());
    if (residues == 0) {
        Refuse(std::string("the sequences of ") + p.strSeqFile.c_str() + " are all empty: there is nothing to sample");
        return false;
    }
    if (!RunBackground(p, d.seq, d.bg)) return false;
    // Every group's forward tables must fit before any work starts.
    for (int g = 0; g < d.G; ++g) {
        std::vector<const int*> seqs(d.N);
        std::vector<int> lens(d.N);
        for (int s = 0; s < d.N; ++s) {
            seqs[s] = d.seq[s * d.G + g].data();
            lens[s] = d.Len(s, g);
        }
        CMultiAlignment check;
        check.InputSequences(seqs.data(), lens.data(), d.N);
        std::string msg;
        if (!check.CheckMemory(0, msg)) {
            Refuse("group " + std::to_string(d.firstGroup + g) + ": " + msg);
            return false;
        }
    }
    return true;
}

namespace {

// What a record order that is not species-major, or a wrong -N, looks like; said once.
std::vector<std::string>& LayoutWarnings()
{
    static std::vector<std::string> said;
    return said;
}

void WarnLayout(const std::string& symptom)
{
    const std::string text =
        "warning: " + symptom +
        ": the input looks mis-ordered or -N is wrong (records must be species-major: all groups of species 1 in "
        "group order, then all groups of species 2 in the same order, and so on; serevan-prep writes this layout "
        "from a MAF file or from one FASTA file per group)";
    std::fprintf(stderr, "%s\n", text.c_str());
    LayoutWarnings().push_back(text);
}

}  // namespace

void RepeatLayoutWarnings()
{
    for (const std::string& text : LayoutWarnings())
        std::fprintf(stderr, "%s (said above; the run went on)\n", text.c_str());
    LayoutWarnings().clear();
}

bool AlignGroups(ModelGroups& d, int A, CRandomStream& rng, const unsigned* groupSeed)
{
    const int N = d.N, G = d.G;
    // Orthologous sequences of very different lengths in most groups: records out of order.
    int uneven = 0;
    for (int g = 0; g < G; ++g) {
        int shortest = d.Len(0, g), longest = d.Len(0, g);
        for (int s = 1; s < N; ++s) {
            shortest = std::min(shortest, d.Len(s, g));
            longest = std::max(longest, d.Len(s, g));
        }
        if (longest > 3LL * shortest) ++uneven;
    }
    if (2 * uneven > G)
        WarnLayout("in " + std::to_string(uneven) + " of " + std::to_string(G) +
                   " groups the orthologous sequences differ in length by more than a factor of 3");
    int noTemplate = 0;
    d.A = A;
    d.alignPath.assign(static_cast<size_t>(A) * G, ALIGNPATH());
    d.alignScore.assign(static_cast<size_t>(A) * G, 0.0);
    d.alignInfo.assign(static_cast<size_t>(3 * A) * G, 0);
    d.templ.assign(G, std::vector<int>());
    std::vector<const int*> seqs(N);
    std::vector<int> lens(N);
    CProgress progress("aligning group", G);
    CPairForward table;  // one forward-table workspace for every group
    for (int g = 0; g < G; ++g) {
        for (int s = 0; s < N; ++s) {
            seqs[s] = d.seq[s * G + g].data();
            lens[s] = d.Len(s, g);
        }
        progress.Show(g);
        CRandomStream own(groupSeed ? DeriveSeed(*groupSeed, d.firstGroup + g, kAlignmentStream) : 0);
        CRandomStream& draws = groupSeed ? own : rng;
        CMultiAlignment align;
        align.SwapTable(table);
        align.InputSequences(seqs.data(), lens.data(), N);
        const size_t slot = static_cast<size_t>(g) * A;
        if (!align.GenerateTemplates(draws, 0) || !align.ProduceAlignments(draws, 0, 2, 0, nullptr) ||
            !align.ProduceIndAlign(draws, 0, align.m_dPhi[2], A, &d.alignPath[slot], &d.alignScore[slot],
                                   &d.alignInfo[3 * slot])) {
            Refuse("group " + std::to_string(d.firstGroup + g) + ": " + align.ErrorText());
            return false;
        }
        if (align.m_pTemplateLen[0] < 1) {
            d.templ[g].assign(10, -1);
            std::string names;
            for (int s = 0; s < N; ++s) names += std::string(s ? ", " : "") + d.names[s * G + g].c_str();
            std::printf("no conserved template found! (group %d: %s)\n", d.firstGroup + g, names.c_str());
            ++noTemplate;
        } else {
            d.templ[g] = align.m_pTemplate[0];
        }
        align.SwapTable(table);
    }
    if (4 * noTemplate > G)
        WarnLayout(std::to_string(noTemplate) + " of " + std::to_string(G) + " groups have no conserved template");
    // A wrong -N that divides the record count pairs species 0 with unrelated sequence: on the
    // first stored alignment, the bases of species s aligned with species 0 match no better
    // than chance. Related orthologues (even 30 % diverged) match in about three aligned bases
    // of four, unrelated DNA in about two of five.
    std::vector<int> unrelated(N, 0);
    for (int g = 0; g < G && A > 0; ++g) {
        const ALIGNPATH& path = d.alignPath[static_cast<size_t>(g) * A];
        std::vector<long> same(N, 0), aligned(N, 0);
        for (int t = 1; t < PathNodeNum(path); ++t) {
            const ALIGNNODE& node = path[t];
            const std::vector<int>& B = node.block[node.movingBlock];
            if (B.empty() || B[0] != 0) continue;  // species 0 is the smallest index of its block
            const int b0 = d.seq[g][node.pos[0] - 1];
            for (size_t i = 1; i < B.size(); ++i) {
                const int s = B[i], b = d.seq[static_cast<size_t>(s) * G + g][node.pos[s] - 1];
                if (b0 < 0 || b0 > 3 || b < 0 || b > 3) continue;
                ++aligned[s];
                same[s] += b == b0;
            }
        }
        for (int s = 1; s < N; ++s) {
            const long shorter = std::min(d.Len(0, g), d.Len(s, g));
            // Unrelated: under a quarter of the shorter sequence aligned, or aligned bases
            // matching in fewer than 55 of 100.
            if (4 * aligned[s] < shorter || 100 * same[s] < 55 * aligned[s]) ++unrelated[s];
        }
    }
    std::string odd;
    for (int s = 1; s < N; ++s)
        if (2 * unrelated[s] > G) odd += (odd.empty() ? "" : ", ") + std::to_string(s);
    if (!odd.empty())
        WarnLayout("in most groups species " + odd +
                   " look unrelated to species 0 (their aligned bases match no better than chance)");
    return true;
}

int RunModuleSample(INPUTPARAMETER* param, int nSeq, const OutputNames& names, CRandomStream& rng)
{
    const int K = param->nMotifNum;
    ModelGroups d;
    if (!ReadGroups(*param, nSeq, d)) return 1;

    // Motif mode starts every motif at 1 / (mean length) unless -q says otherwise.
    if (param->bMotifMode && !param->bMotifPr) {
        long long total = 0;
        for (const std::vector<int>& x : d.seq) total += static_cast<long long>(x.size());
        const long long mean = total / (static_cast<long long>(d.N) * d.G);
        if (mean < 1) return Refuse("the sequences are empty: no motif can be sampled");
        if (K >= mean)
            return Refuse("-K must be below the mean sequence length (" + std::to_string(mean) +
                          ") in motif mode (the module background needs a positive probability)");
    }

    // Given matrices are read before the long alignment stage, so a bad file fails at once.
    ModelStart start;
    if (param->bKnownMotif && ReadGivenMatrices(*param, start.pwm, start.width) < 0) return 1;

    if (!AlignGroups(d, 20, rng)) return 1;

    std::vector<const int*> templ;
    std::vector<int> templLen;
    for (const std::vector<int>& t : d.templ) {
        templ.push_back(t.data());
        templLen.push_back(static_cast<int>(t.size()));
    }
    double bg[20];
    BuildBackground(templ.data(), templLen.data(), d.G, bg);

    // The starting motifs: the given matrices (-A; uniform for the rest), or those the
    // starting-motif sampler finds in the templates with the chain's stream. Each chain's
    // smallest width (-a, else -w) bounds its starting matrices as it bounds its width moves.
    // With -D the words are ranked once; chain c starts from the c-th matrix they give on.
    WordSeedSettings wordSettings;
    wordSettings.bothStrands = param->bBothStrands;
    wordSettings.localBg = param->dLocalBg;
    // SeedMatrices passes over words similar to those taken, so -j matrices may need more words.
    wordSettings.maxWords = std::max(wordSettings.maxWords, 4 * param->nWordChoice);
    const std::vector<ConservedWord> words =
        param->bWordSeeds ? ConservedWords(d, d.bg, wordSettings) : std::vector<ConservedWord>{};
    // With -j every chain chooses its starting motifs among the matrices of the first words,
    // made once for each smallest width the chains use.
    struct WordMatrices {
        std::vector<std::vector<double>> pwm;
        std::vector<int> width;
        std::vector<std::vector<int>> word;
    };
    std::map<int, WordMatrices> wordMatrices;
    for (int c = 0; c < param->nChains && param->nWordChoice > 0; ++c) {
        const int minWidth = param->MinWidthOf(c);
        if (wordMatrices.count(minWidth)) continue;
        WordMatrices& m = wordMatrices[minWidth];
        std::vector<int> used;
        const int made = SeedMatrices(d, d.bg, words, wordSettings, param->nWordChoice, 0, minWidth,
                                      param->nMaxMotifWidth, m.pwm, m.width, &used);
        m.pwm.resize(made);
        m.width.resize(made);
        for (int i = 0; i < made; ++i) m.word.push_back(words[used[i]].word);
    }
    const ChainStart startOf = [&](CRandomStream& stream, int chain) {
        const int minWidth = param->MinWidthOf(chain);
        ModelStart s = start;
        if (auto m = wordMatrices.find(minWidth); m != wordMatrices.end()) {
            s.wordPwm = m->second.pwm;
            s.wordWidth = m->second.width;
            s.word = m->second.word;
        }
        s.wordFirst = chain;
        if (param->bWordSeeds) {
            const int known = static_cast<int>(s.pwm.size());
            std::vector<std::vector<double>> pwm;
            std::vector<int> width;
            SeedMatrices(d, d.bg, words, wordSettings, K - known, chain, minWidth, param->nMaxMotifWidth, pwm, width);
            s.pwm.insert(s.pwm.end(), pwm.begin(), pwm.end());
            s.width.insert(s.width.end(), width.begin(), width.end());
        } else {
            const int startWidth = (minWidth + param->nMaxMotifWidth) / 2;
            if (param->bKnownMotif) {
                for (int k = param->nKnownMotifNum; k < K; ++k) {
                    s.width.push_back(startWidth);
                    s.pwm.emplace_back(4 * startWidth, std::log(0.25));
                }
            } else {
                s.width.assign(K, startWidth);
                s.pwm.assign(K, std::vector<double>(4 * startWidth, 0.0));
                std::vector<int> siteNum(K, 0);
                KFBSampler(stream, templ.data(), templLen.data(), d.G, s.pwm, bg, K, s.width.data(),
                           param->bBothStrands, minWidth, param->nMaxMotifWidth, siteNum.data(), &d.bg);
            }
        }
        return s;
    };
    if (param->nChains > 1) return RunChains(*param, d, startOf, names, param->nSeed);
    start = startOf(rng, 0);

    ModelSettings settings = *param;
    settings.nMinMotifWidth = param->MinWidthOf(0);
    CSerevan model(settings, d, start, rng);
    std::string failed;
    const RunResults results = model.GibbsSampler(InfoWriter(names, failed));
    if (!results.status.Ok()) return Stopped(results.status, names, failed);
    if (!WriteRun(names, RunKind::DeNovo, results, failed)) return RefuseUnwritten(names, failed);
    return 0;
}
