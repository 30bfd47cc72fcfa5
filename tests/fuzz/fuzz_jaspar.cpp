// The JASPAR reader of the interchange formats, with the round trip through its writer.
#include "MotifioTarget.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::RunMotifFormat(motifio::MotifFormat::Jaspar, data, size);
    return 0;
}
