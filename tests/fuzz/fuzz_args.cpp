// The argument scan with its value checks: the bytes cut into arguments at line feeds and
// zero bytes. Its messages go to /dev/null.
#include <fcntl.h>

#include "FuzzSupport.h"
#include "app/PathModuleU.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const int quiet = [] {
        std::fflush(stdout);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        return null;
    }();
    std::vector<std::string> args{"Serevan"};
    std::string arg;
    for (size_t i = 0; i < size && args.size() < 64; ++i) {
        if (data[i] == '\n' || data[i] == '\0')
            args.push_back(arg), arg.clear();
        else
            arg.push_back(static_cast<char>(data[i]));
    }
    if (!arg.empty() && args.size() < 64) args.push_back(arg);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    INPUTPARAMETER param;
    SetDefaultParam(&param);
    const int saved = dup(2);
    dup2(quiet, 2);
    const int status = ParseInputParam(&param, static_cast<int>(args.size()), argv.data());
    std::fflush(stdout);
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
    fuzz::Require(status == 0 || status == 1);
    if (status != 0) return 0;
    fuzz::Require(CheckParamValues(param).empty());
    fuzz::Require(param.nSpeciesNum >= 2 && param.nSpeciesNum <= kMaxSpecies);
    fuzz::Require(param.nMotifNum >= 1 && param.nMotifNum <= kMaxMotifs);
    // A chain's smallest width (-a) is a width the run may sample.
    for (int w : param.chainMinWidth) fuzz::Require(!param.bChainWidthBad && w >= 1 && w <= param.nMaxMotifWidth);
    return 0;
}
