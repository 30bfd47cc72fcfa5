// The aligned file: ReadinAlignment with the number of records the file holds.
#include "SeqFileTarget.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::RunSeqReader(ReadinAlignment, 4, data, size);
    return 0;
}
