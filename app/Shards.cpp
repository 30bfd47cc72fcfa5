// Shards of a genome-wide scan: their manifests, and the merge of their counts into the files
// of one run over all groups.
#include "app/Shards.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "app/Drivers.h"
#include "app/PathModuleU.h"
#include "app/RunOutput.h"
#include "app/SeqFile.h"
#include "app/TextLines.h"
#include "base/Format.h"
#include "model/Serevan.h"

namespace {

constexpr const char* kManifestHead = "Serevan shard manifest 1";

std::string SumText(const FileSum& s)
{
    return Format("%llu\t%016llx", static_cast<unsigned long long>(s.size), static_cast<unsigned long long>(s.hash));
}

std::vector<std::string> Tabs(const std::string& line)
{
    std::vector<std::string> f;
    size_t at = 0;
    for (size_t tab; (tab = line.find('\t', at)) != std::string::npos; at = tab + 1)
        f.push_back(line.substr(at, tab - at));
    f.push_back(line.substr(at));
    return f;
}

bool ParseSum(const std::string& size, const std::string& hash, FileSum& s)
{
    char* end = nullptr;
    s.size = std::strtoull(size.c_str(), &end, 10);
    if (size.empty() || *end != '\0') return false;
    s.hash = std::strtoull(hash.c_str(), &end, 16);
    return hash.size() == 16 && *end == '\0';
}

bool ParseGroup(const std::string& text, int& v)
{
    char* end = nullptr;
    const long x = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || x < 0 || x > 2000000000L) return false;
    v = static_cast<int>(x);
    return true;
}

// The arguments of a run with the values of -o and -J left out: what must agree between shards.
std::vector<std::string> RunArguments(const std::vector<std::string>& args)
{
    std::vector<std::string> out;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i].size() >= 2 && args[i][0] == '-' && (args[i][1] == 'o' || args[i][1] == 'J')) {
            ++i;
            continue;
        }
        out.push_back(args[i]);
    }
    return out;
}

std::string Joined(const std::vector<std::string>& args)
{
    std::string s;
    for (const std::string& a : args) s += (s.empty() ? "" : " ") + a;
    return s;
}

std::string Range(const ShardManifest& m)
{
    return std::to_string(m.first) + "-" + std::to_string(m.last);
}

}  // namespace

std::string ManifestText(const ShardManifest& m)
{
    std::string t = std::string(kManifestHead) + "\n";
    t += "input\t" + m.input + "\t" + SumText(m.inputSum) + "\n";
    t += "groups\t" + std::to_string(m.groups) + "\n";
    t += "range\t" + std::to_string(m.first) + "\t" + std::to_string(m.last) + "\n";
    t += "motifs\t" + m.motifs + "\t" + SumText(m.motifsSum) + "\n";
    t += "background\t" + m.background + "\t" + SumText(m.backgroundSum) + "\n";
    t += "arguments";
    for (const std::string& a : m.arguments) t += "\t" + a;
    return t + "\n";
}

bool ReadManifest(const std::string& file, ShardManifest& m, std::string& err)
{
    InputFile f = OpenInput(file.c_str());
    if (!f) {
        err = "cannot open shard manifest " + file;
        return false;
    }
    std::string line;
    std::vector<std::vector<std::string>> lines;
    while (ReadTextLine(f.get(), line)) lines.push_back(Tabs(StripLineFeed(line)));
    const char* keys[] = {"input", "groups", "range", "motifs", "background", "arguments"};
    const size_t sizes[] = {4, 2, 3, 4, 4, 1};
    bool ok = lines.size() == 7 && lines[0].size() == 1 && lines[0][0] == kManifestHead;
    for (size_t i = 0; ok && i < 6; ++i)
        ok = lines[i + 1][0] == keys[i] && (i == 5 ? lines[i + 1].size() >= sizes[i] : lines[i + 1].size() == sizes[i]);
    ok = ok && ParseSum(lines[1][2], lines[1][3], m.inputSum) && ParseGroup(lines[2][1], m.groups) &&
         ParseGroup(lines[3][1], m.first) && ParseGroup(lines[3][2], m.last) && m.first <= m.last &&
         m.last < m.groups && ParseSum(lines[4][2], lines[4][3], m.motifsSum) &&
         ParseSum(lines[5][2], lines[5][3], m.backgroundSum);
    if (!ok) {
        err = file + " is not a shard manifest of this program (written by -F -G -J)";
        return false;
    }
    m.input = lines[1][1];
    m.motifs = lines[4][1];
    m.background = lines[5][1];
    m.arguments.assign(lines[6].begin() + 1, lines[6].end());
    return true;
}

bool MakeManifest(const INPUTPARAMETER& p, int groups, ShardManifest& m, std::string& err)
{
    m.input = p.strSeqFile.c_str();
    m.motifs = p.strKnownMotifFile.c_str();
    m.background = p.strBgFile.c_str();
    m.groups = groups;
    m.first = p.nShardFirst;
    m.last = p.nShardLast;
    m.arguments = p.arguments;
    for (auto [path, sum] : {std::pair{&m.input, &m.inputSum}, std::pair{&m.motifs, &m.motifsSum},
                             std::pair{&m.background, &m.backgroundSum}})
        if (!SumFile(*path, *sum)) {
            err = "cannot read " + *path + " again to record its checksum";
            return false;
        }
    return true;
}

int MergeShards(const std::vector<std::string>& shards, const std::string& report, const std::string& commandLine)
{
    if (shards.empty()) return Refuse("serevan-merge: no shard given");
    std::vector<ShardManifest> m(shards.size());
    std::string err;
    for (size_t i = 0; i < shards.size(); ++i)
        if (!ReadManifest(shards[i], m[i], err)) return Refuse(err);

    // One run, split: the same input, files and options in every shard.
    const std::vector<std::string> args = RunArguments(m[0].arguments);
    for (size_t i = 1; i < shards.size(); ++i) {
        const std::string pair = "shards " + shards[0] + " and " + shards[i];
        if (m[i].input != m[0].input || !(m[i].inputSum == m[0].inputSum) || m[i].groups != m[0].groups)
            return Refuse(pair + " scanned different inputs (" + m[0].input + ", " + m[i].input + ")");
        if (!(m[i].motifsSum == m[0].motifsSum))
            return Refuse(pair + " read different motif files (-A " + m[0].motifs + ", -A " + m[i].motifs + ")");
        if (!(m[i].backgroundSum == m[0].backgroundSum))
            return Refuse(pair + " read different background files (-g " + m[0].background + ", -g " + m[i].background +
                          ")");
        const std::vector<std::string> other = RunArguments(m[i].arguments);
        if (other != args)
            return Refuse(pair + " were run with different options ('" + Joined(args) + "', '" + Joined(other) + "')");
    }

    // The ranges tile the groups without gap or overlap.
    std::vector<size_t> order(shards.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return m[a].first < m[b].first; });
    int next = 0;
    for (size_t j = 0; j < order.size(); ++j) {
        const ShardManifest& s = m[order[j]];
        if (s.first < next)
            return Refuse("shard " + shards[order[j]] + " (groups " + Range(s) + ") overlaps shard " +
                          shards[order[j - 1]] + " (groups " + Range(m[order[j - 1]]) + ")");
        if (s.first > next)
            return Refuse("groups " + std::to_string(next) + "-" + std::to_string(s.first - 1) + " are in no shard");
        next = s.last + 1;
    }
    if (next != m[0].groups)
        return Refuse("groups " + std::to_string(next) + "-" + std::to_string(m[0].groups - 1) + " are in no shard");

    // The files the merge reads must be those the shards read.
    for (auto [path, sum] : {std::pair{m[0].input, m[0].inputSum}, std::pair{m[0].motifs, m[0].motifsSum},
                             std::pair{m[0].background, m[0].backgroundSum}}) {
        FileSum now;
        if (!SumFile(path, now)) return Refuse("cannot read " + path + ", which the shards read");
        if (!(now == sum)) return Refuse(path + " has changed since the shards read it");
    }

    // The run's parameters, as the shards parsed them.
    std::vector<std::string> argv{"Serevan"};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> ptrs;
    for (std::string& a : argv) ptrs.push_back(a.data());
    INPUTPARAMETER param;
    SetDefaultParam(&param);
    if (const int status = ParseInputParam(&param, static_cast<int>(ptrs.size()), ptrs.data())) return status;
    param.strOutputFile = report.c_str();
    param.strParamLine = ("Serevan (beta 1, Nov 2007)\n" + commandLine + " ").c_str();
    const int nSeq = CountSequences(param.strSeqFile.c_str());
    if (nSeq != m[0].groups * param.nSpeciesNum)
        return Refuse("sequence file " + m[0].input + " does not hold the groups the shards scanned");

    ModelStart start;
    if (const int status = UnalignedScanStart(param, start)) return status;
    ModelGroups d;
    if (!ReadGroups(param, nSeq, d)) return 1;
    CRandomStream unused(param.nSeed), calls(DeriveSeed(param.nSeed, 0, kCallStream));
    CSerevan model(param, d, start, unused);
    model.SetCallStream(calls);
    PosteriorSums sums = ScanSums(d, start.width, param.nMaxIterNum);
    for (size_t i = 0; i < shards.size(); ++i)
        if (!ReadScanTables(OutputNames(shards[i]), d, m[i].first, m[i].last - m[i].first + 1, sums, err))
            return Refuse(err);
    const int T = param.nMaxIterNum;
    const RunResults results = model.CallAndReport(std::move(sums), CallPlan{T, T, false});
    const OutputNames names(report);
    std::string failed;
    if (!results.status.Ok()) return Stopped(results.status, names, failed);
    if (!WriteRun(names, RunKind::UnalignedScan, results, failed)) return RefuseUnwritten(names, failed);
    return 0;
}
