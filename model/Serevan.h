// CSerevan: the whole state of one module-sampling run and every move on it.
//
// The implementation is split by concern over the files of model/:
//   Serevan.cpp     lifecycle, initial parameters, background, maintenance
//   Emissions.cpp   position scores and node emissions (fast kernels)
//   Forward.cpp     module-state transitions and forward summation (fast kernels)
//   Direct.cpp      the direct (reference) kernels and the choice of kernels per pass
//   Ancestors.cpp   ancestral background bases and aligned motif sites
//   Backward.cpp    backward sampling of module states, edge columns
//   Updates.cpp     parameter updates (plain and collapsed)
//   Widths.cpp      motif width moves
//   PathMoves.cpp   module states on a path, alignment moves
//   Loop.cpp        the Gibbs sampler main loop and its side files
//   Calls.cpp       site and module calls
//   Report.cpp      motif scores and the result report
//   Scanning.cpp    known-motif scanning (aligned and unaligned)
//   Selection.cpp   motif selection
//
// Conventions: N species, G groups, K motifs, A stored alignments per group. The sequence
// of species s in group g has slot s*G + g in every per-sequence table. Motif matrices hold
// base b of column j at 4j + b. Subset codes carry bit s for species s. Log zero is -1e100.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "align/AlignPath.h"
#include "align/MultiAlign.h"
#include "base/InputParameter.h"
#include "base/MyString.h"
#include "model/Records.h"
#include "model/Workspace.h"
#include "numeric/MarkovBackground.h"
#include "numeric/StochasticDistribution.h"

class CSerevan {
public:
    // Every draw of the model comes from rng, which the caller owns (one stream per chain).
    explicit CSerevan(CRandomStream& rng);
    virtual ~CSerevan();
    CSerevan(const CSerevan&) = delete;
    CSerevan& operator=(const CSerevan&) = delete;

    // ---- lifecycle and maintenance (Serevan.cpp) ----
    void SetProgramParam(const INPUTPARAMETER* param);
    void InitialSeq(int nSpecies, int nGroup, int* const* seq, const int* seqLen, CString* names, int* const* templates,
                    const int* templateLen);
    void Initialize(const int* width);
    void InitialParameter(double* const* pwm, const double* motifPr);
    void InitialParameter(double enterPr, const double* motifPr, double* const* pwm, double bgSubRate,
                          double motifSubRate);
    void GetAlignPath(ALIGNPATH* paths, double* scores, int* info, int nAlign);
    void MSBuildBackground();
    void ClearSuffStat();
    void CalMotifPhi();
    void RenewWdParameters(int k, int oldWidth);
    void FreeMem();

    // ---- emissions (Emissions.cpp) ----
    void CalLogPrPos(double** table, int g);
    void CalculateEmissions(double* emis, double** table, const ALIGNNODE* path, int t, int g, int mode);
    double CalMotifEmission(int k, int n, const int* species, const int* pos, int g);
    double CalBgLikelihood(int g, const ALIGNNODE* path);

    // ---- forward summation (Forward.cpp) ----
    bool Compatible(const ALIGNNODE* path, int t, int c, int cPrev);
    double CalTransition(const ALIGNNODE* path, const double* fwd, int t, int u, int c, int curBit, int nStates);
    double PathForwardSummation(double* fwd, double** table, const ALIGNNODE* path, int g, int nRow, int nStates);

    // ---- ancestral sampling (Ancestors.cpp) ----
    void SampleMotifAncestor(int* site, const ALIGNNODE* path, int t, int g, int k, ANCSEQMOTIF* anc);
    void SampleBgAncestor(const ALIGNNODE* path, int t, int g, ANCSEQMOTIF* anc);

    // ---- backward sampling (Backward.cpp) ----
    void PathBackwardSample(const double* fwd, double** table, const ALIGNNODE* path, int g, int nStates);
    int CalCondStatePr(const ALIGNNODE* path, const double* fwd, int t, int u, int c, int curBit, double* out,
                       int nStates);
    int SampleModuleState(const ALIGNNODE* path, int t, int c, const double* fwd, double** table, int nStates, int g,
                          ANCSEQMOTIF* anc);
    void CollectSiteCol(const ANCSEQMOTIF* anc, const ALIGNNODE* path, int nNode, int g);

    // ---- parameter updates (Updates.cpp) ----
    double UpdateParameter(int iteration);
    double CollapseParameter(int iteration);

    // ---- width moves (Widths.cpp) ----
    void UpdateWidth();
    double BayesFactorWidth(int k, int move, int* column);

    // ---- path moves (PathMoves.cpp) ----
    double SampleSeqGivenPath(int group);
    double SampleSeqGivenPath(int group, int repeats);
    double CalFSGivenPath(int group, int repeats);
    double SampleSeqPathMH(int group, int proposal);
    int FindOptPath(int group);
    void GenAlignGivenPhi(int group);

    // ---- main loop (Loop.cpp) ----
    bool GibbsSampler();  // false when the report could not be written

    // ---- site and module calls (Calls.cpp) ----
    void DefineMotifSites(int T);
    void ConstructSiteLink(int k, const std::vector<SEQREGION>& stretches, int count, const int* offsets,
                           const bool* strands, int T);
    void DetermineModule(int T);

    // ---- report (Report.cpp) ----
    void Summary();
    void CalMotifBayesScore(double* scores);
    bool OutputMotifSites(const double* scores);  // false when the main report was not written

    // ---- known-motif scanning (Scanning.cpp) ----
    double Scanning(bool detail);
    void ConservePos(int group, int align, std::vector<std::vector<char>>& marks);
    void DefineScanMotifSites(int T);
    void OutputDetailMod(const std::vector<std::vector<char>>& marks);
    bool GibbsScanUnalign();  // false when the report could not be written

    // ---- motif selection (Selection.cpp) ----
    // Expects the motif probabilities to leave the module background positive once the
    // slot (motif K-1) takes motif 0's probability. False when the result was not written.
    bool MotifSelection(double* const* matrices, const int* widths, int M, const CString* names);

    // ================= run settings =================
    int m_nSpeciesNum = 0;           // N
    int m_nMotifNum = 0;             // K
    int m_nKnownMotifNum = 0;        // leading motifs with given matrices, never re-drawn
    int m_nMinWidth = 0;             // -w: lower bound of width moves
    int m_nMaxWidth = 0;             // -W: upper bound of width moves
    int m_nIterNum = 0;              // -n
    bool m_bBothStrand = true;       // -r
    bool m_bMaskLowComplex = false;  // -M
    bool m_bMotifMode = false;       // -s
    bool m_bFixMotifPr = false;      // -q given
    double m_dAlignUpdatePr = 0;     // -u
    bool m_bCollapse = false;        // -c
    double m_dPostCutoff = 0.5;      // -p
    CString m_sOutFile;              // -o
    CString m_sCommandLine;          // banner plus command-line echo
    int m_nWidthPrior = 10;          // mean of the Poisson prior on motif width

    // ================= sequences (borrowed from the driver) =================
    int m_nGroupNum = 0;                      // G
    std::vector<std::vector<int>> m_pSeqLen;  // [s][g] length
    std::vector<std::vector<int*>> m_pSeq;    // [s][g] codes (borrowed)
    CString* m_pSeqName = nullptr;            // slot s*G + g (borrowed)
    int* const* m_pTemplate = nullptr;        // per group (borrowed; null in the aligned scan)
    const int* m_pTemplateLen = nullptr;      // per group (borrowed)

    // ================= alignments (borrowed from the driver) =================
    int m_nAlignNum = 0;                // A
    ALIGNPATH* m_pAlignPath = nullptr;  // G*A paths; alignment j of group g at g*A + j
    double* m_pAlignScore = nullptr;    // G*A log-odds scores
    int* m_pAlignInfo = nullptr;        // 3*G*A: transitions, transversions, identities
    std::vector<int> m_pCurAlign;       // [g] index of the current alignment

    // ================= model parameters =================
    std::vector<int> m_pMotifWidth;                                // K+1; element K is 1
    std::vector<std::vector<double>> m_pPWM;                       // [k] 4*w_k log probabilities
    std::vector<double> m_pMotifPr;                                // K+1 log segment-type probabilities
    double m_dTranPr[2][2] = {{0, 0}, {0, 0}};                     // log [from][to], 0 bg, 1 module
    double m_dBgSubst[4][4] = {};                                  // log background substitution a -> b
    double m_dMotifSubRate = 0.01;                                 // lambda (plain)
    std::vector<std::vector<std::array<double, 16>>> m_pMotifPhi;  // [k][j] log a -> b at 4a + b
    std::vector<std::array<double, 20>> m_pSpeciesBg;              // [s] background table
    std::array<double, 20> m_pBg{};                                // pooled background table
    // -g: background of order k for every background term (empty: the tables above, first
    // order for single species and zero order for ancestral bases). Set by the driver.
    CMarkovBackground m_bgModel;
    std::vector<std::vector<std::vector<int>>> m_bgContext;  // [s][g][p] context offset into m_bgModel

    // ================= priors =================
    int m_nTranPrior[4] = {1, 1, 1, 1};  // [from][to] flattened
    std::vector<int> m_pMotifPrior;      // K+1 ones
    int m_nPWMPrior[4] = {1, 1, 1, 1};

    // ================= sufficient statistics of one sweep =================
    double m_dTranCount[2][2] = {{0, 0}, {0, 0}};       // single-species moving blocks + closing transitions
    double m_dAlignTranCount[2][2] = {{0, 0}, {0, 0}};  // moving blocks of two or more species
    std::vector<int> m_pMotifCount;                     // K+1 sampled segment types
    std::vector<std::vector<int>> m_pSiteCount;         // [k] 4*w_k column base counts
    std::vector<SITECOL> m_pEdgeStat;                   // 4*K edge records
    int m_nBgAncCount[4] = {0, 0, 0, 0};
    int m_nBgSubCount[4][4] = {};
    int m_nMotifSubCount[2] = {0, 0};  // [0] redrawn, [1] kept

    // ================= posterior accumulators =================
    int m_nBurnIn = 0;
    bool m_bSampling = false;
    std::vector<double> m_pWidthSum;                         // [k]
    std::vector<std::vector<std::vector<int>>> m_pSiteFreq;  // [k][slot][pos]
    std::vector<std::vector<int>> m_pModuleFreq;             // [slot][pos]
    std::vector<std::vector<int>> m_pAlignFreq;              // [slot][pos]
    std::vector<std::vector<int>> m_pRefAlignFreq;           // [g][pos of species 0]
    double m_dLogLik = 0, m_dLogLikSum = 0, m_dLogAncPr = 0, m_dLogPost = 0, m_dLogPostSum = 0;

    // ================= results =================
    std::vector<std::vector<double>> m_pSiteMatrix;        // [k] base frequencies of called sites
    std::vector<std::vector<OUTPUTSITE>> m_pOutputSite;    // [k] called sites; empty until sites are called
    bool m_bSitesDefined = false;                          // the site lists exist
    std::vector<std::vector<MODULEREGION>> m_pModuleList;  // [s] called modules
    std::vector<SPECIESSUMMARY> m_pSpeciesSummary;         // [s]

    // ================= output =================
    // Name of the first output file that could not be written (empty: none); the drivers
    // end the run with a message naming it.
    std::string m_sOutputError;

private:
    friend struct CSerevanProbe;  // the tests' one door into the workspace and the kernels

    // Emission, transition and predecessor kernels of one pass: the direct reference
    // versions or the fast ones, chosen once when the pass starts.
    struct Kernels {
        void (CSerevan::*emissions)(double*, double**, const ALIGNNODE*, int, int, int, int);
        double (CSerevan::*transition)(const ALIGNNODE*, const double*, int, int, int, int, int);
        int (CSerevan::*condStatePr)(const ALIGNNODE*, const double*, int, int, int, int, double*, int);
    };
    static const Kernels kDirectKernels, kFastKernels;
    // The kernels of a pass; prepares the fast kernels' tables for the path and group.
    const Kernels& PassKernels(const ALIGNNODE* path, int g, int nStates);

    CRandomStream& m_rng;  // the chain's stream
    SerevanWorkspace m_work;

    // -- emissions (Emissions.cpp; direct versions in Direct.cpp)
    double ColumnSum(size_t at, int n);
    void StoredNodeEmissions(double* emis, double** table, const ALIGNNODE* path, int t, int g, int mode, int run);
    void PrepareNodeCodes(const ALIGNNODE* path, int g);
    double CachedMotifEmission(int k, int t);
    int MaxMotifWidth() const;
    int NonChangeRun(const ALIGNNODE* path, int t, int limit) const;
    bool SiteWindowsAreBases(int w, int n, const int* species, const int* pos, int g) const;
    void PrepareEmissionTables();
    void NodeEmissions(double* emis, double** table, const ALIGNNODE* path, int t, int g, int mode, int run);
    void DirectNodeEmissions(double* emis, double** table, const ALIGNNODE* path, int t, int g, int mode, int run);
    double AlignedBgEmission(int n, const int* species, const int* pos, int g);
    // Log distribution of the ancestral base of an aligned background column whose first
    // block species sits at pos in group g (design note: model/background.md).
    const double* AncestralBgLog(int species, int pos, int g) const;
    // Log background probability of one species' base at pos, zero order by default.
    double SpeciesBaseBgLog(int s, int g, int pos) const;
    double FastAlignedBgEmission(int n, const int* species, const int* pos, int g);
    double FastMotifEmission(int k, int n, const int* species, const int* pos, int g);

    // -- forward (Forward.cpp; direct versions in Direct.cpp)
    double MeanTransitionLog(const std::vector<int>& B, int cp, int curBit) const;
    void PrepareTransitionTables(int nStates);
    double FastTransition(const ALIGNNODE* path, const double* fwd, int t, int u, int c, int curBit, int nStates);
    double PathForwardDirect(double* fwd, double** table, const ALIGNNODE* path, int g, int nNode, int nStates);
    double PathForwardFast(double* fwd, double** table, const ALIGNNODE* path, int g, int nNode, int nStates);
    void StartForwardRows(double* fwd, int nStates);
    int GatherModuleTerms(int t, const double* e, int ring, double& aMax);
    void FillForwardRow(double* row, const ALIGNNODE& node, int nStates, int t, int ring, int nU, double aMax,
                        double a0, bool bgOpen);
    void ScaleForwardRow(const double* row, const ALIGNNODE& node, int nStates, int t, int ring, int nU, double aMax,
                         double a0, bool bgOpen);
    double ForwardEndRow(double* fwd, const ALIGNNODE* path, int nNode, int nStates);

    // -- backward (Backward.cpp)
    int FastCondStatePr(const ALIGNNODE* path, const double* fwd, int t, int u, int c, int curBit, double* out,
                        int nStates);
    int DrawModuleSegment(const Kernels& kern, const ALIGNNODE* path, int t, int c, const double* fwd, double** table,
                          int nStates, int g, ANCSEQMOTIF* anc);
    void DrawBackgroundSegment(const ALIGNNODE* path, int t, int g, ANCSEQMOTIF* anc);
    void RefreshAncestorTables();

    // -- parameter updates (Updates.cpp): one function per step; `collapse` sets posterior
    // means where the plain update draws. Each step returns its term of the log-posterior.
    double RunParameterUpdate(int iteration, bool collapse);
    double UpdateModuleEntry(bool collapse);
    double UpdateMotifTypePr(bool collapse);
    double UpdateMotifMatrices(bool collapse);
    double UpdateBgBase();
    double UpdateBgSubst();
    double UpdateMotifSubRate();
    // Re-shapes the base counts of motif k after an accepted width move (Widths.cpp).
    void ShiftSiteCount(int k, int move, const int* column);

    // -- path moves (PathMoves.cpp)
    void ScoreGroup(int g, const int* aligns, int nAlign);  // position tables of group g for these stored alignments
    void CalLogPrPosOnPaths(double** table, int g, const ALIGNNODE* const* paths, int nPath);
    void ScorePosition(double* cell, int s, int g, int p);
    double ForwardOnPath(int g, int j, std::vector<double>& fwd);  // forward over stored alignment j
    double AlignScore(int g, int j) const;                         // proposal score (0 without scores)

public:
    // ================= helpers of the calls, the report and the scans =================
    // -- calls and report --
    // Threshold count of a call over T samples with cutoff p: int(T*p) + 1; INT_MAX for T <= 0
    // (no samples, nothing qualifies).
    static int CallThreshold(int T, double cutoff);
    // Appends the stretches of qualifying positions (count >= t) of one sequence slot to out.
    // A run [a, b] gives start a and end b + 1, or end L - 1 when it reaches the last position;
    // a run that begins at the last position gives none.
    static void FindStretches(const std::vector<int>& counts, int t, int species, int group,
                              std::vector<SEQREGION>& out);
    // Widens a stretch by 3 on each side and, when still shorter than W, symmetrically beyond
    // W; clamps it to [0, L-1] and, when clamping left it shorter than W, extends the other
    // side to W. Returns false (stretch unchanged) when the sequence is shorter than W.
    static bool WidenStretch(SEQREGION& r, int W, int L);
    // Widens every stretch of motif k to W (WidenStretch), drops those whose sequence is
    // shorter than W with a warning on standard error, and copies the segments [start, end].
    void CutSegments(int k, std::vector<SEQREGION>& stretches, int W, std::vector<std::vector<int>>& segments) const;
    // Ends the process with "m_pOutputSite wrong!" (exit code -1) when sites were already
    // called on this object: a second call is a programming error.
    void GuardSitesUndefined() const;
    // Largest sequence length over all species and groups (0 without sequences).
    int MaxSeqLen() const;
    // Appends a per-slot count table (one line per species and group, species-major, MaxSeqLen
    // fields "%d\t" padded with "0\t" past the sequence's end). False if the file could not be
    // opened or written.
    bool WriteCountTable(const CString& fileName, const std::vector<std::vector<int>>& counts) const;
    // Appends the module list, one line "species\tgroup\tstart\tend" per module. False if the
    // file could not be opened or written.
    bool WriteModuleList(const CString& fileName) const;

    // Records file as the run's first failed output when ok is false and none is recorded yet.
    void NoteOutput(bool ok, const CString& file);

    // -- scanning and selection --
    // The called site of motif k in (species, group) starting at position; null if none.
    const OUTPUTSITE* FindCalledSite(int k, int species, int group, int position) const;
    // Appends m_pRefAlignFreq of every group, species-0 positions in order, as "%d\t" fields
    // on one line. False if the file could not be opened or written.
    bool WriteRefAlignCounts(const CString& fileName) const;
    // Forward log-likelihood of all groups on their current alignments, nothing drawn.
    double SelectionLogLik();
    // Turns expected sites per module of length moduleLen (K values) into K+1 plain
    // probabilities per module position, the last the module background. False (sitePr
    // unchanged) when the background would not be positive.
    static bool ScanSitePr(std::vector<double>& sitePr, int moduleLen);
};
