// CSerevan: the whole state of one module-sampling run and every move on it.
//
// One way in: the constructor takes the settings, the groups and the starting parameters
// (model/Settings.h) and the caller's random stream. One way out: each loop returns the run's
// results as a value (model/Results.h), and the calls and the report can also run on
// posterior sums handed in (CallAndReport). The model writes no file; errors come back in
// the results' status. Its state is private and grouped: settings, parameters, sweep
// counts, posterior sums, results.
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
//   Loop.cpp        the Gibbs sampler main loop
//   Spread.cpp      the prior on how many groups a motif's sites reach (-y)
//   WordChoice.cpp  the choice of the starting motifs among word matrices by likelihood (-j)
//   Calls.cpp       site and module calls
//   Report.cpp      motif scores and the end of every loop (calls, summaries, results)
//   Scanning.cpp    known-motif scanning (aligned and unaligned)
//   Selection.cpp   motif selection
//
// Conventions: N species, G groups, K motifs, A stored alignments per group. The sequence
// of species s in group g has slot s*G + g in every per-sequence table. Motif matrices hold
// base b of column j at 4j + b. Subset codes carry bit s for species s. Log zero is -1e100.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "align/AlignPath.h"
#include "align/MultiAlign.h"
#include "model/Records.h"
#include "model/Results.h"
#include "model/Settings.h"
#include "model/State.h"
#include "model/Workspace.h"
#include "numeric/MarkovBackground.h"
#include "numeric/StochasticDistribution.h"

// Appends one line to the run's progress log; false (the log could not be written) stops the loop.
using InfoLog = std::function<bool(const std::string& line)>;

class CSerevan {
public:
    // Copies the settings, borrows the groups (which must outlive the model; its alignment
    // moves rewrite their stored alignments), shapes every table and sets the starting
    // parameters. Every draw comes from rng, which the caller owns (one stream per chain).
    CSerevan(const ModelSettings& settings, ModelGroups& groups, const ModelStart& start, CRandomStream& rng);
    virtual ~CSerevan();
    CSerevan(const CSerevan&) = delete;
    CSerevan& operator=(const CSerevan&) = delete;

    // ---- the loops; each runs once per model and returns the run's results ----
    // De novo: the Gibbs sampler over every group (Loop.cpp).
    RunResults GibbsSampler(const InfoLog& info);
    // Aligned scan of the one group on its one alignment: score against background and, in
    // detail, 1000 backward samples with their calls (Scanning.cpp). results.avgLik is the score.
    RunResults Scanning(bool detail);
    // Unaligned scan: every group on its best stored alignment, -n samples each (Scanning.cpp).
    // Without callSites the results hold the posterior sums only (a shard's).
    RunResults GibbsScanUnalign(const InfoLog& info, bool callSites = true);
    // Motif selection: which candidate, put in the slot of the last motif, raises the
    // likelihood most (Selection.cpp). Expects the segment probabilities to leave the module
    // background positive once the slot takes motif 0's probability.
    RunResults MotifSelection(const std::vector<std::vector<double>>& matrices, const std::vector<int>& widths,
                              const InfoLog& info);

    // ---- the end of every loop, also on posterior sums handed in (Report.cpp) ----
    // Calls sites and modules from sums (shaped as this model's groups), scores the motifs and
    // returns the results; the sums end up in results.sums. Runs once per model.
    RunResults CallAndReport(PosteriorSums sums, const CallPlan& plan);
    // The calls draw from stream (which the caller owns) instead of the chain's stream, so
    // that they can be repeated on sums loaded from files.
    void SetCallStream(CRandomStream& stream) { m_callRng = &stream; }

    // ---- pure helpers of the calls and the scans ----
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
    // Turns expected sites per module of length moduleLen (K values) into K+1 plain
    // probabilities per module position, the last the module background. False (sitePr
    // unchanged) when the background would not be positive.
    static bool ScanSitePr(std::vector<double>& sitePr, int moduleLen);

private:
    friend struct CSerevanProbe;  // the tests' one door into the state, the workspace and the kernels

    // ================= state =================
    ModelSettings m_set;    // run settings, copied once
    int m_nSpeciesNum = 0;  // N
    int m_nMotifNum = 0;    // K
    int m_nGroupNum = 0;    // G
    int m_firstGroup = 0;   // index of group 0 in the whole input (a shard's first group)
    // Sequences (borrowed from the groups).
    std::vector<std::vector<int>> m_pSeqLen;  // [s][g] length
    std::vector<std::vector<int*>> m_pSeq;    // [s][g] codes
    const CString* m_pSeqName = nullptr;      // slot s*G + g
    std::vector<const int*> m_pTemplate;      // per group (empty in the aligned scan)
    std::vector<int> m_pTemplateLen;          // per group
    // Alignments (borrowed from the groups).
    int m_nAlignNum = 0;                 // A
    ALIGNPATH* m_pAlignPath = nullptr;   // G*A paths; alignment j of group g at g*A + j
    double* m_pAlignScore = nullptr;     // G*A log-odds scores (null: none)
    int* m_pAlignInfo = nullptr;         // 3*G*A: transitions, transversions, identities
    std::vector<int> m_pCurAlign;        // [g] index of the current alignment
    ModelParameters m_par;               // current parameters
    SweepCounts m_sweep;                 // sufficient statistics of one sweep
    PosteriorSums m_post;                // posterior sums of the sampling phase
    RunResults m_res;                    // results of the calls
    bool m_bSitesDefined = false;        // the site lists exist (the calls ran)
    CRandomStream* m_stream;             // the stream of the draws: the chain's (-G: the group's)
    CRandomStream* m_callRng = nullptr;  // the calls' stream (null: the chain's)
    SerevanWorkspace m_work;             // scratch tables of the passes
    SpreadState m_spread;                // -y: each group's kept path and the groups each motif reaches
    WordChoice m_choice;                 // -j: the word matrices the start chooses among

    // ---- lifecycle and maintenance (Serevan.cpp) ----
    void SetProgramParam(const ModelSettings& settings);
    void InitialSeq(ModelGroups& groups);
    void Initialize(const int* width);
    void InitialParameter(const double* const* pwm, const double* motifPr);
    void InitialParameter(double enterPr, const double* motifPr, const double* const* pwm, double bgSubRate,
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

    // ---- the prior on how many groups a motif reaches, -y (Spread.cpp) ----
    // Re-samples group g's path (proposal >= 0: with the alignment move to that stored
    // alignment) and keeps it or the group's last path by Metropolis-Hastings under the prior.
    double SampleGroupSpread(int g, int proposal);
    double SpreadLogPrior() const;
    int SpreadReachCap() const;
    void LogAlignRuns(const std::vector<int>& B, const ALIGNNODE& node, int g, int w);
    void ApplyPostRuns(const std::vector<POSTRUN>& runs);

    // ---- the choice of the starting motifs among word matrices, -j (WordChoice.cpp) ----
    // Fills the learned motifs one by one: the first with the m_choice.first-th best single
    // candidate, each later one with the candidate that raises the forward likelihood of all
    // groups most given those before. Draws nothing.
    void ChooseStartWords();
    // Log-likelihood of all groups with the learned motifs from `fill` on given no site.
    double LogLikFilledTo(int fill, const std::vector<double>& startPr);

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
    RunStatus GenAlignGivenPhi(int group);

    // ---- site and module calls (Calls.cpp) ----
    void DefineMotifSites(int T);
    void ConstructSiteLink(int k, const std::vector<SEQREGION>& stretches, int count, const int* offsets,
                           const bool* strands, int T);
    void DetermineModule(int T);

    // ---- report (Report.cpp) ----
    void Summary();
    void CalMotifBayesScore(double* scores);

    // ---- known-motif scanning (Scanning.cpp) ----
    void ConservePos(int group, int align, std::vector<std::vector<char>>& marks);
    void DefineScanMotifSites(int T);
    // The module detail file of an aligned scan: per module its name, bounds and sites, its
    // bases, its sites and its conserved bases.
    std::string OutputDetailMod(const RunResults& results, const std::vector<std::vector<char>>& marks);

    // ---- motif selection (Selection.cpp) ----
    // Forward log-likelihood of all groups on their current alignments, nothing drawn.
    double SelectionLogLik();

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
    double FastAlignedBgEmission(int n, const int* species, const int* pos, int g);
    double FastMotifEmission(int k, int n, const int* species, const int* pos, int g);
    void CalLogPrPosOnPaths(double** table, int g, const ALIGNNODE* const* paths, int nPath);
    void ScorePosition(double* cell, int s, int g, int p);

    // -- background terms (Emissions.cpp): the one place that chooses between the -g
    // order-k model and the tables built from the sequences (design note: model/background.md).
    // The four log probabilities of an ancestral base at a column whose first block species
    // sits at pos in group g, and their exponentials (the linear table is that of the
    // current parameters, kept by the caller's workspace: linTable).
    const double* AncestralBgLog(int species, int pos, int g) const;
    const double* AncestralBgLin(int species, int pos, int g, const double* linTable) const;
    // Log background probability of one species' base at pos: zero order without -g.
    double SpeciesBaseBgLog(int s, int g, int pos) const;
    // The position table's background cell of species s at p: first order without -g.
    double PositionBgLog(int s, int g, int p) const;
    // The -g model for the single-species samplers of motif/ (null without -g).
    const CMarkovBackground* OrderBackground() const;
    // The -g model of group g: with -e its own, shrunk towards the pooled one (null without -g).
    const CMarkovBackground* GroupBackground(int g) const;

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
    double LatePseudoMeans(const int* counts, int w, double x, double* pwm);
    double UpdateBgBase();
    double UpdateBgSubst();
    double UpdateMotifSubRate();
    // Re-shapes the base counts of motif k after an accepted width move (Widths.cpp).
    void ShiftSiteCount(int k, int move, const int* column);

    // -- path moves (PathMoves.cpp)
    void ScoreGroup(int g, const int* aligns, int nAlign);  // position tables of group g for these stored alignments
    double ForwardOnPath(int g, int j, std::vector<double>& fwd);  // forward over stored alignment j
    double AlignScore(int g, int j) const;                         // proposal score (0 without scores)

    // -- the calls (Calls.cpp)
    // Widens every stretch of motif k to W (WidenStretch), drops those whose sequence is
    // shorter than W with a warning on standard error, and copies the segments [start, end].
    void CutSegments(int k, std::vector<SEQREGION>& stretches, int W, std::vector<std::vector<int>>& segments) const;
    // The status of a second call on one model: a programming error ("m_pOutputSite wrong!", exit -1).
    RunStatus SitesAlreadyDefined() const;
    // The called site of motif k in (species, group) starting at position; null if none.
    static const OUTPUTSITE* FindCalledSite(const std::vector<std::vector<OUTPUTSITE>>& sites, int k, int species,
                                            int group, int position);
    // Empty posterior sums of this model's shape.
    PosteriorSums EmptySums() const;
};
