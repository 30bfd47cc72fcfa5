// The generative model of serevan-sim: orthologous groups evolved on a star tree from
// ancestral sequences with planted cis-regulatory modules. The model itself is
// described in tools/README.md; this header holds the settings, the simulated data
// (everything the writers and the tests need, ancestors and true alignments included)
// and the writers of the output files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/MotifMatrix.h"
#include "common/TruthTable.h"

namespace sertools {

// Settings of one simulation (the command-line defaults).
struct SimOptions {
    int species = 3;                  // N, species evolved from each ancestor
    int groups = 10;                  // G, orthologous groups
    int length = 500;                 // ancestral sequence length
    int motifs = 0;                   // K; 0: 3 random motifs, or every matrix of the motif file
    double moduleFraction = 0.8;      // share of groups with a module (rounded to a count)
    int moduleLength = 200;           // ancestral window that holds a module's sites
    std::vector<long long> sites{2};  // sites of each motif per module: one value or K values
    std::string motifFile;            // matrices in the -A format; empty: random motifs
    int minWidth = 10;                // random motif widths are uniform in [minWidth, maxWidth]
    int maxWidth = 14;
    double minInfo = 1.0;           // information content (bits) of every random column
    double gc = 0.4;                // G+C share of the background composition
    double cpg = 0.25;              // factor on the C->G step of the first-order chain
    double subRate = 0.1;           // per-branch substitution probability of background bases
    double siteRate = 0.02;         // per-branch probability that a site base is redrawn from its column
    double indelRate = 0.01;        // per-branch indel events per base outside sites
    double indelMean = 2.0;         // mean indel length (geometric)
    int indelMax = 10;              // longest indel
    std::vector<double> loss{0.0};  // per-species probability of losing a site: one or N values
    double reverseFraction = 0.5;   // probability that a site lies on the reverse strand
    int alignGroup = 0;             // group whose true alignment is written
    std::string backgroundFile;     // FASTA the ancestors are cut from; empty: the Markov chain
    bool keepCase = false;          // keep the source's lower case through evolution
    double maxUndetermined = 0.1;   // largest share of non-ACGT bases in a cut window
    bool allowOverlap = false;      // windows of different groups may overlap in the source
    double gcSpread = 0;            // sd of the groups' G+C target around the source's share; 0: no target
    std::uint64_t seed = 1;         // seed of the simulator's own stream
};

// One site planted in an ancestor.
struct PlantedSite {
    int motif = 0;   // 0-based motif index
    int start = 0;   // first ancestral base (given strand)
    int strand = 1;  // +1: the motif reads on the given strand; -1: on the reverse complement
};

// One species' descendant of an ancestor.
struct Descendant {
    std::vector<signed char> seq;                   // bases 0..3 (A C G T), 4 undetermined (N)
    std::vector<bool> lower;                        // per base: written lower case (only with keepCase)
    std::vector<int> fromAncestor;                  // per ancestral base: its position here, -1 deleted
    std::vector<std::vector<signed char>> inserts;  // per ancestral position i (0..L): bases inserted before i
    std::vector<bool> lost;                         // per planted site: lost in this species
};

// One orthologous group.
struct SimGroup {
    std::vector<signed char> ancestor;  // ancestral bases (4: undetermined, only when cut from a FASTA)
    std::vector<bool> ancestorLower;    // per ancestral base: lower case in the source (only with keepCase)
    bool hasModule = false;             // a module was planted
    int moduleStart = 0;                // ancestral window of the module
    int moduleLength = 0;
    std::vector<PlantedSite> sites;   // by ancestral start
    std::vector<Descendant> species;  // N descendants
};

// A whole simulated data set.
struct SimData {
    SimOptions options;              // the settings, lists expanded to K and N values
    std::vector<Motif> motifs;       // the K planted motifs
    std::vector<double> background;  // 4 base probabilities of inserted and lost-site bases
    std::vector<double> transition;  // 16 first-order probabilities, base b after a at 4a + b
    std::vector<SimGroup> groups;    // the G groups
};

// Checks the settings (ranges and list lengths); false with a one-line message.
bool CheckSimOptions(const SimOptions& options, std::string& err);

// Runs the simulation. Fails with a message for bad settings, an unreadable motif file,
// a module too short for its sites, or a background FASTA that is unreadable, malformed
// or holds no window of --length bases with few enough undetermined bases.
bool Simulate(const SimOptions& options, SimData& data, std::string& err);

// The truth of every species: sequences, modules (site spans) and present sites.
TruthTable BuildTruth(const SimData& data);

// Text of the multi-species input file: all groups of species 0, then of species 1, ...
std::string FormatSequenceFile(const SimData& data);
// Rows of the true alignment of a group, letters and '-'.
std::vector<std::string> AlignmentRows(const SimData& data, int group);
// Text of the aligned file of a group (records named as in the sequence file).
std::string FormatAlignmentFile(const SimData& data, int group);
// Text of the model parameter file of the aligned scan.
std::string FormatParamFile(const SimData& data);

// File names written for an output prefix.
struct SimFileNames {
    std::string sequences, truth, motifs, motifsWithSites, alignment, params;
};
SimFileNames SimFilesFor(const std::string& prefix);

// Writes all six files; false with a message when one cannot be written.
bool WriteSimFiles(const SimData& data, const std::string& prefix, std::string& err);

}  // namespace sertools
