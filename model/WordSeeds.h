// Starting motifs from conserved, over-represented words: every short word is scored by how
// many more orthologous groups hold it conserved across aligned species than the background
// predicts, and the best mutually dissimilar words become starting matrices. The score and
// its reasons are in model/word_seeds.md.
//
// Call after the groups are aligned (the stored alignments say which residues are conserved):
//     WordSeedSettings set;
//     set.bothStrands = bothStrands;
//     const std::vector<ConservedWord> words = ConservedWords(groups, groups.bg, set);
//     SeedMatrices(groups, groups.bg, words, set, K, chain, minWidth, maxWidth, start.pwm, start.width);
#pragma once

#include <string>
#include <vector>

#include "model/Settings.h"
#include "numeric/LowComplexStretches.h"
#include "numeric/MarkovBackground.h"

struct WordSeedSettings {
    static constexpr int kMaxWordLen = 10;  // 4^10 counters per length

    int minWord = 6;          // shortest word counted
    int maxWord = 8;          // longest word counted (at most kMaxWordLen)
    int minSpecies = 2;       // species that show the word at aligned positions (lowered to N)
    int minGroups = 2;        // words conserved in fewer groups are not scored
    int maxWords = 50;        // ranked words returned, with their sites
    bool bothStrands = true;  // a word and its reverse complement are one word
    int fallbackOrder = 2;    // order of the background estimated from the sequences when none is given
    double localBg = 0.0;     // > 0: each group's expectation under its own background (-e)
    serevan::LowComplexitySettings stretches;  // windows touching such a stretch are not counted
};

// One window of a conserved occurrence: sequence slot s*G + g, first base, strand.
struct WordSite {
    int slot = 0;
    int pos = 0;
    bool forward = true;  // false: the window spells the reverse complement of the word
};

struct ConservedWord {
    std::vector<int> word;        // base codes; of a word and its reverse complement the smaller
    int groups = 0;               // groups holding it conserved (each group once)
    double expected = 0.0;        // groups expected to hold it under the background
    double score = 0.0;           // -ln P(at least `groups` groups) under the background
    std::vector<WordSite> sites;  // the windows of every species of every conserved occurrence

    std::string Text() const;
};

// A word's bases as letters (N for any other code).
std::string WordText(const std::vector<int>& word);

// The background the word scores use: bg, or without one an order-set.fallbackOrder model
// estimated from every sequence of the groups on both strands.
CMarkovBackground WordBackground(const ModelGroups& d, const CMarkovBackground& bg, const WordSeedSettings& set);

// Words of set.minWord..set.maxWord bases conserved in at least set.minGroups groups, best
// score first (ties: more groups, then the shorter word, then the smaller code); at most
// set.maxWords. Low-complexity words (LowComplexity of SeqMotifBasic) are left out.
std::vector<ConservedWord> ConservedWords(const ModelGroups& d, const CMarkovBackground& bg,
                                          const WordSeedSettings& set);

// True when, at some shift (and on either strand when bothStrands), the two words overlap in
// at least min(|a|, |b|) - 1 positions with at most one mismatch, or in min(|a|, |b|) - 2
// positions without one: shifted or slightly different copies of one motif.
bool WordsSimilar(const std::vector<int>& a, const std::vector<int>& b, bool bothStrands);

// Starting matrices from the ranked words. Walking down the ranking, a word similar to one
// taken before is passed over; the sites of each other word, with flanks, go through the width
// choice of the starting-motif sampler (FBAdjustMotifWidth) within [minWidth, maxWidth], and a
// matrix whose consensus is low-complexity is passed over too. The first `first` matrices so
// made are skipped (so chains can start from different words); the next K become pwm (log
// matrices, base b of column j at 4j + b, every entry finite) and width. Returns how many
// came from words; the remaining motifs are uniform of width (minWidth + maxWidth) / 2. used,
// if given, receives for each motif the index of its word in ranked, or -1.
int SeedMatrices(const ModelGroups& d, const CMarkovBackground& bg, const std::vector<ConservedWord>& ranked,
                 const WordSeedSettings& set, int K, int first, int minWidth, int maxWidth,
                 std::vector<std::vector<double>>& pwm, std::vector<int>& width, std::vector<int>* used = nullptr);
