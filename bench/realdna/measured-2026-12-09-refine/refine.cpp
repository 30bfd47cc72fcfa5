// Measurement prototype, not part of the program: refines motif matrices by ZOOPS EM over
// every sequence of a set against an order-2 background of the set (both strands), then
// trims low-information edge columns. Build and run:
//
//     g++ -O2 -std=c++20 -o refine refine.cpp
//     refine data.fa in.txt out.txt [iters pad gamma pseudo minw maxw icmin window [mask.fa]]
//
// in.txt/out.txt are motif files in the -A format. pad: columns of the set's composition
// added on each side before the EM. gamma: prior share of sequences (window = 0) or of
// groups (window > 0) with a site. pseudo: pseudo-count per column, spread by composition.
// Trimming drops the edge column of lower information (bits) while the width exceeds maxw
// or an edge column is below icmin, never below minw. window > 0: one site per group
// event, scored in the first species' sequence at position i and in every other species
// averaged over the positions within `window` of i (scaled by length), with a 0.2 chance
// that the site is lost there. mask.fa: the same sequences; the EM reads only the bases
// readable in it (the background is still fitted on data.fa).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace {

int Code(char c)
{
    switch (c) {
        case 'A': case 'a': return 0;
        case 'C': case 'c': return 1;
        case 'G': case 'g': return 2;
        case 'T': case 't': return 3;
    }
    return -1;
}

constexpr double kNone = -1e300;

struct Background {
    double lp1[4], lp2[16], lp3[64], comp[4];
    // Log probability of the window s[i..i+w) under the order-2 chain, started inside it.
    double Window(const std::vector<int>& s, int i, int w) const
    {
        double r = lp1[s[i]];
        if (w > 1) r += lp2[4 * s[i] + s[i + 1]];
        for (int j = 2; j < w; ++j) r += lp3[16 * s[i + j - 2] + 4 * s[i + j - 1] + s[i + j]];
        return r;
    }
};

Background FitBackground(const std::vector<std::vector<int>>& seqs)
{
    double c3[64] = {0}, c2[16] = {0}, c1[4] = {0};
    for (const auto& s : seqs)
        for (size_t i = 2; i < s.size(); ++i) {
            const int a = s[i - 2], b = s[i - 1], c = s[i];
            if (a < 0 || b < 0 || c < 0) continue;
            c3[16 * a + 4 * b + c] += 1;
            c3[16 * (3 - c) + 4 * (3 - b) + (3 - a)] += 1;
        }
    for (int x = 0; x < 64; ++x) {
        c1[x % 4] += c3[x];
        c2[x % 16] += c3[x];
    }
    Background bg;
    double t = 0;
    for (double c : c1) t += c;
    for (int b = 0; b < 4; ++b) bg.lp1[b] = std::log(c1[b] / t), bg.comp[b] = c1[b] / t;
    for (int x = 0; x < 4; ++x) {
        double u = 0;
        for (int c = 0; c < 4; ++c) u += c2[4 * x + c];
        for (int c = 0; c < 4; ++c) bg.lp2[4 * x + c] = std::log(c2[4 * x + c] / u);
    }
    for (int x = 0; x < 16; ++x) {
        double u = 0;
        for (int c = 0; c < 4; ++c) u += c3[4 * x + c] + 1;
        for (int c = 0; c < 4; ++c) bg.lp3[4 * x + c] = std::log((c3[4 * x + c] + 1) / u);
    }
    return bg;
}

// Log-likelihood ratios (motif against background) of every window, forward at 2i and
// reverse at 2i + 1; kNone over an unreadable base.
void Ratios(const std::vector<int>& s, const std::vector<double>& lp, const std::vector<double>& lq, int w,
            const Background& bg, std::vector<double>& out)
{
    const int n = std::max(0, static_cast<int>(s.size()) - w + 1);
    out.assign(2 * static_cast<size_t>(n), kNone);
    for (int i = 0; i < n; ++i) {
        double f = 0, r = 0;
        bool ok = true;
        for (int j = 0; j < w && ok; ++j) {
            const int b = s[i + j];
            if (b < 0) ok = false;
            else f += lp[4 * j + b], r += lq[4 * j + b];
        }
        if (!ok) continue;
        const double b = bg.Window(s, i, w);
        out[2 * i] = f - b;
        out[2 * i + 1] = r - b;
    }
}

void AddSite(const std::vector<int>& s, int i, int strand, int w, double z, std::vector<double>& cnt)
{
    for (int j = 0; j < w; ++j) {
        const int b = s[i + j];
        if (strand == 0) cnt[4 * j + b] += z;
        else cnt[4 * (w - 1 - j) + 3 - b] += z;
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: refine data.fa in.txt out.txt [iters pad gamma pseudo minw maxw icmin window [mask.fa]]\n");
        return 1;
    }
    const int iters = argc > 4 ? std::atoi(argv[4]) : 15, pad = argc > 5 ? std::atoi(argv[5]) : 2;
    const double gamma = argc > 6 ? std::atof(argv[6]) : 0.5, pseudo = argc > 7 ? std::atof(argv[7]) : 0.25;
    const int minw = argc > 8 ? std::atoi(argv[8]) : 10, maxw = argc > 9 ? std::atoi(argv[9]) : 14;
    const double icmin = argc > 10 ? std::atof(argv[10]) : 0.5;
    const int window = argc > 11 ? std::atoi(argv[11]) : 0;

    std::vector<std::vector<int>> seqs;
    std::vector<int> group;  // from headers >gG_spS
    {
        std::ifstream f(argv[1]);
        std::string l;
        while (std::getline(f, l)) {
            if (l.empty()) continue;
            if (l[0] == '>') {
                seqs.emplace_back();
                group.push_back(std::atoi(l.c_str() + 2));
                continue;
            }
            for (char c : l) seqs.back().push_back(Code(c));
        }
    }
    const Background bg = FitBackground(seqs);
    // Optional second FASTA of the same sequences: the EM reads only its readable bases.
    if (argc > 12) {
        std::ifstream f(argv[12]);
        std::string l;
        int q = -1;
        size_t at = 0;
        while (std::getline(f, l)) {
            if (l.empty()) continue;
            if (l[0] == '>') { ++q; at = 0; continue; }
            for (char c : l) { if (Code(c) < 0 && at < seqs[q].size()) seqs[q][at] = -1; ++at; }
        }
    }

    std::ifstream mf(argv[2]);
    int K = 0;
    mf >> K;
    std::vector<int> W(K);
    for (int& w : W) mf >> w;
    std::vector<std::vector<double>> M(K), out(K);
    for (int k = 0; k < K; ++k) {
        std::string name;
        mf >> name;
        M[k].resize(4 * static_cast<size_t>(W[k]));
        for (double& x : M[k]) mf >> x;
    }

    int G = 0;
    for (int g : group) G = std::max(G, g + 1);
    std::vector<std::vector<double>> lr(seqs.size());
    for (int k = 0; k < K; ++k) {
        const int w = W[k] + 2 * pad;
        std::vector<double> p(4 * static_cast<size_t>(w)), lp(p.size()), lq(p.size()), cnt(p.size());
        for (int j = 0; j < w; ++j)
            for (int b = 0; b < 4; ++b)
                p[4 * j + b] = (j < pad || j >= w - pad) ? bg.comp[b] : M[k][4 * (j - pad) + b];
        for (int it = 0; it < iters; ++it) {
            for (int j = 0; j < w; ++j)
                for (int b = 0; b < 4; ++b) {
                    lp[4 * j + b] = std::log(p[4 * j + b]);
                    lq[4 * j + b] = std::log(p[4 * (w - 1 - j) + 3 - b]);
                }
            for (size_t q = 0; q < seqs.size(); ++q) Ratios(seqs[q], lp, lq, w, bg, lr[q]);
            std::fill(cnt.begin(), cnt.end(), 0.0);
            double sites = 0;
            if (window <= 0) {
                // One site or none per sequence: z = lambda LR / (1 - gamma + lambda sum LR).
                for (size_t q = 0; q < seqs.size(); ++q) {
                    std::vector<double>& x = lr[q];
                    if (x.empty()) continue;
                    const double lambda = gamma / static_cast<double>(x.size());
                    double mx = kNone, sum = 0;
                    for (double v : x) mx = std::max(mx, v);
                    if (mx <= kNone) continue;
                    for (double& v : x) sum += (v = std::exp(v - mx));
                    const double denom = (1 - gamma) * std::exp(-mx) + lambda * sum;
                    for (size_t e = 0; e < x.size(); ++e) {
                        const double z = lambda * x[e] / denom;
                        if (z < 1e-6) continue;
                        sites += z;
                        AddSite(seqs[q], static_cast<int>(e / 2), static_cast<int>(e % 2), w, z, cnt);
                    }
                }
            } else {
                for (int g = 0; g < G; ++g) {
                    std::vector<int> members;
                    for (size_t q = 0; q < seqs.size(); ++q)
                        if (group[q] == g) members.push_back(static_cast<int>(q));
                    if (members.empty()) continue;
                    const int r0 = members[0], n0 = static_cast<int>(lr[r0].size() / 2);
                    if (n0 <= 0) continue;
                    std::vector<double> score;
                    std::vector<std::vector<std::pair<int, int>>> picks;
                    std::vector<int> at;
                    double mx = kNone;
                    for (int i = 0; i < n0; ++i)
                        for (int st = 0; st < 2; ++st) {
                            double total = lr[r0][2 * i + st];
                            if (total <= kNone) continue;
                            std::vector<std::pair<int, int>> pick{{r0, i}};
                            for (size_t m = 1; m < members.size(); ++m) {
                                const int q = members[m], nq = static_cast<int>(lr[q].size() / 2);
                                const int c = static_cast<int>(static_cast<double>(i) * nq / n0);
                                const int lo = std::max(0, c - window), hi = std::min(nq - 1, c + window);
                                int best = -1;
                                double top = kNone;
                                for (int j = lo; j <= hi; ++j)
                                    if (lr[q][2 * j + st] > top) top = lr[q][2 * j + st], best = j;
                                if (best < 0) continue;
                                double mean = 0;
                                for (int j = lo; j <= hi; ++j) mean += std::exp(lr[q][2 * j + st] - top);
                                const double have = std::log(0.8) + top + std::log(mean / (hi - lo + 1));
                                const double lost = std::log(0.2);
                                total += std::max(lost, have) + std::log1p(std::exp(-std::fabs(lost - have)));
                                if (have > lost) pick.emplace_back(q, best);
                            }
                            score.push_back(total);
                            picks.push_back(std::move(pick));
                            at.push_back(st);
                            mx = std::max(mx, total);
                        }
                    const double lambda = gamma / (2.0 * n0);
                    double sum = 0;
                    for (double& v : score) sum += (v = std::exp(v - mx));
                    const double denom = (1 - gamma) * std::exp(-mx) + lambda * sum;
                    for (size_t e = 0; e < score.size(); ++e) {
                        const double z = lambda * score[e] / denom;
                        if (z < 1e-6) continue;
                        for (const auto& [q, j] : picks[e]) {
                            sites += z;
                            AddSite(seqs[q], j, at[e], w, z, cnt);
                        }
                    }
                }
            }
            for (int j = 0; j < w; ++j) {
                double t = 0;
                for (int b = 0; b < 4; ++b) t += cnt[4 * j + b] + pseudo * 4 * bg.comp[b];
                for (int b = 0; b < 4; ++b) p[4 * j + b] = (cnt[4 * j + b] + pseudo * 4 * bg.comp[b]) / t;
            }
            if (it == iters - 1) std::fprintf(stderr, "motif %d expected sites %.1f\n", k + 1, sites);
        }
        auto bits = [&](int j) {
            double h = 2;
            for (int b = 0; b < 4; ++b) h += p[4 * j + b] * std::log2(p[4 * j + b]);
            return h;
        };
        int lo = 0, hi = w;
        while (hi - lo > minw) {
            const double a = bits(lo), b = bits(hi - 1);
            if (std::min(a, b) >= icmin && hi - lo <= maxw) break;
            if (a < b) ++lo;
            else --hi;
        }
        out[k].assign(p.begin() + 4 * lo, p.begin() + 4 * hi);
    }

    std::FILE* o = std::fopen(argv[3], "w");
    if (!o) return 1;
    std::fprintf(o, "%d\n", K);
    for (int k = 0; k < K; ++k) std::fprintf(o, "%s%zu", k ? "\t" : "", out[k].size() / 4);
    std::fprintf(o, "\n");
    for (int k = 0; k < K; ++k) {
        std::fprintf(o, "Motif%d\n", k + 1);
        for (size_t j = 0; j < out[k].size() / 4; ++j)
            std::fprintf(o, "%.4f\t%.4f\t%.4f\t%.4f\n", out[k][4 * j], out[k][4 * j + 1], out[k][4 * j + 2],
                         out[k][4 * j + 3]);
    }
    return std::fclose(o) == 0 ? 0 : 1;
}
