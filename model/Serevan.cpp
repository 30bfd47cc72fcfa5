// CSerevan lifecycle: settings, sequences, array shapes, initial parameters, background
// model and the small maintenance operations the loops call.
#include "model/Serevan.h"

#include <algorithm>
#include <cmath>

#include "numeric/SeqMotifBasic.h"

using serevan::kLogZero;

CSerevan::CSerevan(const ModelSettings& settings, ModelGroups& groups, const ModelStart& start, CRandomStream& rng)
    : m_stream(&rng)
{
    SetProgramParam(settings);
    InitialSeq(groups);
    Initialize(start.width.empty() ? nullptr : start.width.data());
    std::vector<const double*> pwm;
    for (const std::vector<double>& m : start.pwm) pwm.push_back(m.data());
    const double* const* matrices = pwm.empty() ? nullptr : pwm.data();
    if (start.given)
        InitialParameter(start.enterPr, start.motifPr.data(), matrices, start.bgSubRate, start.motifSubRate);
    else
        InitialParameter(matrices, m_set.bMotifPr ? &m_set.dMotifPr : nullptr);
    GetAlignPath(groups.alignPath.empty() ? nullptr : groups.alignPath.data(),
                 groups.alignScore.empty() ? nullptr : groups.alignScore.data(),
                 groups.alignInfo.empty() ? nullptr : groups.alignInfo.data(), groups.A);
    m_choice.pwm = start.wordPwm;
    m_choice.width = start.wordWidth;
    m_choice.word = start.word;
    m_choice.first = start.wordFirst;
}

CSerevan::~CSerevan()
{
    FreeMem();
}

void CSerevan::SetProgramParam(const ModelSettings& settings)
{
    m_set = settings;
    m_nMotifNum = settings.nMotifNum;
    m_nSpeciesNum = settings.nSpeciesNum;
    // Held as a plain probability until an InitialParameter call turns the table into logs.
    m_par.m_dTranPr[1][0] = 1.0 / (0.8 * settings.nModuleLen);
}

void CSerevan::InitialSeq(ModelGroups& groups)
{
    const int N = groups.N, G = groups.G;
    m_nSpeciesNum = N;
    m_nGroupNum = G;
    m_firstGroup = groups.firstGroup;
    m_pSeq.assign(N, std::vector<int*>(G, nullptr));
    m_pSeqLen.assign(N, std::vector<int>(G, 0));
    for (int s = 0; s < N; ++s)
        for (int g = 0; g < G; ++g) {
            std::vector<int>& x = groups.seq[static_cast<size_t>(s) * G + g];
            m_pSeq[s][g] = x.data();
            m_pSeqLen[s][g] = static_cast<int>(x.size());
        }
    m_pSeqName = groups.names.empty() ? nullptr : groups.names.data();
    m_pTemplate.clear();
    m_pTemplateLen.clear();
    for (const std::vector<int>& t : groups.templ) {
        m_pTemplate.push_back(t.data());
        m_pTemplateLen.push_back(static_cast<int>(t.size()));
    }
    m_pCurAlign.assign(G, 0);
    m_par.m_bgModel = groups.bg;
}

void CSerevan::Initialize(const int* width)
{
    const int K = m_nMotifNum, N = m_nSpeciesNum;
    m_par.m_nWidthPrior = 10;
    m_par.m_pMotifWidth.assign(K + 1, 1);
    for (int k = 0; k < K; ++k)
        m_par.m_pMotifWidth[k] = width ? width[k] : (m_set.nMinMotifWidth + m_set.nMaxMotifWidth) / 2;

    m_par.m_pMotifPr.assign(K + 1, 0.0);
    m_par.m_pPWM.assign(K, std::vector<double>());
    m_res.m_pSiteMatrix.assign(K, std::vector<double>());
    m_par.m_pMotifPhi.assign(K, std::vector<std::array<double, 16>>());
    m_sweep.m_pSiteCount.assign(K, std::vector<int>());
    for (int k = 0; k < K; ++k) {
        const int w = m_par.m_pMotifWidth[k];
        m_par.m_pPWM[k].assign(4 * w, 0.0);
        m_res.m_pSiteMatrix[k].assign(4 * w, 0.0);
        m_par.m_pMotifPhi[k].assign(w, std::array<double, 16>{});
        m_sweep.m_pSiteCount[k].assign(4 * w, 0);
    }
    m_sweep.m_pMotifCount.assign(K + 1, 0);
    m_sweep.m_pEdgeStat.assign(4 * K, SITECOL());
    for (SITECOL& e : m_sweep.m_pEdgeStat) e.speciesCount.assign(4 * N, 0);

    for (int i = 0; i < 4; ++i) m_par.m_nTranPrior[i] = 1, m_par.m_nPWMPrior[i] = 1;
    m_par.m_pMotifPrior.assign(K + 1, 1);

    // Per-position accumulators, all zero.
    m_post = EmptySums();
}

namespace {

// Motif-mode transition table: every position is a module position.
void SetAllModuleTransitions(double tran[2][2])
{
    tran[0][0] = tran[1][0] = kLogZero;
    tran[0][1] = tran[1][1] = 0.0;
}

}  // namespace

void CSerevan::InitialParameter(const double* const* pwm, const double* motifPr)
{
    const int K = m_nMotifNum;
    long long total = 0;
    for (int s = 0; s < m_nSpeciesNum; ++s)
        for (int g = 0; g < m_nGroupNum; ++g) total += m_pSeqLen[s][g];
    const long long denom = static_cast<long long>(m_nSpeciesNum) * m_nGroupNum;
    const long long meanLen = denom > 0 ? total / denom : 0;
    const double pExit = m_par.m_dTranPr[1][0];

    double p = 0.0;
    if (m_set.bMotifMode) {
        SetAllModuleTransitions(m_par.m_dTranPr);
        p = motifPr ? *motifPr : 1.0 / static_cast<double>(meanLen);
    } else {
        m_par.m_dTranPr[0][0] = std::log(0.9995);
        m_par.m_dTranPr[0][1] = std::log(0.0005);
        m_par.m_dTranPr[1][0] = std::log(pExit);
        m_par.m_dTranPr[1][1] = std::log(1.0 - pExit);
        p = motifPr ? *motifPr : pExit;
    }
    double sum = 0.0;
    for (int k = 0; k < K; ++k) {
        m_par.m_pMotifPr[k] = std::log(p);
        sum += p;
    }
    m_par.m_pMotifPr[K] = std::log(1.0 - sum);

    for (int k = 0; k < K; ++k)
        for (int i = 0; i < 4 * m_par.m_pMotifWidth[k]; ++i) m_par.m_pPWM[k][i] = pwm ? pwm[k][i] : std::log(0.25);

    for (int a = 0; a < 4; ++a)
        for (int b = 0; b < 4; ++b) {
            if (a == b)
                m_par.m_dBgSubst[a][b] = std::log(0.9);
            else if ((a - b == 2) || (b - a == 2))
                m_par.m_dBgSubst[a][b] = std::log(0.06);
            else
                m_par.m_dBgSubst[a][b] = std::log(0.02);
        }
    m_par.m_dMotifSubRate = 0.01;
    CalMotifPhi();
}

void CSerevan::InitialParameter(double enterPr, const double* motifPr, const double* const* pwm, double bgSubRate,
                                double motifSubRate)
{
    const int K = m_nMotifNum;
    const double pExit = m_par.m_dTranPr[1][0];
    if (m_set.bMotifMode) {
        SetAllModuleTransitions(m_par.m_dTranPr);
    } else {
        m_par.m_dTranPr[0][0] = std::log(1.0 - enterPr);
        m_par.m_dTranPr[0][1] = std::log(enterPr);
        m_par.m_dTranPr[1][0] = std::log(pExit);
        m_par.m_dTranPr[1][1] = std::log(1.0 - pExit);
    }
    // A probability of 0 switches a motif off (log zero, never drawn).
    for (int k = 0; k <= K; ++k) m_par.m_pMotifPr[k] = motifPr[k] > 0.0 ? std::log(motifPr[k]) : serevan::kLogZero;
    for (int k = 0; k < K; ++k)
        for (int i = 0; i < 4 * m_par.m_pMotifWidth[k]; ++i) m_par.m_pPWM[k][i] = pwm ? pwm[k][i] : std::log(0.25);
    const double mu = bgSubRate;
    for (int a = 0; a < 4; ++a)
        for (int b = 0; b < 4; ++b) {
            if (a == b)
                m_par.m_dBgSubst[a][b] = std::log(1.0 - mu);
            else if ((a - b == 2) || (b - a == 2))
                m_par.m_dBgSubst[a][b] = std::log(0.6 * mu);
            else
                m_par.m_dBgSubst[a][b] = std::log(0.2 * mu);
        }
    m_par.m_dMotifSubRate = motifSubRate;
    CalMotifPhi();
}

void CSerevan::GetAlignPath(ALIGNPATH* paths, double* scores, int* info, int nAlign)
{
    m_pAlignPath = paths;
    m_pAlignScore = scores;
    m_pAlignInfo = info;
    m_nAlignNum = nAlign;
    m_pCurAlign.assign(m_nGroupNum, 0);
}

void CSerevan::CalMotifPhi()
{
    const double lambda = m_par.m_dMotifSubRate;
    const double logLambda = std::log(lambda);
    for (int k = 0; k < m_nMotifNum; ++k)
        for (int j = 0; j < m_par.m_pMotifWidth[k]; ++j) {
            std::array<double, 16>& phi = m_par.m_pMotifPhi[k][j];
            for (int a = 0; a < 4; ++a)
                for (int b = 0; b < 4; ++b) phi[4 * a + b] = logLambda + m_par.m_pPWM[k][4 * j + b];
            // The descendant keeps the ancestral base with probability 1 - lambda.
            for (int a = 0; a < 4; ++a) phi[5 * a] = std::log(std::exp(phi[5 * a]) + 1.0 - lambda);
        }
}

void CSerevan::MSBuildBackground()
{
    const int N = m_nSpeciesNum, G = m_nGroupNum;
    m_par.m_pSpeciesBg.assign(N, std::array<double, 20>{});
    for (int s = 0; s < N; ++s) BuildBackground(m_pSeq[s].data(), m_pSeqLen[s].data(), G, m_par.m_pSpeciesBg[s].data());
    for (int i = 0; i < 20; ++i) {
        double sum = 0.0;
        for (int s = 0; s < N; ++s) sum += std::exp(m_par.m_pSpeciesBg[s][i]);
        m_par.m_pBg[i] = std::log(sum / N);
    }
    m_par.m_bgContext.clear();
    m_par.m_groupBg.clear();
    const CMarkovBackground* order = OrderBackground();
    if (!order) return;
    if (m_set.dLocalBg > 0.0) {
        // A group richer in C+G (or A+T) than the rest, or in its own short repeats, is
        // explained by its own background, not by a motif (model/background.md).
        std::vector<std::vector<std::pair<const int*, int>>> groups(G);
        for (int s = 0; s < N; ++s)
            for (int g = 0; g < G; ++g) groups[g].emplace_back(m_pSeq[s][g], m_pSeqLen[s][g]);
        m_par.m_groupBg = order->LocalToGroups(groups, m_set.dLocalBg);
    }
    m_par.m_bgContext.assign(N, std::vector<std::vector<int>>(G));
    for (int s = 0; s < N; ++s)
        for (int g = 0; g < G; ++g) {
            std::vector<int>& ctx = m_par.m_bgContext[s][g];
            ctx.resize(m_pSeqLen[s][g]);
            for (int p = 0; p < m_pSeqLen[s][g]; ++p) ctx[p] = order->ContextOffset(m_pSeq[s][g], p);
        }
}

void CSerevan::RenewWdParameters(int k, int /*oldWidth*/)
{
    const int w = m_par.m_pMotifWidth[k];
    m_par.m_pPWM[k].assign(4 * w, 0.0);
    m_res.m_pSiteMatrix[k].assign(4 * w, 0.0);
    m_par.m_pMotifPhi[k].assign(w, std::array<double, 16>{});
}

void ClearSweepCounts(SweepCounts& c, const std::vector<int>& widths, int K, int N)
{
    for (int a = 0; a < 2; ++a)
        for (int b = 0; b < 2; ++b) c.m_dTranCount[a][b] = c.m_dAlignTranCount[a][b] = 0.0;
    c.m_pMotifCount.assign(static_cast<size_t>(K) + 1, 0);
    c.m_pSiteCount.resize(K);
    for (int k = 0; k < K; ++k) c.m_pSiteCount[k].assign(4 * static_cast<size_t>(widths[k]), 0);
    c.m_pEdgeStat.resize(4 * static_cast<size_t>(K));
    for (SITECOL& e : c.m_pEdgeStat) {
        e.speciesCount.assign(4 * static_cast<size_t>(N), 0);
        for (int b = 0; b < 4; ++b) e.ancCount[b] = e.subCount[b] = e.sameCount[b] = 0;
        e.transitionNum = e.transversionNum = 0;
    }
    for (int a = 0; a < 4; ++a) {
        c.m_nBgAncCount[a] = 0;
        for (int b = 0; b < 4; ++b) c.m_nBgSubCount[a][b] = 0;
    }
    c.m_nMotifSubCount[0] = c.m_nMotifSubCount[1] = 0;
}

void CSerevan::ClearSuffStat()
{
    ClearSweepCounts(m_sweep, m_par.m_pMotifWidth, m_nMotifNum, m_nSpeciesNum);
}

void CSerevan::FreeMem()
{
    m_pSeqLen.clear();
    m_pSeq.clear();
    m_pCurAlign.clear();
    m_par.m_pSpeciesBg.clear();
    m_par.m_pMotifPr.clear();
    m_par.m_pPWM.clear();
    m_res.m_pSiteMatrix.clear();
    m_par.m_pMotifPhi.clear();
    m_sweep.m_pSiteCount.clear();
    m_sweep.m_pEdgeStat.clear();
    m_par.m_pMotifWidth.clear();
    m_post.m_pWidthSum.clear();
    m_sweep.m_pMotifCount.clear();
    m_par.m_pMotifPrior.clear();
    m_post.m_pSiteFreq.clear();
    m_post.m_pModuleFreq.clear();
    m_post.m_pAlignFreq.clear();
    m_post.m_pRefAlignFreq.clear();
    m_res.m_pOutputSite.clear();
    m_bSitesDefined = false;
    m_res.m_pModuleList.clear();
    m_res.m_pSpeciesSummary.clear();
}
