// The entry point of the interchange-format targets: the format kFormat (defined by the
// including target) read from the bytes; what it accepts is written in the same format and
// read again, and must give the same matrices within the written precision.
#pragma once

#include <algorithm>

#include "FuzzSupport.h"
#include "motif/MotifFormats.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<motifio::Motif> motifs, back;
    std::string err;
    if (!motifio::ReadMotifs(fuzz::ScratchFile(data, size), kFormat, motifs, nullptr, err)) {
        fuzz::RequireOneLine(err);
        return 0;
    }
    fuzz::Require(!motifs.empty());
    for (const motifio::Motif& m : motifs) {
        fuzz::RequireRowsSumToOne(m.p, m.Width(), false);
        fuzz::Require(m.sites >= 0 && std::isfinite(m.sites));
    }
    const std::string text = motifio::FormatMotifs(motifs, kFormat);
    fuzz::Require(motifio::ReadMotifs(fuzz::ScratchFile(text.data(), text.size(), ".rt"), kFormat, back, nullptr, err));
    fuzz::Require(back.size() == motifs.size());
    for (size_t i = 0; i < motifs.size(); ++i) {
        fuzz::Require(back[i].p.size() == motifs[i].p.size());
        // Counts are written with three decimals, frequencies with four (MEME six).
        const double tol = motifs[i].sites > 0 ? 2e-3 / std::min(1.0, motifs[i].sites) : 2e-3;
        for (size_t k = 0; k < back[i].p.size(); ++k) fuzz::Require(std::fabs(back[i].p[k] - motifs[i].p[k]) <= tol);
    }
    return 0;
}
