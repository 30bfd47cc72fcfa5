// Orthologous groups from a UCSC MAF genome alignment.
#include "common/MafGroups.h"

#include <algorithm>
#include <fstream>

#include "common/ToolText.h"

namespace sertools {

namespace {

struct MafRow {
    std::string source;
    long long start = 0, size = 0, sourceSize = 0;
    char strand = '+';
    std::string letters;         // gaps removed
    std::string text;            // as aligned (kept for regions only)
    long long forwardStart = 0;  // forward-strand start, offset added
};

// A first-species region of the BED file.
struct Region {
    std::string chrom;
    long long start = 0, end = 0;
};

bool ReadRegions(const std::string& path, std::vector<Region>& regions, std::string& err)
{
    std::vector<std::string> lines;
    if (!ReadLines(path, lines, err)) return false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::vector<std::string> f = SplitBlank(lines[i]);
        if (f.empty() || f[0][0] == '#' || f[0] == "track" || f[0] == "browser") continue;
        Region r;
        if (f.size() < 3 || !ParseInt(f[1], r.start) || !ParseInt(f[2], r.end) || r.start < 0 || r.end <= r.start ||
            r.end > kMaxCoordinate) {
            err = Format("%s:%zu: a region must read chrom, start, end (0-based, end above start, at most %lld)",
                         path.c_str(), i + 1, kMaxCoordinate);
            return false;
        }
        r.chrom = f[0];
        regions.push_back(r);
    }
    return true;
}

std::string Chromosome(const std::string& source)
{
    std::size_t dot = source.find('.');
    return dot == std::string::npos ? source : source.substr(dot + 1);
}

// The assembly part of a source name: "hg17" of "hg17.chr22".
std::string Assembly(const std::string& source)
{
    return source.substr(0, source.find('.'));
}

bool IsLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Printable form of a character for a message.
std::string Shown(char c)
{
    return c > 32 && c < 127 ? Format("'%c'", c) : Format("byte %d", static_cast<unsigned char>(c));
}

}  // namespace

bool ReadMafGroups(const std::string& path, const MafSettings& settings, MafGroups& out, std::string& err)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        err = "cannot open " + path;
        return false;
    }
    const std::size_t N = settings.species.size();
    std::vector<std::vector<std::string>> bySpecies(N);
    std::vector<std::vector<std::string>> names(N);
    std::vector<GroupSegment> segments;
    long long blocks = 0, missing = 0, shortBlocks = 0, lineNo = 0;
    std::vector<MafRow> block;
    std::size_t columns = 0;
    bool inBlock = false;

    std::vector<std::vector<MafRow>> kept;  // with regions: per block, the row of each species (empty source: none)
    auto take = [&]() {
        ++blocks;
        std::vector<const MafRow*> rows(N, nullptr);
        for (const MafRow& r : block)
            for (std::size_t s = 0; s < N; ++s)
                if (!rows[s] && Assembly(r.source) == settings.species[s]) rows[s] = &r;
        if (!settings.regions.empty()) {
            if (!rows[0]) return;
            std::vector<MafRow> keep(N);
            for (std::size_t s = 0; s < N; ++s)
                if (rows[s]) {
                    keep[s] = *rows[s];
                    auto off = settings.offset.find(settings.species[s]);
                    keep[s].forwardStart =
                        (rows[s]->strand == '+' ? rows[s]->start
                                                : rows[s]->sourceSize - rows[s]->start - rows[s]->size) +
                        (off == settings.offset.end() ? 0 : off->second);
                }
            kept.push_back(std::move(keep));
            return;
        }
        for (const MafRow* r : rows)
            if (!r || r->letters.empty()) {
                ++missing;
                return;
            }
        if (static_cast<long long>(rows[0]->letters.size()) < settings.minLength) {
            ++shortBlocks;
            return;
        }
        const int g = static_cast<int>(bySpecies[0].size());
        for (std::size_t s = 0; s < N; ++s) {
            const MafRow& r = *rows[s];
            auto off = settings.offset.find(settings.species[s]);
            const long long shift = off == settings.offset.end() ? 0 : off->second;
            GroupSegment seg;
            seg.group = g;
            seg.species = static_cast<int>(s);
            seg.length = static_cast<long long>(r.letters.size());
            seg.source = r.source;
            seg.strand = r.strand;
            // MAF counts minus-strand starts from the end of the reverse complement.
            seg.start = (r.strand == '+' ? r.start : r.sourceSize - r.start - r.size) + shift;
            seg.end = seg.start + r.size;
            segments.push_back(seg);
            bySpecies[s].push_back(r.letters);
            names[s].push_back(Format("g%d_%s %s:%lld-%lld(%c)", g, settings.species[s].c_str(), r.source.c_str(),
                                      seg.start, seg.end, r.strand));
        }
    };

    auto finish = [&]() {
        if (!inBlock) return;
        inBlock = false;
        take();
        block.clear();
    };

    std::string line;
    while (std::getline(in, line)) {
        ++lineNo;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        auto fail = [&](const std::string& what) {
            err = Format("%s:%lld: %s", path.c_str(), lineNo, what.c_str());
            return false;
        };
        std::vector<std::string> f = SplitBlank(line);
        if (f.empty()) {
            finish();
            continue;
        }
        const std::string& key = f[0];
        if (key[0] == '#') continue;
        if (key == "a") {
            finish();
            inBlock = true;
            columns = 0;
        } else if (key == "s") {
            if (!inBlock) return fail("an 's' line outside a block (no 'a' line before it)");
            MafRow r;
            if (f.size() != 7 || !ParseInt(f[2], r.start) || !ParseInt(f[3], r.size) || !ParseInt(f[5], r.sourceSize) ||
                (f[4] != "+" && f[4] != "-") || r.start < 0 || r.size < 0 || r.sourceSize < 0)
                return fail("an 's' line must read: s source start size strand sourceSize text");
            r.source = f[1];
            // The name goes into the table and the record names, which a zero byte would cut.
            for (char c : r.source)
                if (static_cast<unsigned char>(c) < 32 || c == 127)
                    return fail("the source name holds a control character");
            r.strand = f[4][0];
            if (r.size > r.sourceSize - r.start)  // start + size might overflow
                return fail(
                    Format("start %lld + size %lld lies beyond the source size %lld", r.start, r.size, r.sourceSize));
            if (r.sourceSize > kMaxCoordinate)
                return fail(Format("source size %lld is beyond %lld", r.sourceSize, kMaxCoordinate));
            // With its offset the row must still lie on its sequence.
            if (auto off = settings.offset.find(Assembly(r.source)); off != settings.offset.end()) {
                const long long from = (r.strand == '+' ? r.start : r.sourceSize - r.start - r.size) + off->second;
                if (from < 0 || from + r.size > kMaxCoordinate)
                    return fail(Format("--offset %s=%lld puts the row at %lld to %lld, outside 0 to %lld",
                                       off->first.c_str(), off->second, from, from + r.size, kMaxCoordinate));
            }
            const std::string& text = f[6];
            if (columns == 0) columns = text.size();
            if (text.size() != columns)
                return fail(Format("row of %zu columns in a block of %zu", text.size(), columns));
            // Only letters reach the groups: anything else would be read as a base or end a line.
            for (std::size_t c = 0; c < text.size(); ++c) {
                if (text[c] == '-' || text[c] == '.') continue;
                if (!IsLetter(text[c]))
                    return fail(Format("the row holds %s at column %zu, neither a letter nor a gap ('-', '.')",
                                       Shown(text[c]).c_str(), c + 1));
                r.letters += text[c];
            }
            if (!settings.regions.empty()) r.text = text;
            if (static_cast<long long>(r.letters.size()) != r.size)
                return fail(Format("the row holds %zu letters but its size is %lld", r.letters.size(), r.size));
            block.push_back(r);
        } else if (key != "i" && key != "e" && key != "q") {
            return fail("not a MAF line (expected a, s, i, e, q, a comment or a blank line)");
        }
    }
    finish();
    if (in.bad()) {
        err = "cannot read " + path;
        return false;
    }
    std::string what = "blocks";
    long long made = static_cast<long long>(bySpecies[0].size());
    std::vector<std::string> skipped;
    if (!settings.regions.empty()) {
        std::vector<Region> regions;
        if (!ReadRegions(settings.regions, regions, err)) return false;
        what = "regions";
        blocks = static_cast<long long>(regions.size());
        for (const Region& region : regions) {
            std::vector<std::string> rec(N);
            std::vector<GroupSegment> segs;
            const int g = static_cast<int>(bySpecies[0].size());
            for (const std::vector<MafRow>& b : kept) {
                const MafRow& r0 = b[0];
                const long long fs = r0.forwardStart, fe = fs + r0.size;
                if (r0.strand != '+' || Chromosome(r0.source) != region.chrom || fe <= region.start || fs >= region.end)
                    continue;
                // The columns of the first species' letters inside the region.
                const long long from = std::max(region.start, fs) - fs, to = std::min(region.end, fe) - fs;
                std::size_t colFrom = 0, colTo = 0;
                long long seen = 0;
                for (std::size_t c = 0; c < r0.text.size(); ++c)
                    if (r0.text[c] != '-' && r0.text[c] != '.') {
                        if (seen == from) colFrom = c;
                        if (seen == to - 1) colTo = c + 1;
                        ++seen;
                    }
                for (std::size_t s = 0; s < N; ++s) {
                    const MafRow& r = b[s];
                    if (r.source.empty()) continue;
                    long long before = 0;
                    std::string piece;
                    for (std::size_t c = 0; c < colTo; ++c)
                        if (r.text[c] != '-' && r.text[c] != '.') {
                            if (c < colFrom)
                                ++before;
                            else
                                piece += r.text[c];
                        }
                    if (piece.empty()) continue;
                    GroupSegment seg;
                    seg.group = g;
                    seg.species = static_cast<int>(s);
                    seg.recordOffset = static_cast<long long>(rec[s].size());
                    seg.length = static_cast<long long>(piece.size());
                    seg.source = r.source;
                    seg.strand = r.strand;
                    // A minus-strand row reads the forward strand from its end backwards.
                    seg.start =
                        r.strand == '+' ? r.forwardStart + before : r.forwardStart + r.size - before - seg.length;
                    seg.end = seg.start + seg.length;
                    segs.push_back(seg);
                    rec[s] += piece;
                }
            }
            const std::string name = Format("%s:%lld-%lld", region.chrom.c_str(), region.start, region.end);
            std::string lacking;
            for (std::size_t s = 0; s < N; ++s)
                if (rec[s].empty()) lacking += (lacking.empty() ? " lacks " : ",") + settings.species[s];
            if (!lacking.empty()) {
                ++missing;
                skipped.push_back(name + lacking);
                continue;
            }
            if (static_cast<long long>(rec[0].size()) < settings.minLength) {
                ++shortBlocks;
                skipped.push_back(Format("%s has %zu bases", name.c_str(), rec[0].size()));
                continue;
            }
            for (std::size_t s = 0; s < N; ++s) {
                bySpecies[s].push_back(rec[s]);
                names[s].push_back(Format("g%d_%s region %s:%lld-%lld", g, settings.species[s].c_str(),
                                          region.chrom.c_str(), region.start, region.end));
            }
            segments.insert(segments.end(), segs.begin(), segs.end());
        }
        made = static_cast<long long>(bySpecies[0].size());
    }
    MafGroups g;
    g.species = settings.species;
    g.groupCount = static_cast<int>(bySpecies[0].size());
    for (std::size_t s = 0; s < N; ++s) {
        g.records.insert(g.records.end(), bySpecies[s].begin(), bySpecies[s].end());
        g.names.insert(g.names.end(), names[s].begin(), names[s].end());
    }
    // Species-major, as the records.
    for (std::size_t s = 0; s < N; ++s)
        for (const GroupSegment& seg : segments)
            if (seg.species == static_cast<int>(s)) g.segments.push_back(seg);
    g.summary = Format("%lld groups from %lld %s; skipped %lld lacking a listed species, %lld shorter than %lld", made,
                       blocks, what.c_str(), missing, shortBlocks, settings.minLength);
    g.skipped = std::move(skipped);
    out = std::move(g);
    return true;
}

std::string FormatGroupFasta(const MafGroups& groups)
{
    std::string text;
    for (std::size_t i = 0; i < groups.records.size(); ++i) {
        text += ">" + groups.names[i] + "\n";
        for (std::size_t p = 0; p < groups.records[i].size(); p += 60) text += groups.records[i].substr(p, 60) + "\n";
    }
    return text;
}

std::string FormatGroupTable(const MafGroups& groups)
{
    std::string text = "group\tspecies\trecord_offset\tlength\tsource\tstart\tend\tstrand\n";
    for (const GroupSegment& s : groups.segments)
        text += Format("%d\t%s\t%lld\t%lld\t%s\t%lld\t%lld\t%c\n", s.group, groups.species[s.species].c_str(),
                       s.recordOffset, s.length, s.source.c_str(), s.start, s.end, s.strand);
    return text;
}

namespace {

bool BelongsTo(const std::string& name, const std::string& species, const std::string& separator)
{
    if (separator.empty()) return name.compare(0, species.size(), species) == 0;
    std::size_t from = 0;
    for (;;) {
        std::size_t at = name.find(separator, from);
        if (name.substr(from, at == std::string::npos ? std::string::npos : at - from) == species) return true;
        if (at == std::string::npos) return false;
        from = at + separator.size();
    }
}

}  // namespace

bool ReadFastaGroups(const std::vector<std::string>& files, const std::vector<std::string>& species,
                     const std::string& separator, MafGroups& out, std::string& err)
{
    const std::size_t N = species.size();
    std::vector<std::vector<std::string>> seqs(N), names(N);
    std::size_t gaps = 0;
    for (std::size_t g = 0; g < files.size(); ++g) {
        std::vector<std::string> lines;
        if (!ReadLines(files[g], lines, err)) return false;
        std::vector<std::string> recName, recSeq, recBad;  // recBad: the first character that is no letter
        std::vector<std::size_t> recLine, recGaps;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (!lines[i].empty() && lines[i][0] == '>') {
                std::vector<std::string> f = SplitBlank(lines[i].substr(1));
                recName.push_back(f.empty() ? "" : f[0]);
                recSeq.emplace_back();
                recBad.emplace_back();
                recLine.push_back(i + 1);
                recGaps.push_back(0);
            } else if (!recSeq.empty()) {
                for (std::size_t c = 0; c < lines[i].size(); ++c) {
                    const char x = lines[i][c];
                    if (IsLetter(x))
                        recSeq.back() += x;
                    else if (x == '-' || x == '.')
                        ++recGaps.back();
                    else if (x != ' ' && x != '\t' && recBad.back().empty())
                        recBad.back() = Format(
                            "%s:%zu: %s at column %zu of record %s is neither a letter nor a gap "
                            "('-', '.')",
                            files[g].c_str(), i + 1, Shown(x).c_str(), c + 1, recName.back().c_str());
                }
            } else if (!SplitBlank(lines[i]).empty()) {
                err = Format("%s:%zu: text before the first FASTA header", files[g].c_str(), i + 1);
                return false;
            }
        }
        for (std::size_t s = 0; s < N; ++s) {
            std::size_t found = recName.size();
            for (std::size_t r = 0; r < recName.size(); ++r) {
                if (!BelongsTo(recName[r], species[s], separator)) continue;
                if (found != recName.size()) {
                    err = Format("%s:%zu: a second record of species %s (%s; the first is %s)", files[g].c_str(),
                                 recLine[r], species[s].c_str(), recName[r].c_str(), recName[found].c_str());
                    return false;
                }
                found = r;
            }
            if (found == recName.size()) {
                err = files[g] + ": no record of species " + species[s];
                return false;
            }
            if (!recBad[found].empty() || recSeq[found].empty()) {
                err = !recBad[found].empty() ? recBad[found]
                                             : Format("%s:%zu: record %s holds no letters", files[g].c_str(),
                                                      recLine[found], recName[found].c_str());
                return false;
            }
            gaps += recGaps[found];
            seqs[s].push_back(recSeq[found]);
            names[s].push_back(recName[found]);
        }
    }
    MafGroups m;
    m.species = species;
    m.groupCount = static_cast<int>(files.size());
    for (std::size_t s = 0; s < N; ++s)
        for (std::size_t g = 0; g < files.size(); ++g) {
            m.records.push_back(seqs[s][g]);
            m.names.push_back(names[s][g]);
            GroupSegment seg;
            seg.group = static_cast<int>(g);
            seg.species = static_cast<int>(s);
            seg.length = seg.end = static_cast<long long>(seqs[s][g].size());
            seg.source = names[s][g];
            m.segments.push_back(seg);
        }
    m.summary = Format("%zu groups of %zu species", files.size(), N);
    if (gaps > 0) m.summary += Format("; dropped %zu gap characters ('-', '.')", gaps);
    out = std::move(m);
    return true;
}

bool ReadGroupTable(const std::string& path, std::vector<GroupSegment>& segments, std::vector<std::string>& species,
                    std::string& err)
{
    std::vector<std::string> lines;
    if (!ReadLines(path, lines, err)) return false;
    if (lines.empty() || lines[0].rfind("group\tspecies\t", 0) != 0) {
        err = path + ":1: not a groups table (header 'group<TAB>species<TAB>...' expected)";
        return false;
    }
    std::vector<GroupSegment> out;
    std::vector<std::string> names;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        if (lines[i].empty()) continue;
        std::vector<std::string> f = SplitTabs(lines[i]);
        GroupSegment s;
        long long g = 0;
        bool ok = f.size() == 8 && ParseInt(f[0], g) && g >= 0 && g < (1LL << 31) && ParseInt(f[2], s.recordOffset) &&
                  ParseInt(f[3], s.length) && ParseInt(f[5], s.start) && ParseInt(f[6], s.end) &&
                  (f[7] == "+" || f[7] == "-");
        if (!ok) {
            err = Format(
                "%s:%zu: expected group, species, record_offset, length, source, start, end (start + length) "
                "and strand (+ or -)",
                path.c_str(), i + 1);
            return false;
        }
        bool inRange = true;
        for (long long v : {s.recordOffset, s.length, s.start, s.end})
            inRange = inRange && v >= 0 && v <= kMaxCoordinate;
        if (!inRange || s.end - s.start != s.length) {
            err =
                Format("%s:%zu: record_offset, length, start and end must be from 0 to %lld, with end = start + length",
                       path.c_str(), i + 1, kMaxCoordinate);
            return false;
        }
        s.group = static_cast<int>(g);
        s.source = f[4];
        s.strand = f[7][0];
        std::size_t k = 0;
        while (k < names.size() && names[k] != f[1]) ++k;
        if (k == names.size()) names.push_back(f[1]);
        s.species = static_cast<int>(k);
        out.push_back(s);
    }
    segments = std::move(out);
    species = std::move(names);
    return true;
}

}  // namespace sertools
