// The model's private workspace: linear-space copies of the emission parameters, the
// column-sum cache, per-node codes, transition tables, forward rows and every scratch table
// of the passes and path moves. CSerevan keeps one as a private member, so a Gibbs sweep
// allocates nothing once the tables have grown; tests reach it through CSerevanProbe.
// Layouts are described in model/module_states.md.
#pragma once

#include <cstddef>
#include <vector>

#include "align/AlignPath.h"
#include "align/MultiAlign.h"
#include "model/Records.h"

// Largest moving block whose aligned-site column sums are cached; larger blocks are summed directly.
inline constexpr int kColCacheMaxBlock = 6;

struct SerevanWorkspace {
    bool directKernels = false;  // passes use the direct reference kernels (tests compare both)

    // -- emissions: refreshed by PrepareEmissionTables at the start of every pass whose
    // parameters differ from those of the last refresh (emisKey)
    std::vector<double> emisKey, emisKeyNext;  // parameters of the last refresh, the ones being checked
    std::vector<int> emisOffset;               // [k] first column of motif k in the two tables below
    std::vector<double> emisTheta;             // column c: exp(matrix entry), base a at 4c + a
    std::vector<double> emisPhiT;              // column c: exp(phi), descendant b and ancestor a at 16c + 4b + a
    double emisBg[4] = {};                     // exp of the ancestral base distribution (m_pBg[0..3])
    double emisSubT[5][4] = {};  // exp(m_dBgSubst[a][b]) at [b][a]; row 4: 0.25 for a residue that is not a base
    std::vector<int> emisPos;    // 0-based positions of the moving block's species
    // Column sums sum_a theta(a) prod_i phi(a, b_i) of aligned sites, filled on first use per
    // (column, block size n, bases b_1..b_n in block order) and valid while their stamp
    // equals emisGen, which every PrepareEmissionTables call advances.
    std::vector<double> colCache;    // [column][tuple slot]
    std::vector<unsigned> colStamp;  // generation each entry was filled in
    unsigned emisGen = 0;
    size_t colCacheStride = 0;  // tuple slots per column: sum of 4^n for n = 2..max
    // Per node of the path being summed or sampled: the moving block's bases as a tuple code
    // (base of the i-th block species at 4^i) plus the slots of the shorter tuples before
    // them, (4^n - 16) / 3, so that it is the tuple's slot in a column of the cache; the same
    // for the complemented bases; and the
    // number of consecutive nodes up to this one whose residues are all bases.
    std::vector<int> nodeCode, nodeRevCode, nodeBaseRun;
    const ALIGNNODE* codePath = nullptr;  // path and group the node codes belong to
    int codeGroup = -1;
    int emisBlock = 0;  // block size of the node being emitted

    // -- forward
    int tranStates = 0;                       // subset count the transition tables were built for (0: none)
    double tranKey[2][2] = {{0, 0}, {0, 0}};  // m_dTranPr the transition tables were built from
    std::vector<double> tranLin;              // [(mask * nStates + x) * 2 + curBit]: mean transition probability
    std::vector<double> tranLog;              // the same as CalTransition takes its log, ln(S / |B|)
    std::vector<double> fwdLin;               // ring of the last rows, exp(fwd - scale), row u at u mod ring size
    std::vector<double> fwdScale;             // log scale of each ring row
    std::vector<double> fwdSum;               // per code linear sum of the current row
    std::vector<int> fwdTermNode;             // distinct earlier nodes t - w of the module terms
    std::vector<double> fwdTermLog;           // log weight of each module term k
    std::vector<double> fwdTermCoef;          // scaled weight summed per earlier node

    // -- emissions of every node of the last fast forward pass, (K + 1) per node, for its backward pass
    std::vector<double> storedEmis;
    const ALIGNNODE* storedEmisPath = nullptr;  // path and group they belong to (null: none)
    int storedEmisGroup = -1;

    // -- backward
    bool ancKeyValid = false;                       // the two tables below match the keys
    double ancBgKey[4] = {}, ancSubKey[4][4] = {};  // m_pBg and m_dBgSubst they were made from
    double ancBgLin[4] = {}, ancSubLin[4][4] = {};  // their exponentials
    std::vector<ANCSEQMOTIF> ancWork;               // per node records of the current pass
    std::vector<POSTRUN>* postLog = nullptr;        // -y: posterior increments go here instead of the sums
    double mhCurrentF = 0.0;                        // the last alignment move: forward value of the current alignment
    std::vector<double> backWeight;                 // weights of the predecessor codes
    std::vector<double> backEmis;                   // emission vector of a module segment
    std::vector<double> backMotifW;                 // weights of the motif types
    std::vector<int> siteWork;                      // the bases of one site
    std::vector<double> ancColW;  // ancestral column weights, strand r, column j, base a at 4(w r + j) + a

    // -- path moves
    std::vector<std::vector<double>> posTable;   // [s] (2K+1) per position, reused
    std::vector<double*> posTablePtr;            // views of posTable
    std::vector<std::vector<unsigned>> posMark;  // [s][p] == posGen: position scored in this round
    unsigned posGen = 0;
    std::vector<const ALIGNNODE*> scorePaths;  // the paths a ScoreGroup call scores for
    std::vector<int> scoreAligns;              // every stored alignment, for FindOptPath
    std::vector<double> fwdTable[2];           // forward tables, reused
    CMultiAlignment realign;                   // re-aligner, its tables reused
};
