// Long-option command lines of the companion tools.
#include "common/ToolOptions.h"

#include <algorithm>
#include <cstdio>

#include "common/ToolText.h"

namespace sertools {

bool OptionSet::Parse(int argc, char** argv, const std::vector<OptionSpec>& specs, std::string& err)
{
    return ParseFrom(argc, argv, 1, specs, nullptr, err);
}

bool OptionSet::ParseWithFiles(int argc, char** argv, int first, const std::vector<OptionSpec>& specs,
                               std::vector<std::string>& files, std::string& err)
{
    files.clear();
    return ParseFrom(argc, argv, first, specs, &files, err);
}

bool OptionSet::ParseFrom(int argc, char** argv, int first, const std::vector<OptionSpec>& specs,
                          std::vector<std::string>* files, std::string& err)
{
    m_values.clear();
    m_all.clear();
    std::vector<OptionSpec> all = specs;
    all.push_back({"help", false});
    all.push_back({"version", false});
    for (int i = first; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "-o") arg = "--out";
        // A one-letter option of a tool that accepts it ("-k" for "--k").
        if (arg.size() == 2 && arg[0] == '-' && arg[1] != '-' &&
            std::any_of(specs.begin(), specs.end(), [&](const OptionSpec& o) { return o.name == arg.substr(1); }))
            arg = "-" + arg;
        if (files != nullptr && (arg.size() < 3 || arg.compare(0, 2, "--") != 0) &&
            (arg.empty() || arg[0] != '-' || arg == "-")) {
            files->push_back(arg);
            continue;
        }
        if (arg.size() < 3 || arg.compare(0, 2, "--") != 0) {
            err = "unexpected argument '" + arg + "' (options are written --name value; see --help)";
            return false;
        }
        std::string name = arg.substr(2);
        std::string value;
        bool inlineValue = false;
        if (std::size_t eq = name.find('='); eq != std::string::npos) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
            inlineValue = true;
        }
        const OptionSpec* option = nullptr;
        for (const OptionSpec& s : all)
            if (s.name == name) option = &s;
        if (option == nullptr) {
            err = "unknown option --" + name + " (see --help)";
            return false;
        }
        if (!option->takesValue) {
            if (inlineValue) {
                err = "option --" + name + " takes no value";
                return false;
            }
        } else if (!inlineValue) {
            if (i + 1 >= argc) {
                err = "option --" + name + " needs a value";
                return false;
            }
            value = argv[++i];
        }
        m_values[name] = value;
        m_all[name].push_back(value);
    }
    return true;
}

std::string VersionLine(const std::string& tool)
{
    return tool + " 1.0 (companion of Serevan beta 1)";
}

bool AnswerHelpOrVersion(const OptionSet& options, const std::string& tool, const char* help)
{
    if (options.Has("help")) {
        std::fputs(help, stdout);
        return true;
    }
    if (options.Has("version")) {
        std::puts(VersionLine(tool).c_str());
        return true;
    }
    return false;
}

std::vector<std::string> OptionSet::All(const std::string& name) const
{
    auto it = m_all.find(name);
    return it == m_all.end() ? std::vector<std::string>{} : it->second;
}

std::string OptionSet::Text(const std::string& name, const std::string& fallback) const
{
    auto it = m_values.find(name);
    return it == m_values.end() ? fallback : it->second;
}

bool OptionSet::Int(const std::string& name, long long lo, long long hi, long long& value, std::string& err) const
{
    auto it = m_values.find(name);
    if (it == m_values.end()) return true;
    long long v = 0;
    if (!ParseInt(it->second, v) || v < lo || v > hi) {
        err = Format("--%s must be an integer from %lld to %lld (got '%s')", name.c_str(), lo, hi, it->second.c_str());
        return false;
    }
    value = v;
    return true;
}

bool OptionSet::Real(const std::string& name, double lo, double hi, double& value, std::string& err) const
{
    auto it = m_values.find(name);
    if (it == m_values.end()) return true;
    double v = 0;
    if (!ParseReal(it->second, v) || v < lo || v > hi) {
        err = Format("--%s must be a number from %g to %g (got '%s')", name.c_str(), lo, hi, it->second.c_str());
        return false;
    }
    value = v;
    return true;
}

bool OptionSet::RealList(const std::string& name, double lo, double hi, std::vector<double>& values,
                         std::string& err) const
{
    auto it = m_values.find(name);
    if (it == m_values.end()) return true;
    std::vector<double> out;
    for (const std::string& field : SplitCommas(it->second)) {
        double v = 0;
        if (!ParseReal(field, v) || v < lo || v > hi) {
            err = Format("--%s must be a comma-separated list of numbers from %g to %g (got '%s')", name.c_str(), lo,
                         hi, it->second.c_str());
            return false;
        }
        out.push_back(v);
    }
    values = out;
    return true;
}

bool OptionSet::IntList(const std::string& name, long long lo, long long hi, std::vector<long long>& values,
                        std::string& err) const
{
    auto it = m_values.find(name);
    if (it == m_values.end()) return true;
    std::vector<long long> out;
    for (const std::string& field : SplitCommas(it->second)) {
        long long v = 0;
        if (!ParseInt(field, v) || v < lo || v > hi) {
            err = Format("--%s must be a comma-separated list of integers from %lld to %lld (got '%s')", name.c_str(),
                         lo, hi, it->second.c_str());
            return false;
        }
        out.push_back(v);
    }
    values = out;
    return true;
}

}  // namespace sertools
