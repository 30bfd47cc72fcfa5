// Model lifecycle: settings, sequence slots, array shapes, initial parameters, the motif
// substitution matrices, the pooled background and the maintenance operations.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "app/InputParameter.h"
#include "model/Serevan.h"

namespace {

// Two species, two groups; sequences held by the test as a driver would hold them.
struct Driver {
    std::vector<std::vector<int>> seq{
        {0, 1, 2, 3, 0, 1, 2, 3, 0, 1}, {0, 0, 1}, {2, 2, 2, 2, 3, 3, 3, 3, 1, 0, 0, 1, 2}, {3}};
    std::vector<int*> ptr;
    std::vector<int> len;
    std::vector<CString> names{"a0", "a1", "b0", "b1"};
    Driver()
    {
        for (auto& s : seq) {
            ptr.push_back(s.data());
            len.push_back(static_cast<int>(s.size()));
        }
    }
};

void Build(CSerevan& m, Driver& d, INPUTPARAMETER& p, const int* widths = nullptr)
{
    p.nSpeciesNum = 2;
    m.SetProgramParam(&p);
    m.InitialSeq(2, 2, d.ptr.data(), d.len.data(), d.names.data(), nullptr, nullptr);
    m.Initialize(widths);
}

}  // namespace

TEST(ModelLifecycle, WidthsFromTheBoundsAndShapes)
{
    Driver d;
    INPUTPARAMETER p;
    CSerevan m;
    Build(m, d, p);
    EXPECT_EQ(m.m_pMotifWidth, (std::vector<int>{12, 12, 12, 1}));  // (10 + 14) / 2; element K is 1
    EXPECT_EQ(m.m_nWidthPrior, 10);
    EXPECT_EQ(m.m_pPWM[1].size(), 48u);
    EXPECT_EQ(m.m_pMotifPhi[2].size(), 12u);
    EXPECT_EQ(m.m_pEdgeStat.size(), 12u);
    EXPECT_EQ(m.m_pEdgeStat[5].speciesCount.size(), 8u);
    EXPECT_EQ(m.m_pMotifPrior, (std::vector<int>{1, 1, 1, 1}));
    // Slot s * G + g: species 1 of group 0 is the third sequence of the driver.
    EXPECT_EQ(m.m_pSeq[1][0], d.ptr[2]);
    EXPECT_EQ(m.m_pSeqLen[1][0], 13);
    EXPECT_EQ(m.m_pModuleFreq[2].size(), 13u);
    EXPECT_EQ(m.m_pSiteFreq[2][3].size(), 1u);
    EXPECT_EQ(m.m_pRefAlignFreq[1].size(), 3u);  // species 0 of group 1

    INPUTPARAMETER odd;
    odd.nMinMotifWidth = 8;
    odd.nMaxMotifWidth = 15;
    CSerevan m2;
    Build(m2, d, odd);
    EXPECT_EQ(m2.m_pMotifWidth[0], 11);

    const int given[3] = {6, 9, 20};
    CSerevan m3;
    Build(m3, d, p, given);
    EXPECT_EQ(m3.m_pMotifWidth, (std::vector<int>{6, 9, 20, 1}));
    EXPECT_EQ(m3.m_pSiteCount[2].size(), 80u);
}

TEST(ModelLifecycle, InitialParametersOfTheDeNovoRun)
{
    Driver d;
    INPUTPARAMETER p;  // -L 200, K = 3
    CSerevan m;
    Build(m, d, p);
    m.InitialParameter(nullptr, nullptr);
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(std::exp(m.m_pMotifPr[k]), 0.00625, 1e-15);
    EXPECT_NEAR(std::exp(m.m_pMotifPr[3]), 0.98125, 1e-15);
    EXPECT_DOUBLE_EQ(m.m_dTranPr[0][0], std::log(0.9995));
    EXPECT_DOUBLE_EQ(m.m_dTranPr[0][1], std::log(0.0005));
    EXPECT_DOUBLE_EQ(m.m_dTranPr[1][0], std::log(0.00625));
    EXPECT_DOUBLE_EQ(m.m_dTranPr[1][1], std::log(1 - 0.00625));
    EXPECT_DOUBLE_EQ(m.m_pPWM[0][17], std::log(0.25));
    for (int a = 0; a < 4; ++a) {
        double row = 0;
        for (int b = 0; b < 4; ++b) row += std::exp(m.m_dBgSubst[a][b]);
        EXPECT_NEAR(row, 1.0, 1e-15);
    }
    EXPECT_DOUBLE_EQ(m.m_dBgSubst[0][2], std::log(0.06));  // A -> G, a transition
    EXPECT_DOUBLE_EQ(m.m_dBgSubst[1][2], std::log(0.02));  // C -> G, a transversion
    EXPECT_DOUBLE_EQ(m.m_dBgSubst[3][3], std::log(0.9));
    EXPECT_EQ(m.m_dMotifSubRate, 0.01);

    // -q: the given site probability; given matrices are copied.
    const double q = 0.01;
    std::vector<std::vector<double>> pwm(3, std::vector<double>(48));
    for (int k = 0; k < 3; ++k)
        for (int i = 0; i < 48; ++i) pwm[k][i] = -0.1 * (i + k);
    double* pp[3] = {pwm[0].data(), pwm[1].data(), pwm[2].data()};
    CSerevan mq;
    Build(mq, d, p);
    mq.InitialParameter(pp, &q);
    EXPECT_NEAR(std::exp(mq.m_pMotifPr[1]), 0.01, 1e-15);
    EXPECT_NEAR(std::exp(mq.m_pMotifPr[3]), 0.97, 1e-15);
    EXPECT_EQ(mq.m_pPWM[2], pwm[2]);
}

TEST(ModelLifecycle, MotifModeUsesTheIntegerMeanLength)
{
    Driver d;  // lengths 10, 3, 13, 1: sum 27 over 4 sequences -> M = 6
    INPUTPARAMETER p;
    p.bMotifMode = true;
    p.nMotifNum = 2;
    CSerevan m;
    Build(m, d, p);
    m.InitialParameter(nullptr, nullptr);
    EXPECT_NEAR(std::exp(m.m_pMotifPr[0]), 1.0 / 6, 1e-15);
    EXPECT_NEAR(std::exp(m.m_pMotifPr[2]), 1.0 - 2.0 / 6, 1e-15);
    EXPECT_EQ(m.m_dTranPr[0][0], -1e100);
    EXPECT_EQ(m.m_dTranPr[1][0], -1e100);
    EXPECT_EQ(m.m_dTranPr[0][1], 0.0);
    EXPECT_EQ(m.m_dTranPr[1][1], 0.0);
}

TEST(ModelLifecycle, GivenParameterOverload)
{
    Driver d;
    INPUTPARAMETER p;
    p.nMotifNum = 1;
    p.nModuleLen = 100;
    CSerevan m;
    Build(m, d, p);
    const double pr[2] = {0.2, 0.8};
    m.InitialParameter(0.001, pr, nullptr, 0.1, 0.05);
    EXPECT_DOUBLE_EQ(m.m_dTranPr[0][0], std::log(0.999));
    EXPECT_DOUBLE_EQ(m.m_dTranPr[0][1], std::log(0.001));
    EXPECT_DOUBLE_EQ(m.m_dTranPr[1][0], std::log(1.0 / 80));
    EXPECT_DOUBLE_EQ(m.m_pMotifPr[0], std::log(0.2));
    EXPECT_DOUBLE_EQ(m.m_pMotifPr[1], std::log(0.8));
    EXPECT_DOUBLE_EQ(m.m_dBgSubst[2][2], std::log(0.9));
    EXPECT_DOUBLE_EQ(m.m_dBgSubst[1][3], std::log(0.6 * 0.1));
    EXPECT_DOUBLE_EQ(m.m_dBgSubst[1][0], std::log(0.2 * 0.1));
    EXPECT_EQ(m.m_dMotifSubRate, 0.05);
}

TEST(ModelLifecycle, MotifSubstitutionMatrices)
{
    Driver d;
    INPUTPARAMETER p;
    p.nMotifNum = 1;
    CSerevan m;
    Build(m, d, p);
    m.InitialParameter(nullptr, nullptr);  // lambda 0.01, columns of 0.25
    const auto& phi = m.m_pMotifPhi[0][3];
    EXPECT_NEAR(phi[4 * 2 + 2], std::log(0.9925), 1e-14);
    EXPECT_NEAR(phi[4 * 2 + 1], std::log(0.0025), 1e-14);
    // A column (.7 .1 .1 .1) with lambda 0.2: phi[a][b] = log(0.2 theta(b) + 0.8 [a = b]).
    for (int b = 0; b < 4; ++b) m.m_pPWM[0][b] = std::log(b == 0 ? 0.7 : 0.1);
    m.m_dMotifSubRate = 0.2;
    m.CalMotifPhi();
    EXPECT_NEAR(m.m_pMotifPhi[0][0][0], std::log(0.94), 1e-14);
    EXPECT_NEAR(m.m_pMotifPhi[0][0][4 * 1 + 0], std::log(0.14), 1e-14);
    EXPECT_NEAR(m.m_pMotifPhi[0][0][4 * 1 + 1], std::log(0.82), 1e-14);
    EXPECT_NEAR(m.m_pMotifPhi[0][0][4 * 3 + 2], std::log(0.02), 1e-14);
}

TEST(ModelLifecycle, PooledBackgroundAndMaintenance)
{
    Driver d;
    INPUTPARAMETER p;
    CSerevan m;
    Build(m, d, p);
    m.InitialParameter(nullptr, nullptr);
    m.MSBuildBackground();
    for (int i = 0; i < 20; ++i)
        EXPECT_NEAR(m.m_pBg[i], std::log(0.5 * (std::exp(m.m_pSpeciesBg[0][i]) + std::exp(m.m_pSpeciesBg[1][i]))),
                    1e-14);
    // Species 1 holds G G G G T T T T C A A C G and T: 16 zero-order counts with pseudocounts 4.
    EXPECT_NEAR(std::exp(m.m_pSpeciesBg[1][2]), (4.0 + 5) / 30, 1e-14);

    // ClearSuffStat empties the sweep statistics only.
    m.m_dTranCount[1][0] = 3;
    m.m_pMotifCount[2] = 4;
    m.m_pSiteCount[0][5] = 1;
    m.m_pEdgeStat[3].speciesCount[7] = 2;
    m.m_pEdgeStat[3].transitionNum = 1;
    m.m_nBgSubCount[2][1] = 5;
    m.m_nMotifSubCount[1] = 6;
    m.m_pModuleFreq[0][0] = 9;
    m.m_pRefAlignFreq[0][1] = 8;
    const double tran = m.m_dTranPr[0][1];
    m.ClearSuffStat();
    EXPECT_EQ(m.m_dTranCount[1][0], 0.0);
    EXPECT_EQ(m.m_pMotifCount[2], 0);
    EXPECT_EQ(m.m_pSiteCount[0][5], 0);
    EXPECT_EQ(m.m_pEdgeStat[3].speciesCount[7], 0);
    EXPECT_EQ(m.m_pEdgeStat[3].transitionNum, 0);
    EXPECT_EQ(m.m_nBgSubCount[2][1], 0);
    EXPECT_EQ(m.m_nMotifSubCount[1], 0);
    EXPECT_EQ(m.m_pModuleFreq[0][0], 9);
    EXPECT_EQ(m.m_pRefAlignFreq[0][1], 8);
    EXPECT_EQ(m.m_dTranPr[0][1], tran);

    // A width change reshapes the matrices of that motif only.
    m.m_pMotifWidth[1] = 13;
    m.RenewWdParameters(1, 12);
    EXPECT_EQ(m.m_pPWM[1].size(), 52u);
    EXPECT_EQ(m.m_pSiteMatrix[1].size(), 52u);
    EXPECT_EQ(m.m_pMotifPhi[1].size(), 13u);
    EXPECT_EQ(m.m_pPWM[0].size(), 48u);

    ALIGNPATH paths[4];
    m.m_pCurAlign[1] = 1;
    m.GetAlignPath(paths, nullptr, nullptr, 2);
    EXPECT_EQ(m.m_nAlignNum, 2);
    EXPECT_EQ(m.m_pCurAlign, (std::vector<int>{0, 0}));
}
