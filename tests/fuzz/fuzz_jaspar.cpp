// The JASPAR reader of the interchange formats, with the round trip through its writer.
#include "motif/MotifFormats.h"
constexpr motifio::MotifFormat kFormat = motifio::MotifFormat::Jaspar;
#include "MotifioTarget.h"
