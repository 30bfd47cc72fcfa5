// Reader of k-mer background files.
#include "app/BackgroundFile.h"

#include <cmath>
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
    std::string line;
    long lineNo = 0;
    while (ReadTextLine(f.get(), line)) {
        ++lineNo;
        const std::string where = name + " line " + std::to_string(lineNo) + ": ";
        size_t a = line.find_first_not_of(" \t\r\n");
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
    model.SetFromJoint(freq);
    return true;
}
