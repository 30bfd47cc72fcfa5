// Parameter updates: after every sweep the model parameters are re-drawn from their
// conditional posteriors given the sweep's sufficient statistics (plain update), or the
// module entry, the segment types and the motif matrices are set to their posterior means
// (collapsed update, option -c). Both return a log-posterior value of the new parameters.
//
// Steps, in order: module entry row of the transition table; segment-type probabilities;
// motif matrices; ancestral background bases; background substitution matrix; motif
// substitution rate; motif substitution matrices. The pseudo-counts are added into the
// statistic arrays in place; the next sweep empties them again.
#include <cmath>

#include "model/Serevan.h"
#include "numeric/SeqMotifBasic.h"
#include "numeric/StochasticDistribution.h"

using serevan::kLogZero;

namespace {

// out[0..n-1] = a Dirichlet(counts) draw, or in the collapsed update the posterior mean,
// where entry `remainder` is 1 minus the sum of the others so the vector sums to 1.
void DirichletOrMean(CRandomStream& rng, const int* counts, int n, bool collapse, int remainder, double* out)
{
    if (!collapse) {
        CStochasticDistribution(rng).Dirichlet(counts, n, out);
        return;
    }
    double total = 0.0;
    for (int i = 0; i < n; ++i) total += counts[i];
    double others = 0.0;
    for (int i = 0; i < n; ++i)
        if (i != remainder) {
            out[i] = counts[i] / total;
            others += out[i];
        }
    out[remainder] = 1.0 - others;
}

void TakeLogs(double* p, int n)
{
    for (int i = 0; i < n; ++i) p[i] = std::log(p[i]);
}

}  // namespace

double CSerevan::UpdateParameter(int iteration)
{
    return RunParameterUpdate(iteration, false);
}

double CSerevan::CollapseParameter(int iteration)
{
    return RunParameterUpdate(iteration, true);
}

double CSerevan::RunParameterUpdate(int iteration, bool collapse)
{
    double r = UpdateModuleEntry(collapse);
    r += UpdateMotifTypePr(collapse);
    if (iteration >= 0) r += UpdateMotifMatrices(collapse);
    r += UpdateBgBase();
    r += UpdateBgSubst();
    r += UpdateMotifSubRate();
    CalMotifPhi();
    return r;
}

// Row 0 of the transition table (background -> background, background -> module). Row 1
// keeps the leaving probability set from the expected module length; its counts only add
// their likelihood term.
double CSerevan::UpdateModuleEntry(bool collapse)
{
    if (m_set.bMotifMode) {
        // Every position is a module position, whatever -q says.
        m_par.m_dTranPr[0][0] = m_par.m_dTranPr[1][0] = kLogZero;
        m_par.m_dTranPr[0][1] = m_par.m_dTranPr[1][1] = 0.0;
        return 0.0;
    }
    if (m_set.bMotifPr) return 0.0;
    int c[4];
    for (int j = 0; j < 4; ++j) {
        const int from = j / 2, to = j % 2;
        // Aligned blocks add fractional counts; round them to the nearest integer.
        c[j] = static_cast<int>(m_sweep.m_dAlignTranCount[from][to] + m_sweep.m_dTranCount[from][to] +
                                m_par.m_nTranPrior[j] + 0.5);
    }
    double p[2];
    DirichletOrMean(*m_stream, c, 2, collapse, 0, p);
    const double r = logDir(c, 1, 2, 0) + c[2] * m_par.m_dTranPr[1][0] + c[3] * m_par.m_dTranPr[1][1];
    m_par.m_dTranPr[0][0] = std::log(p[0]);
    m_par.m_dTranPr[0][1] = std::log(p[1]);
    return r;
}

// Probabilities of the K + 1 segment types of a module (a site of motif k, or one
// module-background position).
double CSerevan::UpdateMotifTypePr(bool collapse)
{
    if (m_set.bMotifPr) return 0.0;
    const int n = m_nMotifNum + 1;
    for (int k = 0; k < n; ++k) m_sweep.m_pMotifCount[k] += m_par.m_pMotifPrior[k];
    DirichletOrMean(*m_stream, m_sweep.m_pMotifCount.data(), n, collapse, n - 1, m_par.m_pMotifPr.data());
    const double r = logDir(m_sweep.m_pMotifCount.data(), 1, n, 0);
    TakeLogs(m_par.m_pMotifPr.data(), n);
    return r;
}

// Matrices of the motifs that were not given, column by column, plus a Poisson prior of
// mean m_nWidthPrior on each width (without its constant term).
double CSerevan::UpdateMotifMatrices(bool collapse)
{
    double r = 0.0;
    const double logWidthPrior = std::log(static_cast<double>(m_par.m_nWidthPrior));
    const double late = m_set.dLatePseudo;
    const bool lateMeans = collapse && late != 1.0 && m_post.m_bSampling;
    for (int k = m_set.nKnownMotifNum; k < m_nMotifNum; ++k) {
        const int w = m_par.m_pMotifWidth[k];
        int* counts = m_sweep.m_pSiteCount[k].data();
        double* pwm = m_par.m_pPWM[k].data();
        if (lateMeans) {
            r += LatePseudoMeans(counts, w, late, pwm) + w * logWidthPrior - logGamma(w + 1);
            continue;
        }
        for (int j = 0; j < w; ++j) {
            for (int b = 0; b < 4; ++b) counts[4 * j + b] += m_par.m_nPWMPrior[b];
            DirichletOrMean(*m_stream, counts + 4 * j, 4, collapse, 3, pwm + 4 * j);
            TakeLogs(pwm + 4 * j, 4);
        }
        r += logDir(counts, w, 4, 0) + w * logWidthPrior - logGamma(w + 1);
    }
    return r;
}

// The collapsed matrix of one motif under a pseudo-count of x per base (-d, after burn-in): a
// dozen sampled sites per species cannot pin a sharp column down under one pseudo-count per
// base, so the learned matrices came out flatter than the motifs they follow. Returns the log
// posterior term, Dirichlet-multinomial per column, shifted by ln 3! so that x = 1 gives the
// term of the default update.
double CSerevan::LatePseudoMeans(const int* counts, int w, double x, double* pwm)
{
    double r = 0.0;
    for (int j = 0; j < w; ++j) {
        const int* c = counts + 4 * j;
        double* p = pwm + 4 * j;
        int n = 0;
        for (int b = 0; b < 4; ++b) {
            n += c[b];
            for (int i = 0; i < c[b]; ++i) r += std::log(x + i);  // ln Gamma(c + x) - ln Gamma(x)
        }
        for (int i = 0; i < n; ++i) r -= std::log(4.0 * x + i);
        r -= std::log(6.0);
        const double total = n + 4.0 * x;
        double others = 0.0;
        for (int b = 0; b < 3; ++b) {
            p[b] = (c[b] + x) / total;
            others += p[b];
        }
        p[3] = 1.0 - others;
        TakeLogs(p, 4);
    }
    return r;
}

// Base distribution of the ancestral background (entries 0..3 of the pooled table).
double CSerevan::UpdateBgBase()
{
    for (int b = 0; b < 4; ++b) m_sweep.m_nBgAncCount[b] += 1;
    CStochasticDistribution(*m_stream).Dirichlet(m_sweep.m_nBgAncCount, 4, m_par.m_pBg.data());
    const double r = logDir(m_sweep.m_nBgAncCount, 1, 4, 0);
    TakeLogs(m_par.m_pBg.data(), 4);
    return r;
}

// Background substitutions pooled into three classes: transitions (A<->G, C<->T), the two
// transversions of each base (sharing one probability equally) and identities.
double CSerevan::UpdateBgSubst()
{
    int cls[3] = {1, 1, 1};  // transitions, transversions, identities
    for (int a = 0; a < 4; ++a)
        for (int b = 0; b < 4; ++b) {
            const int d = a > b ? a - b : b - a;
            cls[d == 0 ? 2 : (d == 2 ? 0 : 1)] += m_sweep.m_nBgSubCount[a][b];
        }
    double p[3];
    CStochasticDistribution(*m_stream).Dirichlet(cls, 3, p);
    p[1] /= 2.0;
    const double r = logDir(cls, 1, 3, 0) - std::log(2.0) * cls[1];
    const double logTs = std::log(p[0]), logTv = std::log(p[1]), logId = std::log(p[2]);
    for (int a = 0; a < 4; ++a)
        for (int b = 0; b < 4; ++b) {
            const int d = a > b ? a - b : b - a;
            m_par.m_dBgSubst[a][b] = d == 0 ? logId : (d == 2 ? logTs : logTv);
        }
    return r;
}

// Motif substitution rate: redrawn ([0]) against kept ([1]) descendant bases of aligned sites.
double CSerevan::UpdateMotifSubRate()
{
    m_sweep.m_nMotifSubCount[0] += 1;
    m_sweep.m_nMotifSubCount[1] += 1;
    m_par.m_dMotifSubRate =
        CStochasticDistribution(*m_stream).Beta(m_sweep.m_nMotifSubCount[0], m_sweep.m_nMotifSubCount[1]);
    return logDir(m_sweep.m_nMotifSubCount, 1, 2, 0);
}
