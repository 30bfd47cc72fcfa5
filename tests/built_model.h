// A model over short sequences, built the way a driver builds it (settings, sequences,
// shapes, initial parameters, background), shared by the call and report tests.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/InputParameter.h"
#include "model/Serevan.h"
#include "numeric/SeqMotifBasic.h"

namespace testmodel {

// The sequences outlive the model (declared first).
struct Built {
    std::vector<std::vector<int>> seq;
    std::vector<int*> ptr;
    std::vector<int> len;
    std::vector<CString> names;
    CSerevan m;
};

// texts in slot order s*G + g; widths empty for the default width; param carries any other
// setting (cutoff, output file, command line); N and K are set here.
inline std::unique_ptr<Built> Build(int N, int G, const std::vector<std::string>& texts, int K,
                                    const std::vector<int>& widths, INPUTPARAMETER param)
{
    auto b = std::make_unique<Built>();
    for (const std::string& t : texts) {
        std::vector<int> x;
        for (char c : t) x.push_back(serevan::BaseCode(c));
        b->seq.push_back(x);
        b->names.emplace_back("seq");
    }
    for (std::vector<int>& x : b->seq) {
        b->ptr.push_back(x.data());
        b->len.push_back(static_cast<int>(x.size()));
    }
    param.nSpeciesNum = N;
    param.nMotifNum = K;
    b->m.SetProgramParam(&param);
    b->m.InitialSeq(N, G, b->ptr.data(), b->len.data(), b->names.data(), nullptr, nullptr);
    b->m.Initialize(widths.empty() ? nullptr : widths.data());
    b->m.InitialParameter(nullptr, nullptr);
    b->m.MSBuildBackground();
    return b;
}

}  // namespace testmodel
