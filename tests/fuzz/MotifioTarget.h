// One interchange format read from the bytes; what it accepts is written in the same format
// and read again, and must give the same matrices within the written precision.
#pragma once

#include <algorithm>

#include "FuzzSupport.h"
#include "motif/MotifFormats.h"

namespace fuzz {

inline void RunMotifFormat(motifio::MotifFormat format, const uint8_t* data, size_t size)
{
    const std::vector<std::string> lines = Lines(data, size);
    std::vector<motifio::Motif> motifs;
    std::string err;
    if (!motifio::ParseMotifs(lines, "m.txt", format, motifs, nullptr, err)) {
        RequireOneLine(err);
        return;
    }
    Require(!motifs.empty());
    for (const motifio::Motif& m : motifs) {
        RequireRowsSumToOne(m.p, m.Width(), false);
        Require(m.sites >= 0 && std::isfinite(m.sites));
    }
    const std::string text = motifio::FormatMotifs(motifs, format);
    const std::vector<std::string> again = Lines(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    std::vector<motifio::Motif> back;
    err.clear();
    Require(motifio::ParseMotifs(again, "m.txt", format, back, nullptr, err) && back.size() == motifs.size());
    for (size_t i = 0; i < motifs.size(); ++i) {
        Require(back[i].p.size() == motifs[i].p.size());
        // Counts are written with three decimals, frequencies with four (MEME six).
        const double tol = motifs[i].sites > 0 ? 2e-3 / std::min(1.0, motifs[i].sites) : 2e-3;
        for (size_t k = 0; k < back[i].p.size(); ++k) Require(std::fabs(back[i].p[k] - motifs[i].p[k]) <= tol);
    }
}

}  // namespace fuzz
