// The records of the module model: edge-column statistics, per-node ancestral draws, sequence
// stretches, called sites and modules, and per-species site summaries.
#pragma once

#include <string>
#include <vector>

// Statistics of one edge column of one motif over the sites of one sweep; motif k, edge e
// at index 4k + e (e: 0 base before the site, 1 first base, 2 last base, 3 base after).
struct SITECOL {
    std::vector<int> speciesCount;    // single-species sites: base b of species s at 4s + b
    int ancCount[4] = {0, 0, 0, 0};   // aligned sites: ancestral base of the column
    int subCount[4] = {0, 0, 0, 0};   // aligned sites: descendant bases that differ from the ancestor
    int sameCount[4] = {0, 0, 0, 0};  // aligned sites: descendant bases equal to the ancestor
    int transitionNum = 0;            // aligned sites: descendant differs by a transition
    int transversionNum = 0;          // aligned sites: descendant differs by a transversion
};

// Per node of one backward pass: the ancestral base drawn there and, at the first node of an
// aligned motif site, the motif and its strand.
struct ANCSEQMOTIF {
    int ancBase = -1;     // ancestral base in sequence orientation, -1 if none
    int motifIndex = -1;  // first node of an aligned site: motif k; -1 elsewhere
    bool forward = true;  // first node of an aligned site: false on the reverse strand
};

// One run of posterior-count increments a backward pass makes: table kind (0 the reference
// alignment counts of group `index`, 1 the alignment counts, 2 the module counts, 3 the site
// counts of motif `motif`, each of slot `index`), first position and length. With -y a pass
// records its increments as these runs, so that a rejected path adds nothing.
struct POSTRUN {
    int kind = 0;
    int motif = 0;
    int index = 0;
    int pos = 0;
    int len = 0;
};

// A stretch of one sequence (0-based, inclusive bounds).
struct SEQREGION {
    int species = -1;
    int group = -1;
    int start = -1;
    int end = -1;
};

// One called motif site.
struct OUTPUTSITE {
    int species = 0;
    int group = 0;
    bool strand = true;      // true: reads on the given strand
    int position = 0;        // first base on the given strand, 0-based
    double maxFreq = 0.0;    // largest per-position site count over the site, divided by T
    double alignFreq = 0.0;  // summed alignment counts over the site, divided by width * T
    std::string text;        // the site's bases as letters, read on its strand
    int width = 0;           // motif width when the site was called
};

// One called module.
struct MODULEREGION {
    int group = 0;
    int start = 0;
    int end = 0;            // one past the last base of the rightmost-ending site
    std::vector<int> site;  // (signed motif code, position) per called site inside
    int siteNum = 0;
};

// Called-site summary of one species.
struct SPECIESSUMMARY {
    std::vector<int> siteCount;               // called sites of motif k (K + 1 entries)
    std::vector<std::vector<int>> baseCount;  // per motif: base b in column j at 4j + b
};
