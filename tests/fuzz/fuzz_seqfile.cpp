// The multi-species sequence file: CountSequences, then ReadinSeq on every record.
#include "SeqFileTarget.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::RunSeqReader(ReadinSeq, 3, data, size);
    return 0;
}
