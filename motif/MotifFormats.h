// Motif matrices, the one motif type of the program and the tools, in the common exchange
// formats: the program's own matrix file (motif/MatrixFile.h), JASPAR
// (">ID NAME" then four rows "A [ ... ]", brackets optional), MEME minimal text
// ("MEME version", "letter-probability matrix:" blocks) and TRANSFAC (AC/ID/P0 ... //).
//
// Rows or columns may hold counts, frequencies or percentages; every column is normalised
// to sum 1 on reading, so columns with unequal sums are accepted. A matrix keeps its ID and
// name, and the number of sites behind it when the file gives one (counts, nsites=). A column
// summing to more than kLargestRowSum is refused. Readers name the file and line in every
// message ("m.jaspar line 7: ...").
#pragma once

#include <string>
#include <vector>

namespace motifio {

enum class MotifFormat { Unknown, Program, Jaspar, Meme, Transfac };

struct Motif {
    std::string id;         // accession or first word of the header ("MA0004.1")
    std::string name;       // name ("Arnt"); may equal id
    std::vector<double> p;  // 4 * width frequencies, column j base b (A C G T) at 4j + b
    double sites = 0;       // sites the matrix was counted from; 0 when unknown
    int Width() const { return static_cast<int>(p.size() / 4); }
};

// "jaspar", "meme", "transfac", "program"; Unknown for anything else.
MotifFormat FormatFromName(const std::string& name);
const char* FormatName(MotifFormat format);

// The format the content shows: '>' first (JASPAR), "MEME version" (MEME), TRANSFAC keys
// (AC, ID, NA, P0, XX, //), or a whole number first (the program's file).
MotifFormat GuessFormat(const std::vector<std::string>& lines);

// Reads matrices from lines (line feeds and carriage returns stripped); fileName is used in
// messages. With Unknown the format is guessed. siteNumbers (program format only, may be
// null) asks for and receives the third line of expected site numbers.
bool ParseMotifs(const std::vector<std::string>& lines, const std::string& fileName, MotifFormat format,
                 std::vector<Motif>& motifs, std::vector<double>* siteNumbers, std::string& err);
bool ReadMotifs(const std::string& path, MotifFormat format, std::vector<Motif>& motifs,
                std::vector<double>* siteNumbers, std::string& err);
// As ReadMotifs, and format receives the format read (guessed when given as Unknown).
bool ReadMotifsAs(const std::string& path, MotifFormat& format, std::vector<Motif>& motifs,
                  std::vector<double>* siteNumbers, std::string& err);

// One matrix block of the program's file: the header line (the ID and name, "Motif<index>"
// without an ID), then one tab-separated row per column, entries as FormatMotifs writes them.
std::string FormatMatrixBlock(const Motif& m, int index);

// The text of a file in the given format. Where a matrix knows its site count, JASPAR,
// TRANSFAC and the program's file get counts (frequency x sites), MEME gets nsites=;
// otherwise frequencies. siteNumbers (program format) adds the line of expected sites.
std::string FormatMotifs(const std::vector<Motif>& motifs, MotifFormat format,
                         const std::vector<double>* siteNumbers = nullptr);

}  // namespace motifio
