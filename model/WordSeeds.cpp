// Conserved, over-represented words and the starting matrices made from them (see
// model/word_seeds.md). Sections: one group's aligned view; the enumeration of conserved
// windows; scores; similarity; matrices.
#include "model/WordSeeds.h"

#include <algorithm>
#include <cmath>

#include "motif/GMSampler.h"
#include "numeric/SeqMotifBasic.h"

using serevan::IsBase;

namespace {

// ---- one group's aligned view ----

// What the enumeration reads of one group: for every species its sequence and how many
// unmasked bases follow each position; for every ordered pair (s, t) the partner in t of each
// residue of s (the residue more than half of the stored alignments match it to, or -1) and
// the length of the identical aligned run from each residue.
struct GroupView {
    int N = 0;
    std::vector<const int*> seq;
    std::vector<int> len;
    std::vector<std::vector<int>> free;     // species s: unmasked bases from p on
    std::vector<std::vector<int>> partner;  // pair s * N + t
    std::vector<std::vector<int>> same;     // pair s * N + t: identical bases at consecutive partners from p on
};

// The majority partner of each residue of s in t over A alignments, matched[a * len + p]
// holding alignment a's partner (-1: none). Boyer-Moore vote, then a count to confirm it.
void MajorityPartner(const std::vector<int>& matched, int A, int len, std::vector<int>& out)
{
    out.assign(len, -1);
    for (int p = 0; p < len; ++p) {
        int cand = -1, votes = 0;
        for (int a = 0; a < A; ++a) {
            const int q = matched[static_cast<size_t>(a) * len + p];
            if (votes == 0) cand = q;
            votes += q == cand ? 1 : -1;
        }
        int n = 0;
        for (int a = 0; a < A; ++a) n += matched[static_cast<size_t>(a) * len + p] == cand;
        if (2 * n > A) out[p] = cand;
    }
}

void BuildView(const ModelGroups& d, int g, const WordSeedSettings& set, GroupView& v)
{
    const int N = d.N, A = std::max(d.A, 0);
    v.N = N;
    v.seq.assign(N, nullptr);
    v.len.assign(N, 0);
    v.free.assign(N, {});
    for (int s = 0; s < N; ++s) {
        const std::vector<int>& x = d.seq[static_cast<size_t>(s) * d.G + g];
        v.seq[s] = x.data();
        v.len[s] = static_cast<int>(x.size());
        std::vector<bool> mask;
        serevan::FindLowComplexity(x.data(), v.len[s], set.stretches, mask);
        v.free[s].assign(v.len[s] + 1, 0);
        for (int p = v.len[s] - 1; p >= 0; --p) v.free[s][p] = IsBase(x[p]) && !mask[p] ? v.free[s][p + 1] + 1 : 0;
    }

    // Every alignment's partners, pair by pair: a node matches the residues its moving block consumes.
    std::vector<std::vector<int>> matched(static_cast<size_t>(N) * N);
    for (int s = 0; s < N; ++s)
        for (int t = 0; t < N; ++t)
            if (s != t) matched[s * N + t].assign(static_cast<size_t>(A) * v.len[s], -1);
    for (int a = 0; a < A && N > 1; ++a) {
        const ALIGNPATH& path = d.alignPath[static_cast<size_t>(g) * A + a];
        const int nNode = std::min(PathNodeNum(path), static_cast<int>(path.size()));
        for (int i = 1; i < nNode; ++i) {
            const ALIGNNODE& node = path[i];
            if (node.movingBlock < 0 || node.movingBlock >= static_cast<int>(node.block.size())) continue;
            const std::vector<int>& B = node.block[node.movingBlock];
            for (int s : B)
                for (int t : B) {
                    if (s == t || s < 0 || t < 0 || s >= N || t >= N) continue;
                    const int p = node.pos[s] - 1, q = node.pos[t] - 1;
                    if (p >= 0 && p < v.len[s] && q >= 0 && q < v.len[t])
                        matched[s * N + t][static_cast<size_t>(a) * v.len[s] + p] = q;
                }
        }
    }

    v.partner.assign(static_cast<size_t>(N) * N, {});
    v.same.assign(static_cast<size_t>(N) * N, {});
    for (int s = 0; s < N; ++s)
        for (int t = 0; t < N; ++t) {
            if (s == t || A < 1) continue;
            std::vector<int>& part = v.partner[s * N + t];
            MajorityPartner(matched[s * N + t], A, v.len[s], part);
            std::vector<int>& same = v.same[s * N + t];
            same.assign(v.len[s] + 1, 0);
            for (int p = v.len[s] - 1; p >= 0; --p) {
                const int q = part[p];
                if (q < 0 || !IsBase(v.seq[s][p]) || v.seq[s][p] != v.seq[t][q]) continue;
                same[p] = 1 + (p + 1 < v.len[s] && part[p + 1] == q + 1 ? same[p + 1] : 0);
            }
        }
}

// ---- the enumeration of conserved windows ----

int WordCode(const int* x, int w)
{
    int c = 0;
    for (int j = 0; j < w; ++j) c = 4 * c + x[j];
    return c;
}

int ReverseCode(int code, int w)
{
    int r = 0;
    for (int j = 0; j < w; ++j, code >>= 2) r = 4 * r + (3 - (code & 3));
    return r;
}

std::vector<int> CodeWord(int code, int w)
{
    std::vector<int> x(w);
    for (int j = w - 1; j >= 0; --j, code >>= 2) x[j] = code & 3;
    return x;
}

// Calls visit(canonical code, forward, members, partners) for every conserved occurrence of
// width w in the group: a window of unmasked bases of species s with identical, gap-free
// aligned copies in enough species (members, s first; partners their first bases), each
// occurrence once (from the smallest species that shows it).
template <class Visit>
void ForEachConserved(const GroupView& v, int w, int minSpecies, bool bothStrands, Visit visit)
{
    const int N = v.N;
    std::vector<int> members, partners;
    for (int s = 0; s < N; ++s)
        for (int p = 0; p + w <= v.len[s]; ++p) {
            if (v.free[s][p] < w) continue;
            members.assign(1, s);
            partners.assign(1, p);
            bool counted = false;  // a smaller species shows it: counted from there
            for (int t = 0; t < N && !counted; ++t) {
                if (t == s || v.same[s * N + t].empty() || v.same[s * N + t][p] < w) continue;
                const int q = v.partner[s * N + t][p];
                if (v.free[t][q] < w) continue;
                if (t < s) counted = true;
                members.push_back(t);
                partners.push_back(q);
            }
            if (counted || static_cast<int>(members.size()) < minSpecies) continue;
            const int code = WordCode(v.seq[s] + p, w);
            const int canonical = bothStrands ? std::min(code, ReverseCode(code, w)) : code;
            visit(canonical, code == canonical, members, partners);
        }
}

// ---- scores ----

// ln P(X >= k) for X the number of successes of independent trials with probabilities pr:
// the distribution over 0..k-1 successes and "k or more", in log space.
double LogTail(const std::vector<double>& pr, int k)
{
    if (k <= 0) return 0.0;
    std::vector<double> f(k + 1, serevan::kLogZero);
    f[0] = 0.0;
    for (double p : pr) {
        const double lp = p > 0 ? std::log(p) : serevan::kLogZero, lq = std::log1p(-std::min(p, 1.0 - 1e-16));
        f[k] = LogSum(f[k], f[k - 1] + lp);
        for (int j = k - 1; j >= 1; --j) f[j] = LogSum(f[j] + lq, f[j - 1] + lp);
        f[0] += lq;
    }
    return f[k];
}

// Background probability of the word read as a sequence on its own: its first bases given
// the shorter contexts before them, as the model answers at the start of a sequence.
double WordProbability(const CMarkovBackground& bg, const std::vector<int>& x)
{
    double lp = 0.0;
    for (int j = 0; j < static_cast<int>(x.size()); ++j) lp += bg.PosLog(x.data(), j, std::log(0.25));
    return std::exp(lp);
}

// LowComplexity's rule, and a word that repeats a unit of one or two bases (ACACACAC,
// CACACAC): a piece of a dinucleotide repeat, which the rule's base counts miss.
bool LowComplexWord(const std::vector<int>& x)
{
    double freq[4];
    if (LowComplexity(x.data(), static_cast<int>(x.size()), freq)) return true;
    bool period2 = true;
    for (size_t i = 2; i < x.size() && period2; ++i) period2 = x[i] == x[i - 2];
    return period2;
}

}  // namespace

std::string WordText(const std::vector<int>& word)
{
    std::string t;
    for (int b : word) t += IsBase(b) ? "ACGT"[b] : 'N';
    return t;
}

std::string ConservedWord::Text() const
{
    return WordText(word);
}

CMarkovBackground WordBackground(const ModelGroups& d, const CMarkovBackground& bg, const WordSeedSettings& set)
{
    if (!bg.Empty()) return bg;
    std::vector<const int*> seqs;
    std::vector<int> lens;
    for (const std::vector<int>& x : d.seq) {
        seqs.push_back(x.data());
        lens.push_back(static_cast<int>(x.size()));
    }
    CMarkovBackground est;
    est.Estimate(set.fallbackOrder, seqs.data(), lens.data(), static_cast<int>(seqs.size()));
    return est;
}

std::vector<ConservedWord> ConservedWords(const ModelGroups& d, const CMarkovBackground& bg,
                                          const WordSeedSettings& set)
{
    const int G = d.G;
    const int wLo = std::max(1, set.minWord), wHi = std::min(set.maxWord, WordSeedSettings::kMaxWordLen);
    const int minSpecies = std::clamp(set.minSpecies, 1, std::max(1, d.N));
    std::vector<ConservedWord> out;
    const size_t slots = static_cast<size_t>(std::max(d.N, 0)) * std::max(G, 0);
    if (G < 1 || d.N < 1 || wLo > wHi || d.seq.size() < slots ||
        d.alignPath.size() < static_cast<size_t>(G) * std::max(d.A, 0))
        return out;
    const CMarkovBackground model = WordBackground(d, bg, set);
    // With a local background, each group's words are expected under its own composition.
    std::vector<CMarkovBackground> local;
    if (set.localBg > 0.0) {
        std::vector<std::vector<std::pair<const int*, int>>> members(G);
        for (int s = 0; s < d.N; ++s)
            for (int g = 0; g < G; ++g) {
                const std::vector<int>& x = d.seq[static_cast<size_t>(s) * G + g];
                members[g].emplace_back(x.data(), static_cast<int>(x.size()));
            }
        local = model.LocalToGroups(members, set.localBg);
    }

    // Pass 1: per width, the groups holding each word and the conserved windows of each group.
    const int nW = wHi - wLo + 1;
    std::vector<std::vector<int>> groups(nW), lastGroup(nW), windows(nW, std::vector<int>(G, 0));
    for (int w = wLo; w <= wHi; ++w) {
        groups[w - wLo].assign(size_t{1} << (2 * w), 0);
        lastGroup[w - wLo].assign(size_t{1} << (2 * w), -1);
    }
    GroupView v;
    for (int g = 0; g < G; ++g) {
        BuildView(d, g, set, v);
        for (int w = wLo; w <= wHi; ++w) {
            int* n = groups[w - wLo].data();
            int* last = lastGroup[w - wLo].data();
            int& win = windows[w - wLo][g];
            ForEachConserved(v, w, minSpecies, set.bothStrands, [&](int code, bool, const auto&, const auto&) {
                ++win;
                if (last[code] != g) {
                    last[code] = g;
                    ++n[code];
                }
            });
        }
    }

    // Scores of the words held by enough groups.
    const int minGroups = std::max(1, set.minGroups);
    std::vector<std::pair<int, int>> key;  // (width, code) of each scored word
    std::vector<double> pr(G);
    for (int w = wLo; w <= wHi; ++w) {
        const std::vector<int>& n = groups[w - wLo];
        for (int code = 0; code < static_cast<int>(n.size()); ++code) {
            if (n[code] < minGroups) continue;
            ConservedWord cw;
            cw.word = CodeWord(code, w);
            if (LowComplexWord(cw.word)) continue;
            const int rc = ReverseCode(code, w);
            const std::vector<int> rcWord = CodeWord(rc, w);
            auto probability = [&](const CMarkovBackground& m) {
                double p = WordProbability(m, cw.word);
                if (set.bothStrands && rc != code) p += WordProbability(m, rcWord);
                return std::log1p(-std::min(p, 1.0 - 1e-16));
            };
            const double logMissAll = local.empty() ? probability(model) : 0.0;
            for (int g = 0; g < G; ++g) {
                const double logMiss = local.empty() ? logMissAll : probability(local[g]);
                pr[g] = -std::expm1(windows[w - wLo][g] * logMiss);  // at least one of the group's windows
                cw.expected += pr[g];
            }
            cw.groups = n[code];
            cw.score = -LogTail(pr, cw.groups);
            out.push_back(std::move(cw));
            key.emplace_back(w, code);
        }
    }
    std::vector<int> order(out.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
    std::sort(order.begin(), order.end(), [&](int a, int b) {
        const ConservedWord &x = out[a], &y = out[b];
        if (x.score != y.score) return x.score > y.score;
        if (x.groups != y.groups) return x.groups > y.groups;
        return key[a] < key[b];
    });
    if (static_cast<int>(order.size()) > set.maxWords) order.resize(std::max(0, set.maxWords));
    std::vector<ConservedWord> ranked;
    for (int i : order) ranked.push_back(std::move(out[i]));

    // Pass 2: the sites of the ranked words (lastGroup now maps a code to its rank).
    for (std::vector<int>& m : lastGroup) std::fill(m.begin(), m.end(), -1);
    for (size_t r = 0; r < ranked.size(); ++r) {
        const int w = static_cast<int>(ranked[r].word.size());
        lastGroup[w - wLo][WordCode(ranked[r].word.data(), w)] = static_cast<int>(r);
    }
    for (int g = 0; g < G && !ranked.empty(); ++g) {
        BuildView(d, g, set, v);
        for (int w = wLo; w <= wHi; ++w) {
            const int* rank = lastGroup[w - wLo].data();
            ForEachConserved(v, w, minSpecies, set.bothStrands,
                             [&](int code, bool forward, const std::vector<int>& members, const std::vector<int>& at) {
                                 if (rank[code] < 0) return;
                                 std::vector<WordSite>& sites = ranked[rank[code]].sites;
                                 for (size_t m = 0; m < members.size(); ++m)
                                     sites.push_back(WordSite{members[m] * G + g, at[m], forward});
                             });
        }
    }
    return ranked;
}

// ---- similarity ----

bool WordsSimilar(const std::vector<int>& a, const std::vector<int>& b, bool bothStrands)
{
    const int la = static_cast<int>(a.size()), lb = static_cast<int>(b.size());
    const int shorter = std::min(la, lb);
    std::vector<int> rbv(b.rbegin(), b.rend());
    for (int& x : rbv) x = IsBase(x) ? 3 - x : -1;
    const std::vector<int>& rb = rbv;
    for (const std::vector<int>* y : {&b, &rb}) {
        if (y == &rb && !bothStrands) break;
        for (int shift = -(lb - 1); shift < la; ++shift) {  // b[j] against a[j + shift]
            int overlap = 0, mismatch = 0;
            for (int j = std::max(0, -shift); j < lb && j + shift < la; ++j) {
                ++overlap;
                mismatch += (*y)[j] != a[j + shift];
            }
            if ((overlap >= shorter - 1 && mismatch <= 1) || (overlap >= shorter - 2 && mismatch == 0)) return true;
        }
    }
    return false;
}

// ---- matrices ----

namespace {

// True when at least half of b's sites share three bases or more with a site of a: two words
// of one motif's sites, whatever their letters (sites of different motifs never overlap).
bool SharedSites(const ConservedWord& a, const ConservedWord& b)
{
    const int la = static_cast<int>(a.word.size()), lb = static_cast<int>(b.word.size());
    const int need = std::min({3, la, lb});
    size_t shared = 0;
    for (const WordSite& y : b.sites)
        shared += std::any_of(a.sites.begin(), a.sites.end(), [&](const WordSite& x) {
            return x.slot == y.slot && std::min(x.pos + la, y.pos + lb) - std::max(x.pos, y.pos) >= need;
        });
    return !b.sites.empty() && 2 * shared >= b.sites.size();
}

}  // namespace

int SeedMatrices(const ModelGroups& d, const CMarkovBackground& bg, const std::vector<ConservedWord>& ranked,
                 const WordSeedSettings& set, int K, int first, int minWidth, int maxWidth,
                 std::vector<std::vector<double>>& pwm, std::vector<int>& width, std::vector<int>* used)
{
    pwm.clear();
    width.clear();
    if (used) used->clear();
    const CMarkovBackground model = WordBackground(d, bg, set);
    std::vector<const int*> seqs;
    std::vector<int> lens;
    for (const std::vector<int>& x : d.seq) {
        seqs.push_back(x.data());
        lens.push_back(static_cast<int>(x.size()));
    }
    const int nSeq = static_cast<int>(seqs.size());
    double bg20[20];  // unused beside a non-empty order model, which `model` always is
    BuildBackground(seqs.data(), lens.data(), nSeq, bg20);

    std::vector<int> taken;  // words behind the matrices made so far, skipped ones included
    int skipped = 0;
    for (size_t i = 0; i < ranked.size() && static_cast<int>(pwm.size()) < K; ++i) {
        const ConservedWord& cw = ranked[i];
        if (std::any_of(taken.begin(), taken.end(), [&](int j) {
                return WordsSimilar(ranked[j].word, cw.word, set.bothStrands) || SharedSites(ranked[j], cw);
            }))
            continue;
        std::vector<SITELIST> sites(1);
        for (const WordSite& s : cw.sites)
            if (s.slot >= 0 && s.slot < nSeq) sites[0].push_back(SITEPOS{s.slot, s.pos, s.forward});
        if (sites[0].empty()) continue;
        std::vector<std::vector<double>> m(1);
        int w = static_cast<int>(cw.word.size());
        FBAdjustMotifWidth(seqs.data(), lens.data(), nSeq, bg20, 1, sites, m, &w, minWidth, maxWidth, set.bothStrands,
                           &model);
        std::vector<int> consensus(w);
        for (int j = 0; j < w; ++j) consensus[j] = Maximum(&m[0][4 * j], 4);
        if (LowComplexWord(consensus)) continue;
        taken.push_back(static_cast<int>(i));
        if (skipped < first) {
            ++skipped;
            continue;
        }
        pwm.push_back(std::move(m[0]));
        width.push_back(w);
        if (used) used->push_back(static_cast<int>(i));
    }
    const int seeded = static_cast<int>(pwm.size());
    const int uniform = std::max(1, (minWidth + maxWidth) / 2);
    while (static_cast<int>(pwm.size()) < K) {
        pwm.emplace_back(4 * static_cast<size_t>(uniform), std::log(0.25));
        width.push_back(uniform);
        if (used) used->push_back(-1);
    }
    return seeded;
}
