// The multi-species sequence file: CountSequences, then ReadinSeq on every record.
#include "app/SeqFile.h"
constexpr auto kRead = ReadinSeq;
constexpr int kLargestCode = 3;
#include "SeqFileTarget.h"
