// CSerevan lifecycle: settings, sequences, array shapes, initial parameters, background
// model and the small maintenance operations the loops call.
#include "model/Serevan.h"

#include <algorithm>
#include <cmath>

#include "numeric/SeqMotifBasic.h"

using serevan::kLogZero;

CSerevan::CSerevan(CRandomStream& rng) : m_rng(rng) {}

CSerevan::~CSerevan()
{
    FreeMem();
}

void CSerevan::SetProgramParam(const INPUTPARAMETER* param)
{
    m_nIterNum = param->nMaxIterNum;
    m_bBothStrand = param->bBothStrands;
    m_nMinWidth = param->nMinMotifWidth;
    m_nMaxWidth = param->nMaxMotifWidth;
    m_bMaskLowComplex = param->bMaskLowComplexity;
    m_nMotifNum = param->nMotifNum;
    m_bMotifMode = param->bMotifMode;
    m_nKnownMotifNum = param->nKnownMotifNum;
    m_nSpeciesNum = param->nSpeciesNum;
    m_bFixMotifPr = param->bMotifPr;
    // Held as a plain probability until an InitialParameter call turns the table into logs.
    m_dTranPr[1][0] = 1.0 / (0.8 * param->nModuleLen);
    m_sOutFile = param->strOutputFile;
    m_dAlignUpdatePr = param->dAlignUpdatePr;
    m_sCommandLine = param->strParamLine;
    m_dPostCutoff = param->dPostCutoff;
    m_bCollapse = param->bCollapsed;
}

void CSerevan::InitialSeq(int nSpecies, int nGroup, int* const* seq, const int* seqLen, CString* names,
                          int* const* templates, const int* templateLen)
{
    m_nSpeciesNum = nSpecies;
    m_nGroupNum = nGroup;
    m_pSeq.assign(nSpecies, std::vector<int*>(nGroup, nullptr));
    m_pSeqLen.assign(nSpecies, std::vector<int>(nGroup, 0));
    for (int s = 0; s < nSpecies; ++s)
        for (int g = 0; g < nGroup; ++g) {
            m_pSeq[s][g] = seq[s * nGroup + g];
            m_pSeqLen[s][g] = seqLen[s * nGroup + g];
        }
    m_pSeqName = names;
    m_pTemplate = templates;
    m_pTemplateLen = templateLen;
    m_pCurAlign.assign(nGroup, 0);
}

void CSerevan::Initialize(const int* width)
{
    const int K = m_nMotifNum, N = m_nSpeciesNum, G = m_nGroupNum;
    m_nWidthPrior = 10;
    m_pMotifWidth.assign(K + 1, 1);
    for (int k = 0; k < K; ++k) m_pMotifWidth[k] = width ? width[k] : (m_nMinWidth + m_nMaxWidth) / 2;

    m_pWidthSum.assign(K, 0.0);
    m_pMotifPr.assign(K + 1, 0.0);
    m_pPWM.assign(K, std::vector<double>());
    m_pSiteMatrix.assign(K, std::vector<double>());
    m_pMotifPhi.assign(K, std::vector<std::array<double, 16>>());
    m_pSiteCount.assign(K, std::vector<int>());
    for (int k = 0; k < K; ++k) {
        const int w = m_pMotifWidth[k];
        m_pPWM[k].assign(4 * w, 0.0);
        m_pSiteMatrix[k].assign(4 * w, 0.0);
        m_pMotifPhi[k].assign(w, std::array<double, 16>{});
        m_pSiteCount[k].assign(4 * w, 0);
    }
    m_pMotifCount.assign(K + 1, 0);
    m_pEdgeStat.assign(4 * K, SITECOL());
    for (SITECOL& e : m_pEdgeStat) e.speciesCount.assign(4 * N, 0);

    for (int i = 0; i < 4; ++i) m_nTranPrior[i] = 1, m_nPWMPrior[i] = 1;
    m_pMotifPrior.assign(K + 1, 1);

    m_pSiteFreq.assign(K, std::vector<std::vector<int>>(N * G));
    m_pModuleFreq.assign(N * G, std::vector<int>());
    m_pAlignFreq.assign(N * G, std::vector<int>());
    for (int s = 0; s < N; ++s)
        for (int g = 0; g < G; ++g) {
            const int slot = s * G + g, L = m_pSeqLen[s][g];
            for (int k = 0; k < K; ++k) m_pSiteFreq[k][slot].assign(L, 0);
            m_pModuleFreq[slot].assign(L, 0);
            m_pAlignFreq[slot].assign(L, 0);
        }
    m_pRefAlignFreq.assign(G, std::vector<int>());
    for (int g = 0; g < G; ++g) m_pRefAlignFreq[g].assign(N > 0 ? m_pSeqLen[0][g] : 0, 0);
}

namespace {

// Motif-mode transition table: every position is a module position.
void SetAllModuleTransitions(double tran[2][2])
{
    tran[0][0] = tran[1][0] = kLogZero;
    tran[0][1] = tran[1][1] = 0.0;
}

}  // namespace

void CSerevan::InitialParameter(double* const* pwm, const double* motifPr)
{
    const int K = m_nMotifNum;
    long long total = 0;
    for (int s = 0; s < m_nSpeciesNum; ++s)
        for (int g = 0; g < m_nGroupNum; ++g) total += m_pSeqLen[s][g];
    const long long denom = static_cast<long long>(m_nSpeciesNum) * m_nGroupNum;
    const long long meanLen = denom > 0 ? total / denom : 0;
    const double pExit = m_dTranPr[1][0];

    double p = 0.0;
    if (m_bMotifMode) {
        SetAllModuleTransitions(m_dTranPr);
        p = motifPr ? *motifPr : 1.0 / static_cast<double>(meanLen);
    } else {
        m_dTranPr[0][0] = std::log(0.9995);
        m_dTranPr[0][1] = std::log(0.0005);
        m_dTranPr[1][0] = std::log(pExit);
        m_dTranPr[1][1] = std::log(1.0 - pExit);
        p = motifPr ? *motifPr : pExit;
    }
    double sum = 0.0;
    for (int k = 0; k < K; ++k) {
        m_pMotifPr[k] = std::log(p);
        sum += p;
    }
    m_pMotifPr[K] = std::log(1.0 - sum);

    for (int k = 0; k < K; ++k)
        for (int i = 0; i < 4 * m_pMotifWidth[k]; ++i) m_pPWM[k][i] = pwm ? pwm[k][i] : std::log(0.25);

    for (int a = 0; a < 4; ++a)
        for (int b = 0; b < 4; ++b) {
            if (a == b)
                m_dBgSubst[a][b] = std::log(0.9);
            else if ((a - b == 2) || (b - a == 2))
                m_dBgSubst[a][b] = std::log(0.06);
            else
                m_dBgSubst[a][b] = std::log(0.02);
        }
    m_dMotifSubRate = 0.01;
    CalMotifPhi();
}

void CSerevan::InitialParameter(double enterPr, const double* motifPr, double* const* pwm, double bgSubRate,
                                double motifSubRate)
{
    const int K = m_nMotifNum;
    const double pExit = m_dTranPr[1][0];
    if (m_bMotifMode) {
        SetAllModuleTransitions(m_dTranPr);
    } else {
        m_dTranPr[0][0] = std::log(1.0 - enterPr);
        m_dTranPr[0][1] = std::log(enterPr);
        m_dTranPr[1][0] = std::log(pExit);
        m_dTranPr[1][1] = std::log(1.0 - pExit);
    }
    // A probability of 0 switches a motif off (log zero, never drawn).
    for (int k = 0; k <= K; ++k) m_pMotifPr[k] = motifPr[k] > 0.0 ? std::log(motifPr[k]) : serevan::kLogZero;
    for (int k = 0; k < K; ++k)
        for (int i = 0; i < 4 * m_pMotifWidth[k]; ++i) m_pPWM[k][i] = pwm ? pwm[k][i] : std::log(0.25);
    const double mu = bgSubRate;
    for (int a = 0; a < 4; ++a)
        for (int b = 0; b < 4; ++b) {
            if (a == b)
                m_dBgSubst[a][b] = std::log(1.0 - mu);
            else if ((a - b == 2) || (b - a == 2))
                m_dBgSubst[a][b] = std::log(0.6 * mu);
            else
                m_dBgSubst[a][b] = std::log(0.2 * mu);
        }
    m_dMotifSubRate = motifSubRate;
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
    const double lambda = m_dMotifSubRate;
    const double logLambda = std::log(lambda);
    for (int k = 0; k < m_nMotifNum; ++k)
        for (int j = 0; j < m_pMotifWidth[k]; ++j) {
            std::array<double, 16>& phi = m_pMotifPhi[k][j];
            for (int a = 0; a < 4; ++a)
                for (int b = 0; b < 4; ++b) phi[4 * a + b] = logLambda + m_pPWM[k][4 * j + b];
            // The descendant keeps the ancestral base with probability 1 - lambda.
            for (int a = 0; a < 4; ++a) phi[5 * a] = std::log(std::exp(phi[5 * a]) + 1.0 - lambda);
        }
}

void CSerevan::MSBuildBackground()
{
    const int N = m_nSpeciesNum, G = m_nGroupNum;
    m_pSpeciesBg.assign(N, std::array<double, 20>{});
    for (int s = 0; s < N; ++s) BuildBackground(m_pSeq[s].data(), m_pSeqLen[s].data(), G, m_pSpeciesBg[s].data());
    for (int i = 0; i < 20; ++i) {
        double sum = 0.0;
        for (int s = 0; s < N; ++s) sum += std::exp(m_pSpeciesBg[s][i]);
        m_pBg[i] = std::log(sum / N);
    }
    m_bgContext.clear();
    if (m_bgModel.Empty()) return;
    m_bgContext.assign(N, std::vector<std::vector<int>>(G));
    for (int s = 0; s < N; ++s)
        for (int g = 0; g < G; ++g) {
            std::vector<int>& ctx = m_bgContext[s][g];
            ctx.resize(m_pSeqLen[s][g]);
            for (int p = 0; p < m_pSeqLen[s][g]; ++p) ctx[p] = m_bgModel.ContextOffset(m_pSeq[s][g], p);
        }
}

void CSerevan::RenewWdParameters(int k, int /*oldWidth*/)
{
    const int w = m_pMotifWidth[k];
    m_pPWM[k].assign(4 * w, 0.0);
    m_pSiteMatrix[k].assign(4 * w, 0.0);
    m_pMotifPhi[k].assign(w, std::array<double, 16>{});
}

void CSerevan::ClearSuffStat()
{
    for (int a = 0; a < 2; ++a)
        for (int b = 0; b < 2; ++b) m_dTranCount[a][b] = m_dAlignTranCount[a][b] = 0.0;
    std::fill(m_pMotifCount.begin(), m_pMotifCount.end(), 0);
    for (std::vector<int>& c : m_pSiteCount) std::fill(c.begin(), c.end(), 0);
    for (SITECOL& e : m_pEdgeStat) {
        std::fill(e.speciesCount.begin(), e.speciesCount.end(), 0);
        for (int b = 0; b < 4; ++b) e.ancCount[b] = e.subCount[b] = e.sameCount[b] = 0;
        e.transitionNum = e.transversionNum = 0;
    }
    for (int a = 0; a < 4; ++a) {
        m_nBgAncCount[a] = 0;
        for (int b = 0; b < 4; ++b) m_nBgSubCount[a][b] = 0;
    }
    m_nMotifSubCount[0] = m_nMotifSubCount[1] = 0;
}

void CSerevan::FreeMem()
{
    m_pSeqLen.clear();
    m_pSeq.clear();
    m_pCurAlign.clear();
    m_pSpeciesBg.clear();
    m_pMotifPr.clear();
    m_pPWM.clear();
    m_pSiteMatrix.clear();
    m_pMotifPhi.clear();
    m_pSiteCount.clear();
    m_pEdgeStat.clear();
    m_pMotifWidth.clear();
    m_pWidthSum.clear();
    m_pMotifCount.clear();
    m_pMotifPrior.clear();
    m_pSiteFreq.clear();
    m_pModuleFreq.clear();
    m_pAlignFreq.clear();
    m_pRefAlignFreq.clear();
    m_pOutputSite.clear();
    m_bSitesDefined = false;
    m_pModuleList.clear();
    m_pSpeciesSummary.clear();
}
