// Test support: scratch directories, files, running the built programs with both streams
// captured, letter coding, random DNA and the one seed helper every statistical test uses.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/SeqFile.h"
#include "common/ToolText.h"
#include "numeric/StochasticDistribution.h"

// The tests' one random stream: every model, aligner and sampler under test draws from it,
// as every chain of the program draws from its own. SeedRandom and RandomInt act on it.
inline CRandomStream& TestStream()
{
    static CRandomStream stream;
    return stream;
}
inline void SeedRandom(unsigned seed)
{
    TestStream().Seed(seed);
}
inline int RandomInt()
{
    return TestStream().Next();
}

namespace support {

// A fresh directory under the test temp dir, removed when the object goes away.
class TempDir {
public:
    explicit TempDir(const std::string& tag)
    {
        static int counter = 0;
        path_ = std::filesystem::path(::testing::TempDir()) /
                ("serevan_" + tag + "_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~TempDir() { std::filesystem::remove_all(path_); }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string File(const std::string& name) const { return (path_ / name).string(); }
    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
};

inline void WriteFile(const std::string& name, const std::string& text)
{
    std::ofstream out(name, std::ios::binary);
    out << text;
}

inline std::string ReadFile(const std::string& name)
{
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline bool Exists(const std::string& name)
{
    return std::filesystem::exists(name);
}

// The lines of a text, without their line feeds.
inline std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

// The tab-separated fields of one line (a trailing tab gives an empty last field).
inline std::vector<std::string> Fields(const std::string& line)
{
    return sertools::SplitTabs(line);
}

// The names of the files in dir, sorted.
inline std::vector<std::string> Listing(const std::filesystem::path& dir)
{
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

// The built executables and the repository root.
inline const std::string kBin = SEREVAN_BIN;
inline const std::string kSim = SEREVAN_SIM_BIN;
inline const std::string kEval = SEREVAN_EVAL_BIN;
inline const std::string kSourceDir = SEREVAN_SOURCE_DIR;

struct RunResult {
    int status = -1;     // exit status of the command (-1: killed by a signal)
    std::string output;  // standard output
    std::string error;   // standard error
};

// Runs a shell command in directory dir (if given), capturing both streams.
inline RunResult RunCommand(const std::string& command, const std::string& dir = "")
{
    const TempDir streams("streams");
    const std::string full = (dir.empty() ? "" : "cd '" + dir + "' && ") + command;
    const int raw =
        std::system(("{ " + full + " ; } >'" + streams.File("out") + "' 2>'" + streams.File("err") + "'").c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadFile(streams.File("out")), ReadFile(streams.File("err"))};
}

// Letter codes of a text: A C G T 0..3, '-' 4, anything else -1 (undetermined).
inline std::vector<int> Codes(const std::string& text)
{
    std::vector<int> out;
    for (char c : text) out.push_back(NucleotideCode(c));
    return out;
}

// A matrix of the consensus, column by column: hit for its base and (1 - hit) / 3 for each
// other (1/4 each in an undetermined column), as logs or as plain probabilities.
inline std::vector<double> Consensus(const std::string& consensus, double hit, bool logs = true)
{
    std::vector<double> m;
    for (char c : consensus)
        for (int b = 0; b < 4; ++b) {
            const int x = NucleotideCode(c);
            const double p = x < 0 || x > 3 ? 0.25 : x == b ? hit : (1 - hit) / 3;
            m.push_back(logs ? std::log(p) : p);
        }
    return m;
}

// Random bases drawn from rng.
inline std::string RandomDna(std::mt19937& rng, int len)
{
    std::string s;
    for (int i = 0; i < len; ++i) s += "ACGT"[rng() % 4];
    return s;
}

// len codes 0..3 from the program's stream, each undetermined (-1) with probability undetermined.
inline std::vector<int> RandomSeq(int len, double undetermined = 0.0)
{
    std::vector<int> s(static_cast<size_t>(len));
    for (int& c : s) c = (RandomInt() % 1000) < undetermined * 1000 ? -1 : RandomInt() % 4;
    return s;
}

// Copy of seq with about rate of its residues substituted, deleted or followed by an insertion.
inline std::vector<int> Mutate(const std::vector<int>& seq, double rate)
{
    std::vector<int> out;
    for (int c : seq) {
        const int r = RandomInt() % 1000;
        if (r >= rate * 600 && r < rate * 800) continue;  // deleted
        out.push_back(r < rate * 600 ? RandomInt() % 4 : c);
        if (RandomInt() % 1000 < rate * 200) out.push_back(RandomInt() % 4);
    }
    return out;
}

// The seed of a statistical test: the given default, or SEREVAN_TEST_SEED when set. The
// program's stream is seeded with it and the seed is printed with any failure of the test.
class TestSeed {
public:
    explicit TestSeed(unsigned fallback)
        : seed_(std::getenv("SEREVAN_TEST_SEED")
                    ? static_cast<unsigned>(std::strtoul(std::getenv("SEREVAN_TEST_SEED"), nullptr, 10))
                    : fallback),
          trace_(__FILE__, __LINE__, "seed " + std::to_string(seed_) + " (set SEREVAN_TEST_SEED to change it)")
    {
        SeedRandom(seed_);
    }
    unsigned value() const { return seed_; }
    operator unsigned() const { return seed_; }

private:
    unsigned seed_;
    ::testing::ScopedTrace trace_;
};

}  // namespace support
