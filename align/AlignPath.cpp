// Alignment paths: blocks, change points, legitimate subset codes, aligned rows.
#include "align/AlignPath.h"

#include <cstdio>
#include <memory>

void InitStartNode(ALIGNNODE& node, int N, int nNode)
{
    node.pos.assign(N, 0);
    node.blockNum = N;
    node.blockSize.assign(N, 1);
    node.block.assign(N, std::vector<int>(1));
    for (int s = 0; s < N; ++s) node.block[s][0] = s;
    node.movingBlock = nNode;
    node.CP = true;
    node.legitimate.clear();
}

bool SetPathBlock(ALIGNNODE* path, int i, const bool* advance, int nAdvance, int N)
{
    const ALIGNNODE& prev = path[i - 1];
    ALIGNNODE& node = path[i];
    node.block.clear();
    node.blockSize.clear();
    for (int b = 0; b < prev.blockNum; ++b) {
        std::vector<int> rest;
        for (int s : prev.block[b])
            if (!advance[s]) rest.push_back(s);
        if (!rest.empty()) {
            node.blockSize.push_back(static_cast<int>(rest.size()));
            node.block.push_back(std::move(rest));
        }
    }
    int kept = static_cast<int>(node.block.size());
    std::vector<int> moving;
    for (int s = 0; s < N; ++s)
        if (advance[s]) moving.push_back(s);
    if (nAdvance > 0) {
        node.blockSize.push_back(nAdvance);
        node.block.push_back(std::move(moving));
    }
    node.blockNum = static_cast<int>(node.block.size());
    node.movingBlock = node.blockNum - 1;
    if (kept != node.blockNum - 1) {
        std::puts("error in set path block!");
        return false;
    }
    return true;
}

void SetChangePoints(ALIGNNODE* path, int nNode, int N)
{
    if (nNode <= 0) return;
    path[0].CP = true;
    for (int i = 1; i + 1 < nNode; ++i) {
        bool cp = false;
        for (int s = 0; s < N && !cp; ++s)
            if (path[i + 1].pos[s] - path[i].pos[s] != path[i].pos[s] - path[i - 1].pos[s]) cp = true;
        path[i].CP = cp;
    }
    path[nNode - 1].CP = true;
}

void SetLegitimateState(ALIGNNODE* path, int nNode, int N)
{
    const int nStates = 1 << N;
    if (nNode <= 0) return;
    path[0].legitimate.assign(nStates, 0);
    path[0].legitimate[0] = 1;
    for (int i = 1; i < nNode; ++i) {
        ALIGNNODE& node = path[i];
        if (!path[i - 1].CP) {
            node.legitimate = path[i - 1].legitimate;
            continue;
        }
        node.legitimate.assign(nStates, 1);
        for (int c = 0; c < nStates; ++c) {
            for (int b = 0; b < node.blockNum; ++b) {
                if (node.blockSize[b] < 2) continue;
                const std::vector<int>& members = node.block[b];
                int first = (c >> members[0]) & 1;
                bool split = false;
                for (size_t m = 1; m < members.size(); ++m)
                    if (((c >> members[m]) & 1) != first) split = true;
                if (split) {
                    node.legitimate[c] = 0;
                    break;
                }
            }
        }
    }
}

bool AlignmentToPath(const std::vector<std::vector<int>>& aligned, int N, ALIGNPATH& path, std::vector<int>& seqLen,
                     std::vector<std::vector<int>>& seq)
{
    if (N < 1 || aligned.size() < static_cast<size_t>(N)) return false;
    const size_t L = aligned[0].size();
    for (int s = 1; s < N; ++s)
        if (aligned[s].size() != L) return false;
    // Columns that are a gap in every species advance nobody: drop them.
    std::vector<size_t> columns;
    for (size_t k = 0; k < L; ++k) {
        bool any = false;
        for (int s = 0; s < N && !any; ++s) any = aligned[s][k] <= 3;
        if (any) columns.push_back(k);
    }
    const int nNode = static_cast<int>(columns.size()) + 1;
    path.assign(nNode, ALIGNNODE());
    InitStartNode(path[0], N, nNode);
    auto advance = std::make_unique<bool[]>(static_cast<size_t>(N));
    for (int i = 1; i < nNode; ++i) {
        size_t k = columns[i - 1];
        int nAdvance = 0;
        path[i].pos = path[i - 1].pos;
        for (int s = 0; s < N; ++s) {
            advance[s] = aligned[s][k] <= 3;
            if (advance[s]) {
                ++path[i].pos[s];
                ++nAdvance;
            }
        }
        SetPathBlock(path.data(), i, advance.get(), nAdvance, N);
    }
    SetChangePoints(path.data(), nNode, N);
    SetLegitimateState(path.data(), nNode, N);
    seqLen.assign(N, 0);
    seq.assign(N, std::vector<int>());
    for (int s = 0; s < N; ++s) {
        seqLen[s] = path[nNode - 1].pos[s];
        seq[s].reserve(seqLen[s]);
        for (size_t k = 0; k < L; ++k)
            if (aligned[s][k] <= 3) seq[s].push_back(aligned[s][k]);
    }
    return true;
}

void DeletePath(ALIGNPATH& path)
{
    ALIGNPATH().swap(path);
}
