// Template-based multiple alignment of one orthologous group: a conserved template from a
// reference species, refinement passes, and independent species-to-template alignments
// merged column by column into alignment paths.
//
// Sections: substitution tables; merge columns (HMMALIGNSTATE) and the path builders that
// read them; CMultiAlignment. Layout of paths and merge columns: align/paths.md.
#pragma once

#include <string>
#include <vector>

#include "align/AlignPath.h"
#include "align/PairAlign.h"

// Substitution log-probabilities, rows = template (ancestral) base, columns = species base.
// PHI: five 4x4 levels of conservation (mutation rate 0.01, 0.05, 0.10, 0.15, 0.20),
// level-major. PAM1: the table with which template residues are re-drawn (rate 0.01).
extern const double PHI[80];
extern const double PAM1[16];

// One template column while species-to-template alignments are merged; column 0 stands
// before the first template residue.
struct HMMALIGNSTATE {
    std::vector<int> pos;  // per species: residue matched to this column (1-based), -1 if none
    int matchNum = 0;      // number of species with a residue matched here
    std::vector<std::vector<int>>
        insert;  // per species: residues after this column's match and before the next column's, ascending
};

// Resets column[0..L] for N species: no match, every insertion list empty (keeps capacity).
void ClearHMMState(std::vector<HMMALIGNSTATE>& column, int L, int N);

// Enters one pairwise path (template first, species s second; layout of align/PairAlign.h)
// into column[0..L]. Returns false if a step lies beyond the template, which a pair
// alignment against a template of length L cannot produce.
bool AddPairPath(const std::vector<int>& pairPath, int s, HMMALIGNSTATE* column, int L);

// Folds every column matched by fewer than two species into the insertions of the nearest
// preceding column matched by two or more (or column 0): its single match, if any, then its
// insertions, after the insertions already pending there. Lists stay ascending.
void SimplifyHMMState(HMMALIGNSTATE* column, int L, int N);

// Nodes of the path the columns describe: node 0, one per matched column, one per insertion.
int CountPathNodes(const HMMALIGNSTATE* column, int L, int N);

// Writes node 0 and the positions and blocks of every node into path[0..nNode-1]: per
// column, its match node, then the insertions species by species. False if nNode does not
// fit the columns.
bool HMMTransToPath(const HMMALIGNSTATE* column, int L, int N, ALIGNNODE* path, int nNode);

// The whole build from merged columns: fold, count, allocate, convert, change points,
// legitimate tables. The columns are folded in place.
bool BuildPathFromColumns(HMMALIGNSTATE* column, int L, int N, ALIGNPATH& path);

// The alignment object of one group. Operations that can fail return false and leave a
// one-line reason in ErrorText(): a forward table beyond kPairTableLimitBytes, arguments out
// of range, or an internal error.
class CMultiAlignment {
public:
    CMultiAlignment();

    // Replaces the sequences by copies of seq[0..N-1] with lengths len.
    void InputSequences(const int* const* seq, const int* len, int N);

    // Builds the single template from species ref: its residues that 100 sampled alignments
    // match to some other species more than 33 times. The template may be empty.
    bool GenerateTemplates(CRandomStream& rng, int ref);

    // Replaces the templates by one copy of tmpl[0..len-1].
    void SetTemplate(const int* tmpl, int len);

    // Five refinement passes of template t and m_dPhi[level], then nAlign further passes
    // each yielding one path in paths[0..nAlign-1] (paths may be null when nAlign is 0).
    bool ProduceAlignments(CRandomStream& rng, int t, int level, int nAlign, ALIGNPATH* paths);

    // nAlign multiple alignments against template t with log-odds scores phi (16 doubles,
    // row = template base): paths[0..nAlign-1], score[0..nAlign-1] and the substitution
    // counts (transitions, transversions, identities) in subst[0..3*nAlign-1]. A matched
    // species residue that is not a base adds neither a count nor a score term.
    bool ProduceIndAlign(CRandomStream& rng, int t, const double* phi, int nAlign, ALIGNPATH* paths, double* score,
                         int* subst);

    // Re-estimates m_dPhi[level] from (transitions, transversions, identities).
    void UpdatePhi(int level, const int* subst);

    // Re-draws every residue of template t from its column counts (4 per position) under PAM1.
    void UpdateTemplate(CRandomStream& rng, const int* colCount, int t);

    // Bytes of the largest forward table that GenerateTemplates(ref) and the alignments
    // against the template built from ref can need (the template is never longer than ref).
    double TemplateBuildBytes(int ref) const;
    // Bytes of the largest forward table of an alignment against template t.
    double TemplateAlignBytes(int t) const;
    // False, with a one-line reason in msg, if building and using a template from ref would
    // need a forward table beyond kPairTableLimitBytes. Run drivers call it before any work.
    bool CheckMemory(int ref, std::string& msg) const;

    // Reason of the last failure.
    const std::string& ErrorText() const { return m_sError; }

    int m_nSeqNum = 0;                          // N, the number of sequences
    int m_nTemplateNum = 0;                     // 1 once a template has been built or set
    std::vector<std::vector<int>> m_pSeq;       // own copies of the sequences
    std::vector<int> m_pSeqLen;                 // their lengths
    std::vector<std::vector<int>> m_pTemplate;  // the templates (one)
    std::vector<int> m_pTemplateLen;            // their lengths
    double m_dQ[9];                             // copy of QMATRIX passed to every pair alignment
    double m_dPhi[5][16];                       // log-odds by level: PHI[k][a][b] - ln 0.25

    // Exchanges the forward-table workspace with another, so that a caller aligning group
    // after group keeps one table instead of allocating one per group.
    void SwapTable(CPairForward& other) { std::swap(m_table, other); }

private:
    bool Fail(const std::string& text);
    bool CheckTableBytes(double bytes, int len1, int len2);
    bool ValidTemplate(int t);
    int LongestSeq() const;

    std::string m_sError;  // reason of the last failure
    CPairForward m_table;  // forward-table workspace shared by every pair alignment
};
