// Chains of one de novo run in threads, the kept chain, and the chains' files.
#include "app/MultiChain.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <thread>
#include <vector>

#include "app/Drivers.h"
#include "base/Format.h"
#include "base/OutputFile.h"
#include "model/Serevan.h"
#include "motif/MotifCompare.h"

namespace {

// Two found motifs this alike (column correlation, serevan-eval's) are one motif to -E.
constexpr double kSameMotif = 0.6;
// Added to every site frequency of a matrix -E holds.
constexpr double kSmoothing = 0.02;

// The found motifs of a run (those with called sites) as frequency matrices, by motif index.
std::vector<std::pair<int, motifio::Motif>> FoundMotifs(const RunResults& r)
{
    std::vector<std::pair<int, motifio::Motif>> found;
    for (size_t k = 0; k < r.m_pOutputSite.size() && k < r.m_pSiteMatrix.size(); ++k) {
        if (r.m_pOutputSite[k].empty()) continue;
        motifio::Motif m;
        m.p = r.m_pSiteMatrix[k];
        found.emplace_back(static_cast<int>(k), m);
    }
    return found;
}

// How well chain b finds the motifs of chain a: over a's K motifs, the mean of the best column
// correlation (serevan-eval's) of each found one with a motif b found; a motif a did not find
// counts 0.
double Agreement(const std::vector<std::pair<int, motifio::Motif>>& a,
                 const std::vector<std::pair<int, motifio::Motif>>& b, size_t K)
{
    double sum = 0.0;
    for (const auto& [index, ref] : a) {
        double best = 0.0;
        for (const auto& [other, m] : b) best = std::max(best, motifio::CompareMotifs(ref, m).score);
        sum += best;
    }
    return K ? sum / static_cast<double>(K) : 0.0;
}

// Per motif, the number of groups that hold at least one of its called sites.
std::vector<int> SiteGroups(const RunResults& r)
{
    std::vector<int> spread(r.width.size(), 0);
    for (size_t k = 0; k < r.m_pOutputSite.size() && k < spread.size(); ++k) {
        std::vector<int> groups;
        for (const OUTPUTSITE& site : r.m_pOutputSite[k]) groups.push_back(site.group);
        std::sort(groups.begin(), groups.end());
        spread[k] = static_cast<int>(std::unique(groups.begin(), groups.end()) - groups.begin());
    }
    return spread;
}

// One line per chain: its number, seed, averages, whether it was kept, the consensus of each
// motif ("-" when not found), its agreement with the kept chain (how well it finds the kept
// chain's motifs), its support (the sum of the other chains' agreement with it) and, per
// motif, the groups that hold its called sites.
std::string ChainTable(const std::vector<RunResults>& runs, const std::vector<unsigned>& seeds, int kept,
                       const std::vector<double>& support)
{
    std::string text = "chain\tseed\taverage_loglik\taverage_logpost\tkept\tmotifs\tagreement\tsupport\tgroups\n";
    const auto keptMotifs = FoundMotifs(runs[kept]);
    for (size_t c = 0; c < runs.size(); ++c) {
        const RunResults& r = runs[c];
        const auto found = FoundMotifs(r);
        std::string motifs;
        for (size_t k = 0; k < r.width.size(); ++k) {
            std::string cons = "-";
            for (const auto& [index, m] : found)
                if (index == static_cast<int>(k)) cons = motifio::Consensus(m);
            motifs += (k ? "," : "") + cons;
        }
        // Over the kept chain's found motifs (not its K), as the table has always said.
        const double agreement = keptMotifs.empty() ? 0.0 : Agreement(keptMotifs, found, keptMotifs.size());
        std::string groups;
        for (int n : SiteGroups(r)) {
            if (!groups.empty()) groups += ',';
            groups += std::to_string(n);
        }
        AppendFormat(text, "%zu\t%u\t%.4f\t%.4f\t%s\t%s\t%.3f\t%.3f\t%s\n", c, seeds[c], r.avgLik, r.avgPost,
                     static_cast<int>(c) == kept ? "yes" : "no", motifs.c_str(), agreement, support[c], groups.c_str());
    }
    return text;
}

}  // namespace

// The kept chain: the one with the most motifs whose called sites spread over a quarter of
// the groups (at least three), then the highest average log-posterior (the likelihood and
// the parameters' priors). A motif whose sites sit in fewer groups is most often composition
// (C/G-rich columns in the few groups richer in C+G than the rest, poly-A in the A/T-richest)
// or one stretch that two groups share. On the real-DNA benchmark (16 sets) the posterior
// alone kept such chains, or chains that found nothing, over chains that found the planted
// motifs: mean site F1 0.35, with the spread first 0.44, against 0.45 for the best chain of
// each set. The support of each chain (the sum over the other chains of their agreement with
// it) is a hint for the reader: keeping the most-supported chain did no better, since a
// repeated stretch that every chain locks on has the most.
int KeptChain(const std::vector<RunResults>& runs, int groups, std::vector<double>& support)
{
    const size_t C = runs.size();
    const int need = std::max(3, (groups + 3) / 4);
    std::vector<std::vector<std::pair<int, motifio::Motif>>> found(C);
    std::vector<int> spread(C, 0);
    for (size_t c = 0; c < C; ++c) {
        found[c] = FoundMotifs(runs[c]);
        for (int n : SiteGroups(runs[c])) spread[c] += n >= need;
    }
    support.assign(C, 0.0);
    int kept = 0;
    for (size_t c = 0; c < C; ++c) {
        for (size_t o = 0; o < C; ++o)
            if (o != c) support[c] += Agreement(found[c], found[o], runs[c].width.size());
        if (spread[c] > spread[kept] || (spread[c] == spread[kept] && runs[c].avgPost > runs[kept].avgPost))
            kept = static_cast<int>(c);
    }
    return kept;
}

// A motif that recurs in chains from different starts is most likely real; a chance motif, or
// composition, is found by one chain or two. On the sparse A/T-rich benchmark the planted
// motifs were each held by several of sixteen chains, rarely all three by one.
ModelStart ConsensusStart(const std::vector<RunResults>& runs, int known, int K, int minWidth, int maxWidth,
                          int& held, std::string& line)
{
    struct Candidate {
        const motifio::Motif* motif;
        double support;
        int groups;
    };
    const size_t C = runs.size();
    std::vector<std::vector<std::pair<int, motifio::Motif>>> found(C);
    for (size_t c = 0; c < C; ++c) {
        found[c] = FoundMotifs(runs[c]);
        found[c].erase(std::remove_if(found[c].begin(), found[c].end(), [&](const auto& f) { return f.first < known; }),
                       found[c].end());
    }
    std::vector<Candidate> candidates;
    for (size_t c = 0; c < C; ++c) {
        const std::vector<int> groups = SiteGroups(runs[c]);
        for (const auto& [k, m] : found[c]) {
            double support = 0.0;
            for (size_t o = 0; o < C; ++o) {
                double best = 0.0;
                for (const auto& [other, n] : found[o]) best = std::max(best, motifio::CompareMotifs(m, n).score);
                if (o != c) support += best;
            }
            candidates.push_back({&m, support, groups[k]});
        }
    }
    std::stable_sort(candidates.begin(), candidates.end(), [](const Candidate& a, const Candidate& b) {
        return a.support != b.support ? a.support > b.support : a.groups > b.groups;
    });

    ModelStart start;
    held = 0;
    line = "Chain " + std::to_string(C) + " starts from the motifs the chains found:";
    std::vector<const motifio::Motif*> taken;
    for (const Candidate& cand : candidates) {
        if (static_cast<int>(taken.size()) == K - known) break;
        bool same = false;
        for (const motifio::Motif* t : taken) same = same || motifio::CompareMotifs(*t, *cand.motif).score >= kSameMotif;
        if (same) continue;
        taken.push_back(cand.motif);
        // Held when the other chains find it on average at least half as well as itself; a
        // chance motif gathers about 0.3 per chain from partial matches.
        if (cand.support >= 0.5 * static_cast<double>(C - 1) && held == static_cast<int>(taken.size()) - 1) ++held;
        AppendFormat(line, " %s (support %.1f, %d groups%s)", motifio::Consensus(*cand.motif).c_str(), cand.support,
                     cand.groups, held == static_cast<int>(taken.size()) ? ", held" : ", learned");
    }
    for (size_t i = 0; i < taken.size(); ++i) {
        // Site frequencies smoothed so that no entry is log 0; trimmed or padded with uniform
        // columns (on both sides) to the chain's width bounds.
        const std::vector<double>& p = taken[i]->p;
        const int width = static_cast<int>(p.size() / 4), w = std::clamp(width, minWidth, maxWidth);
        const int from = (width - w) / 2;  // negative: columns padded in front
        std::vector<double> pwm(4 * static_cast<size_t>(w), std::log(0.25));
        for (int j = 0; j < w; ++j)
            if (from + j >= 0 && from + j < width)
                for (int b = 0; b < 4; ++b)
                    pwm[4 * j + b] = std::log((p[4 * (from + j) + b] + kSmoothing) / (1.0 + 4 * kSmoothing));
        start.pwm.push_back(std::move(pwm));
        start.width.push_back(w);
    }
    line += taken.empty() ? " none\n" : "\n";
    return start;
}

int RunChains(const INPUTPARAMETER& param, const ModelGroups& groups, const ChainStart& startOf,
              const OutputNames& names, unsigned seed)
{
    const int C = param.nChains, T = std::max(1, std::min(param.nThreads, C));
    std::vector<RunResults> runs(C);
    std::vector<unsigned> seeds(C);
    for (int c = 0; c < C; ++c) seeds[c] = DeriveSeed(seed, static_cast<unsigned>(c), kChainStream);
    std::string infoFailed;
    const InfoLog chain0Log = InfoWriter(names, infoFailed), quiet = [](const std::string&) { return true; };

    std::atomic<int> next{0};
    auto work = [&] {
        for (int c; (c = next.fetch_add(1)) < C;) {
            CRandomStream stream(seeds[c]);
            const ModelStart start = startOf(stream, c);
            ModelGroups own = groups;  // alignment moves rewrite the stored alignments
            ModelSettings settings = param;
            settings.bProgress = c == 0;
            settings.nMinMotifWidth = param.MinWidthOf(c);
            CSerevan model(settings, own, start, stream);
            runs[c] = model.GibbsSampler(c == 0 ? chain0Log : quiet);
        }
    };
    std::vector<std::thread> threads;
    for (int t = 1; t < T; ++t) threads.emplace_back(work);
    work();
    for (std::thread& t : threads) t.join();

    for (const RunResults& r : runs)
        if (!r.status.Ok()) return Stopped(r.status, names, infoFailed);
    if (param.bConsensusChain) {
        // One more chain, after the others (so the result stays the same for every -t): its
        // usual start, with the learned motifs replaced by those most chains found; those the
        // other chains agree on are held fixed as given matrices are (a chain started from them
        // and left to learn lost them as the other chains do), the rest are learned.
        const int known = param.nKnownMotifNum, K = param.nMotifNum, minWidth = param.MinWidthOf(C);
        std::string line;
        int held = 0;
        const ModelStart found = ConsensusStart(runs, known, K, minWidth, param.nMaxMotifWidth, held, line);
        seeds.push_back(DeriveSeed(seed, static_cast<unsigned>(C), kChainStream));
        CRandomStream stream(seeds.back());
        ModelStart start = startOf(stream, C);
        start.wordPwm.clear();
        start.wordWidth.clear();
        start.word.clear();
        for (size_t i = 0; i < found.pwm.size() && known + i < start.pwm.size(); ++i) {
            start.pwm[known + i] = found.pwm[i];
            start.width[known + i] = found.width[i];
        }
        if (!chain0Log(line)) {
            RunResults stopped;
            stopped.status.exitStatus = 1;
            return Stopped(stopped.status, names, infoFailed);
        }
        ModelGroups own = groups;
        ModelSettings settings = param;
        settings.bProgress = false;
        settings.nMinMotifWidth = minWidth;
        settings.nKnownMotifNum = known + held;
        CSerevan model(settings, own, start, stream);
        runs.push_back(model.GibbsSampler(quiet));
        if (!runs.back().status.Ok()) return Stopped(runs.back().status, names, infoFailed);
    }
    std::vector<double> support;
    const int kept = KeptChain(runs, groups.G, support);

    // Every chain in its own report of chains.txt, the table, then the kept chain's files.
    const OutputNames chains(names.report + "chains.txt");
    std::string failed;
    for (const RunResults& r : runs)
        if (!WriteRun(chains, RunKind::DeNovo, r, failed, false)) return RefuseUnwritten(names, failed);
    if (!AppendToFile(names.report + "chains.tsv", ChainTable(runs, seeds, kept, support), failed) ||
        !WriteRun(names, RunKind::DeNovo, runs[kept], failed))
        return RefuseUnwritten(names, failed);
    return 0;
}
