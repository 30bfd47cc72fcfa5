// Readers of the multi-species sequence file and of the aligned sequence file.
#include "app/SeqFile.h"

#include <cstdio>
#include <functional>
#include <memory>

#include "app/TextLines.h"
#include "numeric/SeqMotifBasic.h"

namespace {

// Printable form of a character for a message.
std::string Shown(char c)
{
    if (c >= 33 && c <= 126) return std::string("'") + c + "'";
    if (c == ' ') return "a blank";
    if (c == '\t') return "a tab";
    return "byte " + std::to_string(static_cast<unsigned char>(c));
}

// Reads every record: names and the kept text of each. A sequence line ends at its first
// character that is not a letter (or a gap, when gaps are read); letters after it would be
// lost without a word, so such a line is refused, and so is a gap ('-' where gaps are not
// read, '.') even at the end of a line, which would shift every position after it.
// With keep, the text of a record r is stored only when keep(r) (others are still checked).
bool ReadRecords(const CString& file, bool gaps, bool softMask, std::vector<std::string>& names,
                 std::vector<std::string>& texts, std::string& err,
                 const std::function<bool(int record)>& keep = nullptr)
{
    InputFile f = OpenInput(file.c_str());
    if (!f) {
        err = std::string("cannot open sequence file ") + file.c_str();
        return false;
    }
    std::string line;
    long lineNo = 0;
    bool store = true;
    std::string skipped;  // the text of a record that is not kept, reused
    while (ReadTextLine(f.get(), line)) {
        ++lineNo;
        if (line[0] == '>') {
            names.push_back(StripLineFeed(line));
            texts.emplace_back();
            store = !keep || keep(static_cast<int>(names.size()) - 1);
            continue;
        }
        if (texts.empty()) continue;  // text before the first header belongs to no record
        skipped.clear();
        std::string& text = store ? texts.back() : skipped;
        size_t cut = 0;
        for (; cut < line.size(); ++cut) {
            char c = line[cut];
            if (c >= 'a' && c <= 'z') c = softMask ? 'N' : static_cast<char>(c - 'a' + 'A');
            if ((c >= 'A' && c <= 'Z') || (gaps && c == '-'))
                text.push_back(c);
            else
                break;
        }
        auto rule = [&]() {
            return std::string("; sequence lines may hold only letters") + (gaps ? " and '-'" : "") + " (remove " +
                   (gaps ? "" : "gaps, ") + "'*', '.', digits and blanks)";
        };
        size_t gap = line.size();  // a gap the reader would drop, even at the end of the line
        for (size_t j = cut; j < line.size(); ++j) {
            const char c = line[j];
            if (gap == line.size() && (c == '.' || (!gaps && c == '-'))) gap = j;
            if (j == cut || !((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) continue;
            err = std::string("sequence file ") + file.c_str() + " line " + std::to_string(lineNo) + " (record " +
                  names.back() + "): letters follow " + Shown(line[cut]) + " at column " + std::to_string(cut + 1) +
                  " and would be lost" + rule();
            return false;
        }
        if (gap < line.size()) {
            err = std::string("sequence file ") + file.c_str() + " line " + std::to_string(lineNo) + " (record " +
                  names.back() + "): " + Shown(line[gap]) + " at column " + std::to_string(gap + 1) +
                  " is a gap, which would be dropped and shift every later position" + rule();
            return false;
        }
    }
    return true;
}

void CodeRecords(int nSeq, const std::vector<std::string>& names, const std::vector<std::string>& texts,
                 std::vector<int>& lengths, std::vector<CString>& outNames, std::vector<std::vector<int>>& seqs)
{
    lengths.assign(nSeq, 0);
    outNames.assign(nSeq, CString());
    seqs.assign(nSeq, std::vector<int>());
    for (int i = 0; i < nSeq; ++i) {
        outNames[i] = names[i].c_str();
        lengths[i] = static_cast<int>(texts[i].size());
        seqs[i].resize(texts[i].size());
        for (size_t j = 0; j < texts[i].size(); ++j) seqs[i][j] = NucleotideCode(texts[i][j]);
    }
}

}  // namespace

int NucleotideCode(char c)
{
    return c == '-' ? 4 : serevan::BaseCode(c);
}

int CountSequences(const char* file)
{
    InputFile f = OpenInput(file);
    if (!f) return -1;
    std::string line;
    int n = 0;
    while (ReadTextLine(f.get(), line))
        if (line[0] == '>') ++n;
    return n;
}

bool ReadinSeq(const CString& file, int nSeq, std::vector<int>& lengths, std::vector<CString>& names,
               std::vector<std::vector<int>>& sequences, std::string& err, bool softMask)
{
    std::vector<std::string> n, t;
    if (!ReadRecords(file, false, softMask, n, t, err)) return false;
    if (static_cast<int>(n.size()) < nSeq) {
        err = std::string("sequence file ") + file.c_str() + " holds " + std::to_string(n.size()) +
              " records, expected " + std::to_string(nSeq);
        return false;
    }
    CodeRecords(nSeq, n, t, lengths, names, sequences);
    return true;
}

bool ReadinGroups(const CString& file, int nSeq, int N, int first, int count, std::vector<CString>& names,
                  std::vector<std::vector<int>>& sequences, std::string& err, bool softMask)
{
    const int G = nSeq / N;
    std::vector<std::string> n, t;
    auto kept = [&](int r) { return r < nSeq && r % G >= first && r % G < first + count; };
    if (!ReadRecords(file, false, softMask, n, t, err, kept)) return false;
    if (static_cast<int>(n.size()) < nSeq) {
        err = std::string("sequence file ") + file.c_str() + " holds " + std::to_string(n.size()) +
              " records, expected " + std::to_string(nSeq);
        return false;
    }
    std::vector<std::string> keptNames, keptTexts;
    for (int s = 0; s < N; ++s)
        for (int g = first; g < first + count; ++g) {
            keptNames.push_back(std::move(n[s * G + g]));
            keptTexts.push_back(std::move(t[s * G + g]));
        }
    std::vector<int> lengths;
    CodeRecords(N * count, keptNames, keptTexts, lengths, names, sequences);
    return true;
}

bool ReadinAlignment(const CString& file, int nSeq, std::vector<int>& lengths, std::vector<CString>& names,
                     std::vector<std::vector<int>>& sequences, std::string& err, bool softMask)
{
    std::vector<std::string> n, t;
    if (!ReadRecords(file, true, softMask, n, t, err)) {
        if (err.rfind("cannot open", 0) == 0) err = std::string("cannot open aligned sequence file ") + file.c_str();
        return false;
    }
    if (static_cast<int>(n.size()) != nSeq) {
        err = std::string("aligned sequence file ") + file.c_str() + " holds " + std::to_string(n.size()) +
              " records, expected one per species (" + std::to_string(nSeq) + ")";
        return false;
    }
    CodeRecords(nSeq, n, t, lengths, names, sequences);
    return true;
}
