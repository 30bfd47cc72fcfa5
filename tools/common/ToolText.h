// Text helpers of the companion tools: whole-file line reading, field splitting,
// printf-style formatting and checked file writing.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "base/Numbers.h"

namespace sertools {

// Reads every line of a file, line feeds and carriage returns stripped.
// Returns false with a message when the file cannot be opened or read.
bool ReadLines(const std::string& path, std::vector<std::string>& lines, std::string& err);

// Writes text to a file (truncating it). Returns false with a message on any failure.
bool WriteFile(const std::string& path, const std::string& text, std::string& err);

// Writes a whole output: to standard output when path is empty, else to a temporary file
// beside path renamed to path at the end, so a failed write leaves no partial file. A
// device or pipe (/dev/null, /dev/stdout, a FIFO) is written directly.
bool WriteOutput(const std::string& path, const std::string& text, std::string& err);
// Writes several outputs (path, text) as one, each as WriteOutput does: every file goes to a
// temporary first, and the temporaries are renamed into place only when every output has been
// written, so a failure leaves every file as it was (a device may have been written). An
// output reached through a symbolic link replaces the file the link names; the link stays.
bool WriteOutputs(const std::vector<std::pair<std::string, std::string>>& outputs, std::string& err);

// Record names (first word of each header line) and lengths of a FASTA file; gaps ('-'),
// blanks and tabs do not count, so an alignment row gives its sequence's length.
bool ReadFastaRecords(const std::string& path, std::vector<std::string>& names, std::vector<long long>& lengths,
                      std::string& err);

// Fields separated by single tabs (empty fields kept).
std::vector<std::string> SplitTabs(const std::string& line);
// Fields separated by runs of blanks or tabs (no empty fields).
std::vector<std::string> SplitBlank(const std::string& line);
// Fields separated by commas (empty fields kept).
std::vector<std::string> SplitCommas(const std::string& text);

// Whole-text number conversions, the program's own (base/Numbers.h).
using serevan::ParseInt;
using serevan::ParseReal;

// printf into a std::string.
std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

}  // namespace sertools
