// The aligned file: ReadinAlignment with the number of records the file holds.
#include "app/SeqFile.h"
constexpr auto kRead = ReadinAlignment;
constexpr int kLargestCode = 4;
#include "SeqFileTarget.h"
