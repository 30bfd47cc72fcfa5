// Motif width moves: every motif that was not given proposes to grow or shrink by one
// column at one end; a Metropolis-Hastings test weighs the Bayes factor of that edge column
// (motif column against background, from this sweep's edge statistics) with a Poisson
// prior of mean m_nWidthPrior on the width. Only the width and the base counts move here;
// the parameter update that follows draws the matrix of the new width.
//
// Move codes (edge record 4k + m): 0 add a column before the first, 1 drop the first,
// 2 drop the last, 3 add a column after the last.
#include <algorithm>
#include <cmath>

#include "model/Serevan.h"
#include "numeric/SeqMotifBasic.h"
#include "numeric/StochasticDistribution.h"

using serevan::kLogZero;

namespace {

// n * logP, where a count of zero adds nothing even when the probability is zero.
double CountTimesLog(int n, double logP)
{
    return n == 0 ? 0.0 : n * logP;
}

bool IsGrowth(int move)
{
    return move == 0 || move == 3;
}

}  // namespace

double CSerevan::BayesFactorWidth(int k, int move, int* column)
{
    const SITECOL& e = m_sweep.m_pEdgeStat[4 * k + move];
    const double lambda = m_par.m_dMotifSubRate;
    CStochasticDistribution rnd(*m_stream);

    // Descendants equal to their ancestor: the share that the motif model redrew.
    int redrawn[4];
    for (int b = 0; b < 4; ++b) redrawn[b] = rnd.Bin(e.sameCount[b], lambda);

    int subTotal = 0, sameTotal = 0;
    double background = 0.0;  // log-probability of the column's bases under the background
    for (int b = 0; b < 4; ++b) {
        column[b] = redrawn[b] + e.subCount[b] + e.ancCount[b];
        subTotal += e.subCount[b];
        sameTotal += e.sameCount[b];
        background += CountTimesLog(e.ancCount[b], m_par.m_pBg[b]);
    }
    for (int s = 0; s < m_nSpeciesNum; ++s)
        for (int b = 0; b < 4; ++b) {
            const int n = e.speciesCount[4 * s + b];
            column[b] += n;
            background += CountTimesLog(n, m_par.m_pSpeciesBg[s][b]);
        }
    background += CountTimesLog(sameTotal, m_par.m_dBgSubst[0][0]) +
                  CountTimesLog(e.transitionNum, m_par.m_dBgSubst[0][2]) +
                  CountTimesLog(e.transversionNum, m_par.m_dBgSubst[0][1]);

    double bf = CountTimesLog(subTotal, std::log(lambda)) - background;
    int total = 0;
    for (int b = 0; b < 4; ++b) {
        bf += logGamma(column[b] + 1);
        total += column[b];
    }
    return bf - logGamma(total + 4);
}

void CSerevan::UpdateWidth()
{
    CStochasticDistribution rnd(*m_stream);
    const double logPrior = std::log(static_cast<double>(m_par.m_nWidthPrior));
    // A motif keeps at least one column whatever -w says: a site of width 0 would never
    // advance the backward pass.
    const int minWidth = std::max(m_set.nMinMotifWidth, 1);
    for (int k = m_set.nKnownMotifNum; k < m_nMotifNum; ++k) {
        const int w = m_par.m_pMotifWidth[k];
        const int move = m_stream->Next() % 4;
        int column[4] = {0, 0, 0, 0};
        const double bf = BayesFactorWidth(k, move, column);
        const bool grow = IsGrowth(move);
        double logRatio;
        if (grow)
            logRatio = w >= m_set.nMaxMotifWidth ? kLogZero : logPrior - std::log(w + 1.0) + bf;
        else
            logRatio = w <= minWidth ? kLogZero : std::log(static_cast<double>(w)) - logPrior - bf;

        bool accept = logRatio > 0.0;
        if (!accept && logRatio > -300.0) accept = std::exp(logRatio) > rnd.Uniform(0.0, 1.0);
        if (!accept) continue;

        ShiftSiteCount(k, move, column);
        m_par.m_pMotifWidth[k] = grow ? w + 1 : w - 1;
        RenewWdParameters(k, w);
    }
}

void CSerevan::ShiftSiteCount(int k, int move, const int* column)
{
    std::vector<int>& counts = m_sweep.m_pSiteCount[k];
    switch (move) {
    case 0: counts.insert(counts.begin(), column, column + 4); break;
    case 1: counts.erase(counts.begin(), counts.begin() + 4); break;
    case 2: counts.resize(counts.size() - 4); break;
    default: counts.insert(counts.end(), column, column + 4); break;
    }
}
