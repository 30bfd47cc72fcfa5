// Motif comparison: reverse complements and the column-correlation similarity.
#include "motif/MotifCompare.h"

#include <algorithm>
#include <cmath>

namespace motifio {

Motif ReverseComplement(const Motif& m)
{
    Motif r = m;
    int w = m.Width();
    r.p.resize(m.p.size());
    for (int j = 0; j < w; ++j)
        for (int b = 0; b < 4; ++b) r.p[4 * j + b] = m.p[4 * (w - 1 - j) + (3 - b)];
    return r;
}

double ColumnCorrelation(const double* a, const double* b)
{
    double ma = (a[0] + a[1] + a[2] + a[3]) / 4, mb = (b[0] + b[1] + b[2] + b[3]) / 4;
    double sab = 0, saa = 0, sbb = 0;
    for (int i = 0; i < 4; ++i) {
        sab += (a[i] - ma) * (b[i] - mb);
        saa += (a[i] - ma) * (a[i] - ma);
        sbb += (b[i] - mb) * (b[i] - mb);
    }
    if (saa < 1e-15 || sbb < 1e-15) return 0;
    return sab / std::sqrt(saa * sbb);
}

MotifMatch CompareMotifs(const Motif& planted, const Motif& learned)
{
    MotifMatch best;
    best.score = -2;
    int wp = planted.Width(), wl = learned.Width();
    if (wp == 0 || wl == 0) return MotifMatch{};
    for (int strand : {1, -1}) {
        Motif q = strand == 1 ? learned : ReverseComplement(learned);
        for (int offset = -(wl - 1); offset <= wp - 1; ++offset) {
            double sum = 0;
            for (int j = 0; j < wl; ++j) {
                int i = offset + j;
                if (i >= 0 && i < wp) sum += ColumnCorrelation(&planted.p[4 * i], &q.p[4 * j]);
            }
            double score = sum / std::min(wp, wl);
            if (score > best.score + 1e-12)
                best = MotifMatch{score, offset, strand, std::min(wp, offset + wl) - std::max(0, offset)};
        }
    }
    return best;
}

std::string Consensus(const Motif& m)
{
    std::string text;
    for (int j = 0; j < m.Width(); ++j) {
        const double* p = &m.p[4 * j];
        const int best = static_cast<int>(std::max_element(p, p + 4) - p);
        text += p[best] >= 0.5 ? "ACGT"[best] : "acgt"[best];
    }
    return text;
}

}  // namespace motifio
