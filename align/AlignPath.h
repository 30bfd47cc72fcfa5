// Alignment paths: the node record, the pairwise coordinate, and the builders shared by
// every producer of paths (blocks, change points, legitimate subset codes, aligned rows).
// See align/paths.md for the layout of blocks and subset codes along a path.
#pragma once

#include <vector>

// One node of an alignment path. A path is a std::vector of nodes; node 0 is the start.
struct ALIGNNODE {
    std::vector<int> pos;        // per species: residues consumed up to and including this node (1-based position)
    int blockNum = 0;            // number of blocks at this node
    std::vector<int> blockSize;  // species count of each block
    std::vector<std::vector<int>> block;    // species of each block, ascending; least to most recently advanced
    int movingBlock = 0;                    // node >= 1: index of the advancing block (blockNum-1); node 0: node count
    bool CP = false;                        // change point: the advancing species differ at the next node
    std::vector<unsigned char> legitimate;  // 2^N flags: subset code allowed at this node
};

// A path owns its nodes; freeing the vector frees everything (DeletePath empties one).
using ALIGNPATH = std::vector<ALIGNNODE>;

// Positions reached in the first and second sequence of a pairwise alignment after a step.
struct COORDINATE {
    int x = 0;
    int y = 0;
};

// Number of nodes of a path, read from node 0 (0 for an empty path).
inline int PathNodeNum(const ALIGNNODE* path)
{
    return path ? path[0].movingBlock : 0;
}
inline int PathNodeNum(const ALIGNPATH& path)
{
    return path.empty() ? 0 : path[0].movingBlock;
}

// Subset code of the species in the moving block of a node (bit s for species s).
inline int MovingMask(const ALIGNNODE& node)
{
    int mask = 0;
    for (int s : node.block[node.movingBlock]) mask |= 1 << s;
    return mask;
}

// Node 0 of a path of nNode nodes for N species: all pos 0, N singleton blocks, CP true.
void InitStartNode(ALIGNNODE& node, int N, int nNode);

// Sets blockNum, blockSize, block and movingBlock of node i from node i-1; advance holds
// N flags. Returns false (after printing "error in set path block!") when nAdvance is 0.
bool SetPathBlock(ALIGNNODE* path, int i, const bool* advance, int nAdvance, int N);

// CP of every node: true at node 0 and the last node; in between, true when some species'
// step into the next node differs from its step into this one.
void SetChangePoints(ALIGNNODE* path, int nNode, int N);

// Allocates and fills legitimate of every node: node 0 admits only code 0; a code is
// legitimate when it splits no block of two or more species. Nodes after a non-change
// point copy the table of the node before.
void SetLegitimateState(ALIGNNODE* path, int nNode, int N);

// Builds a complete path from N aligned rows (codes 0..3 bases, -1 undetermined, 4 gap)
// of equal length L. Columns that are a gap in every species are dropped first, so every
// node after node 0 advances at least one species. Returns the ungapped sequences. False
// (nothing built) when N < 1, there are fewer than N rows, or the rows differ in length.
bool AlignmentToPath(const std::vector<std::vector<int>>& aligned, int N, ALIGNPATH& path, std::vector<int>& seqLen,
                     std::vector<std::vector<int>>& seq);

// Frees every node of the path (leaves it empty).
void DeletePath(ALIGNPATH& path);
