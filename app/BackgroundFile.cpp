// Reader of k-mer background files.
#include "app/BackgroundFile.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

#include "app/TextLines.h"
#include "base/Numbers.h"
#include "numeric/SeqMotifBasic.h"

namespace {

constexpr double kSumTolerance = 1e-3;

// Index of a k-mer as a base-4 number (first base most significant); -1 if not ACGT. Only
// k-mers of the orders used get an index (longer ones would overflow it); others give 0.
long KmerIndex(const std::string& kmer)
{
    long index = 0;
    for (char c : kmer) {
        const int b = serevan::BaseCodeAnyCase(c);
        if (b < 0) return -1;
        if (kmer.size() <= static_cast<size_t>(CMarkovBackground::kMaxOrder + 1)) index = 4 * index + b;
    }
    return index;
}

const std::string kConditional = "# conditional ";

// "CONTEXT p(A) p(C) p(G) p(T)" of a conditional line ("." for the empty context) into cond.
bool ReadConditional(const std::string& rest, std::vector<double>& cond, std::vector<char>& seen, std::string& err)
{
    char ctxText[16] = {0};
    double p[4];
    int used = 0;
    if (std::sscanf(rest.c_str(), "%15s %la %la %la %la %n", ctxText, &p[0], &p[1], &p[2], &p[3], &used) != 5 ||
        rest.find_first_not_of(" \t\r\n", used) != std::string::npos) {
        err = "expected \"# conditional CONTEXT\" and four probabilities";
        return false;
    }
    const std::string ctx = ctxText;
    const long index = ctx == "." ? 0 : KmerIndex(ctx);
    const int o = ctx == "." ? 0 : static_cast<int>(ctx.size());
    if (index < 0 || o > CMarkovBackground::kMaxOrder) {
        err = "'" + ctx + "' is not a context of A, C, G and T of at most " +
              std::to_string(CMarkovBackground::kMaxOrder) + " bases";
        return false;
    }
    double sum = 0.0;
    for (double x : p) {
        if (!std::isfinite(x) || x < 0) {
            err = "a conditional probability is not a non-negative number";
            return false;
        }
        sum += x;
    }
    if (std::fabs(sum - 1.0) > kSumTolerance) {
        err = "the conditional probabilities of " + ctx + " do not sum to 1";
        return false;
    }
    const size_t slot = CMarkovBackground::OrderBase(o) / 4 + static_cast<size_t>(index);
    if (seen[slot]) {
        err = "the conditional line of " + ctx + " appears twice";
        return false;
    }
    seen[slot] = 1;
    std::copy(p, p + 4, cond.begin() + 4 * slot);
    return true;
}

}  // namespace

bool ReadBackgroundFile(const CString& file, CMarkovBackground& model, std::string& err)
{
    const std::string name = file.c_str();
    InputFile f = OpenInput(file.c_str());
    if (!f) {
        err = "cannot open background file " + name;
        return false;
    }
    const int maxLen = CMarkovBackground::kMaxOrder + 1;
    std::vector<std::vector<double>> freq(maxLen);  // by k-mer length - 1
    std::vector<std::vector<char>> seen(maxLen);
    for (int o = 0; o < maxLen; ++o) {
        freq[o].assign(size_t{4} << (2 * o), 0.0);
        seen[o].assign(freq[o].size(), 0);
    }
    std::vector<long> counted(maxLen, 0);
    std::vector<double> cond(CMarkovBackground::TableSize(CMarkovBackground::kMaxOrder), 0.0);
    std::vector<char> condSeen(cond.size() / 4, 0);  // per context of every order
    std::string line;
    long lineNo = 0;
    while (ReadTextLine(f.get(), line)) {
        ++lineNo;
        const std::string where = name + " line " + std::to_string(lineNo) + ": ";
        size_t a = line.find_first_not_of(" \t\r\n");
        if (a != std::string::npos && line.compare(a, kConditional.size(), kConditional) == 0) {
            if (!ReadConditional(line.substr(a + kConditional.size()), cond, condSeen, err)) {
                err = where + err;
                return false;
            }
            continue;
        }
        if (a == std::string::npos || line[a] == '#') continue;
        if (line.find('\0') != std::string::npos) {
            err = where + "holds a zero byte";
            return false;
        }
        const size_t b = line.find_first_of(" \t\r\n", a);
        const std::string kmer = line.substr(a, b - a);
        const size_t c = b == std::string::npos ? b : line.find_first_not_of(" \t\r\n", b);
        if (c == std::string::npos) {
            err = where + "expected a k-mer and its frequency";
            return false;
        }
        const size_t d = line.find_first_of(" \t\r\n", c);
        const std::string value = line.substr(c, d - c);
        if (d != std::string::npos && line.find_first_not_of(" \t\r\n", d) != std::string::npos) {
            err = where + "expected a k-mer and its frequency, found more fields";
            return false;
        }
        const long index = KmerIndex(kmer);
        if (index < 0) {
            err = where + "'" + kmer + "' is not a k-mer of A, C, G and T";
            return false;
        }
        double x = 0;
        if (!serevan::ParseReal(value, x) || x < 0) {
            err = where + "frequency '" + value + "' is not a non-negative number";
            return false;
        }
        if (kmer.size() > static_cast<size_t>(maxLen)) continue;  // an order above the highest used
        const int o = static_cast<int>(kmer.size()) - 1;
        if (seen[o][index]) {
            err = where + "'" + kmer + "' appears twice";
            return false;
        }
        seen[o][index] = 1;
        freq[o][index] = x;
        ++counted[o];
    }
    int orders = 0;
    while (orders < maxLen && counted[orders] > 0) ++orders;
    if (orders == 0) {
        err = "background file " + name + " holds no frequencies of single bases (order 0)";
        return false;
    }
    for (int o = orders; o < maxLen; ++o)
        if (counted[o] > 0) {
            err = "background file " + name + " has " + std::to_string(o + 1) + "-mers but no " +
                  std::to_string(orders + 1) + "-mers (order " + std::to_string(orders) + " is missing)";
            return false;
        }
    for (int o = 0; o < orders; ++o) {
        const long need = 4L << (2 * o);
        if (counted[o] != need) {
            err = "background file " + name + " holds " + std::to_string(counted[o]) + " of the " +
                  std::to_string(need) + " " + std::to_string(o + 1) + "-mers";
            return false;
        }
        double sum = 0.0;
        for (double x : freq[o]) sum += x;
        if (std::fabs(sum - 1.0) > kSumTolerance) {
            char buf[64];
            std::snprintf(buf, sizeof buf, "%.6g", sum);
            err = "background file " + name + ": the " + std::to_string(o + 1) + "-mer frequencies sum to " + buf +
                  ", not 1";
            return false;
        }
    }
    freq.resize(orders);
    CMarkovBackground read;  // the model is left as it was unless the whole file is good
    read.SetFromJoint(freq);
    // Exact conditionals, when the file has them, must cover the orders of the frequencies
    // and agree with them; they then replace what the frequencies give (to the last bit).
    const size_t used = CMarkovBackground::TableSize(orders - 1) / 4;
    const long given = std::count(condSeen.begin(), condSeen.end(), 1);
    if (given == 0) {
        model = std::move(read);
        return true;
    }
    if (given != static_cast<long>(used) || std::count(condSeen.begin(), condSeen.begin() + used, 1) != given) {
        err = "background file " + name + " has conditional lines for some contexts of orders 0 to " +
              std::to_string(orders - 1) + " but not for all";
        return false;
    }
    cond.resize(used * 4);
    const std::vector<double>& joint = read.Table();
    for (size_t i = 0; i < cond.size(); ++i)
        if (std::fabs(cond[i] - joint[i]) > 1e-6) {
            err = "background file " + name + ": the conditional lines disagree with the k-mer frequencies";
            return false;
        }
    model.SetTable(orders - 1, std::move(cond));
    return true;
}

std::string FormatBackgroundFile(const CMarkovBackground& model, const std::string& origin)
{
    const int order = model.Order();
    const std::vector<double>& table = model.Table();
    std::string text = "# " + origin + "\n";
    text += "# k-mer frequencies of orders 0 to " + std::to_string(order) +
            " (the joint frequencies the conditional probabilities\n"
            "# below imply); \"# conditional CONTEXT p(A) p(C) p(G) p(T)\" lines hold those probabilities\n"
            "# exactly (hexadecimal) for the program's -g, which reads them in place of the frequencies.\n";
    auto kmer = [](int index, int length) {
        std::string s(length, 'A');
        for (int i = length - 1; i >= 0; --i, index /= 4) s[i] = "ACGT"[index % 4];
        return s;
    };
    std::vector<double> lower(table.begin(), table.begin() + 4), joint;
    for (int o = 0; o <= order; ++o) {
        joint.assign(size_t{4} << (2 * o), 0.0);
        for (int ctx = 0; ctx < (1 << (2 * o)); ++ctx)
            for (int b = 0; b < 4; ++b)
                joint[4 * ctx + b] = (o == 0 ? 1.0 : lower[ctx]) * table[CMarkovBackground::OrderBase(o) + 4 * ctx + b];
        for (size_t i = 0; i < joint.size(); ++i) {
            char value[40];
            std::snprintf(value, sizeof value, " %.12g\n", joint[i]);
            text += kmer(static_cast<int>(i), o + 1) + value;
        }
        lower = joint;
    }
    for (int o = 0; o <= order; ++o)
        for (int ctx = 0; ctx < (1 << (2 * o)); ++ctx) {
            const double* p = &table[CMarkovBackground::OrderBase(o) + 4 * ctx];
            char values[160];
            std::snprintf(values, sizeof values, " %a %a %a %a\n", p[0], p[1], p[2], p[3]);
            text += kConditional + (o == 0 ? std::string(".") : kmer(ctx, o)) + values;
        }
    return text;
}
