// Background Markov model of order k (0..5) over DNA, for runs that ask for one (-g): the
// probability of a base given up to k bases before it in the same sequence. Near the start
// of a sequence, or after an undetermined base, the context is shorter and the model of
// that lower order answers. An empty model (order -1) means "use the program's default
// background" everywhere.
#pragma once

#include <utility>
#include <vector>

class CMarkovBackground {
public:
    static constexpr int kMaxOrder = 5;

    bool Empty() const { return m_order < 0; }
    int Order() const { return m_order; }

    // Estimates orders 0..order from the sequences read on both strands. Each order is
    // smoothed towards the order below it: p(b | c) = (n(c b) + 4 p'(b | c')) / (n(c) + 4),
    // c' being c without its farthest base; order 0 adds 1 to every base.
    void Estimate(int order, const int* const* seqs, const int* lens, int nSeq);

    // Sets orders 0..joint.size()-1 from joint frequencies of (o+1)-mers, joint[o] holding
    // 4^(o+1) values indexed as base-4 numbers (first base most significant). A context
    // whose four frequencies are all zero takes the order below it.
    void SetFromJoint(const std::vector<std::vector<double>>& joint);

    // The probabilities of every order, p(b | c) of order o at OrderBase(o) + 4 c + b (the
    // context c as a base-4 number, the nearest base least significant): what a background
    // file stores exactly. SetTable takes such a table back unchanged.
    const std::vector<double>& Table() const { return m_lin; }
    void SetTable(int order, std::vector<double> lin);
    static int TableSize(int order) { return OrderBase(order + 1); }
    static int OrderBase(int o) { return 4 * ((1 << (2 * o)) - 1) / 3; }

    // One model per group: every context of every order estimated from the group's own
    // sequences (both strands), shrunk towards this model's probabilities with the weight of
    // `weight` bases: p_g(b | c) = (n_g(c b) + weight p(b | c)) / (n_g(c) + weight).
    std::vector<CMarkovBackground> LocalToGroups(const std::vector<std::vector<std::pair<const int*, int>>>& groups,
                                                 double weight) const;

    // Offset of the four log probabilities of the base at p given the bases before it.
    int ContextOffset(const int* seq, int p) const;
    const double* Log(int offset) const { return m_log.data() + offset; }
    const double* Lin(int offset) const { return m_lin.data() + offset; }

    // Log probability of seq[p] given its context; fallback when seq[p] is not a base.
    double PosLog(const int* seq, int p, double fallback) const;
    // PosLog of every position of a sequence.
    void PosLogs(const int* seq, int len, double fallback, std::vector<double>& out) const;

private:
    void Finish();

    int m_order = -1;
    std::vector<double> m_log, m_lin;  // orders 0..k, order o at OrderBase(o) + 4 * context
};
