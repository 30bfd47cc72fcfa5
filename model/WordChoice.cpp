// The choice of the starting motifs among word matrices by the likelihood (-j). The words'
// ranking scores each word alone; a sparse module pays for its entry only with the sites of
// several motifs together, so a word that ranks low may be the one that, beside another,
// explains the modules. The learned motifs are filled one at a time: the first takes the
// first-th best single matrix (chains differ there), each later one the matrix that raises
// the forward likelihood of all groups most given those before, with every motif at its
// starting site probability and the motifs not filled yet given no site.
#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "model/Serevan.h"
#include "numeric/SeqMotifBasic.h"

using serevan::kLogZero;

double CSerevan::LogLikFilledTo(int fill, const std::vector<double>& startPr)
{
    const int K = m_nMotifNum;
    if (fill >= K) {
        m_par.m_pMotifPr = startPr;
        CalMotifPhi();
        return SelectionLogLik();
    }
    double used = 0.0;
    for (int k = 0; k < K; ++k) {
        m_par.m_pMotifPr[k] = k < fill ? startPr[k] : kLogZero;
        if (k < fill) used += std::exp(startPr[k]);
    }
    m_par.m_pMotifPr[K] = std::log(1.0 - used);
    CalMotifPhi();
    return SelectionLogLik();
}

void CSerevan::ChooseStartWords()
{
    const int K = m_nMotifNum, M = static_cast<int>(m_choice.pwm.size());
    const std::vector<double> startPr = m_par.m_pMotifPr;
    const auto place = [this](int k, int c) {
        const int oldWidth = m_par.m_pMotifWidth[k];
        m_par.m_pMotifWidth[k] = m_choice.width[c];
        RenewWdParameters(k, oldWidth);
        m_par.m_pPWM[k] = m_choice.pwm[c];
    };

    const double before = LogLikFilledTo(K, startPr);
    m_choice.chosen.assign(K - m_set.nKnownMotifNum, -1);
    std::vector<char> taken(M, 0);
    std::vector<std::pair<double, int>> scored;
    for (int k = m_set.nKnownMotifNum; k < K; ++k) {
        scored.clear();
        for (int c = 0; c < M; ++c) {
            if (taken[c]) continue;
            place(k, c);
            scored.emplace_back(LogLikFilledTo(k + 1, startPr), c);
        }
        if (scored.empty()) break;  // fewer candidates than motifs: the rest keep their start
        // Best first; ties keep the better-ranked word.
        std::stable_sort(scored.begin(), scored.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
        const size_t pick = k == m_set.nKnownMotifNum ? static_cast<size_t>(m_choice.first) % scored.size() : 0;
        const int c = scored[pick].second;
        place(k, c);
        taken[c] = 1;
        m_choice.chosen[k - m_set.nKnownMotifNum] = c;
    }
    m_choice.gain = LogLikFilledTo(K, startPr) - before;
}
