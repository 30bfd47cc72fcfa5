// The self-contained HTML page of serevan-report: run summary, one card per motif (sequence
// logo, downloads, similar known motifs), the module map (one panel per group, one lane per
// species, drawn to scale) and the table of called sites. Inline SVG, CSS and a little
// script; nothing is fetched, so the page opens offline.
#pragma once

#include <string>

#include "common/ReportData.h"
#include "common/ReportExtras.h"

namespace sertools {

struct HtmlSettings {
    int maxPanels = 200;  // module-map panels drawn per run (the strongest groups); the others are listed
    int knownShown = 3;   // most similar database motifs per card
};

// The text escaped for HTML content and attribute values (& < > " ').
std::string HtmlEscape(const std::string& text);

// A data: URL of plain text (percent-encoded UTF-8).
std::string TextDataUrl(const std::string& text);

// The whole page; the extras add the input's letters, genome positions and chain agreement.
std::string RenderHtml(const ReportData& data, const ReportExtras& extras, const HtmlSettings& settings);

}  // namespace sertools
