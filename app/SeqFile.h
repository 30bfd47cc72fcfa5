// Readers of the multi-species sequence file and of the aligned sequence file.
//
// Format: a line beginning with '>' opens a record named by the line without its line
// feed ('>' included). Other lines are upper-cased and cut at the first character that is
// not a letter (for the aligned file: not a letter or '-'); the kept letters are appended
// to the current record. A line with letters after that character, or with a gap anywhere
// ('.', or '-' outside the aligned file), is refused. Codes: A 0, C 1, G 2, T 3, '-' 4
// (aligned file only), any other letter -1. Lines before the first header are ignored.
#pragma once

#include <string>
#include <vector>

#include "base/MyString.h"

// Number of lines beginning with '>' (the records); -1 if the file cannot be opened.
int CountSequences(const char* file);

// Reads the first nSeq records. Returns false with a one-line message in err when the file
// cannot be opened or holds fewer than nSeq records.
// With softMask, lower-case letters (soft-masked repeats) are read as undetermined bases.
bool ReadinSeq(const CString& file, int nSeq, std::vector<int>& lengths, std::vector<CString>& names,
               std::vector<std::vector<int>>& sequences, std::string& err, bool softMask = false);

// Reads only the records of groups first .. first+count-1 of a species-major file of nSeq
// records and N species (record s*G + g, G = nSeq / N), in slot order s*count + g: the
// others are checked but not kept.
bool ReadinGroups(const CString& file, int nSeq, int N, int first, int count, std::vector<CString>& names,
                  std::vector<std::vector<int>>& sequences, std::string& err, bool softMask = false);

// Reads exactly nSeq aligned rows; false with a message when the file cannot be opened or
// holds another number of records.
bool ReadinAlignment(const CString& file, int nSeq, std::vector<int>& lengths, std::vector<CString>& names,
                     std::vector<std::vector<int>>& sequences, std::string& err, bool softMask = false);

// Code of one upper-case letter (or '-' as 4 when gaps are allowed).
int NucleotideCode(char c);
