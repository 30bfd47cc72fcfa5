// Command lines of the companion tools, one convention for all:
//   serevan-TOOL [SUBCOMMAND] FILE... [--option value]...
// Options are "--name value" or "--name=value"; "-o FILE" is "--out FILE"; --help and
// --version are always accepted. Typed, range-checked getters name the option and range.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace sertools {

// One accepted option.
struct OptionSpec {
    std::string name;  // without the leading "--"
    bool takesValue;   // false: a switch
};

class OptionSet {
public:
    // Parses argv[1..]; returns false with a message for an unknown option, a missing
    // value, a value given to a switch or a stray argument.
    bool Parse(int argc, char** argv, const std::vector<OptionSpec>& specs, std::string& err);
    // As Parse from argv[first], keeping every argument that is not an option (or an
    // option's value) in files, in order.
    bool ParseWithFiles(int argc, char** argv, int first, const std::vector<OptionSpec>& specs,
                        std::vector<std::string>& files, std::string& err);

    bool Has(const std::string& name) const { return m_values.count(name) != 0; }
    std::string Text(const std::string& name, const std::string& fallback) const;
    // Every value of an option given more than once, in order.
    std::vector<std::string> All(const std::string& name) const;

    // Typed getters: keep the fallback when the option is absent; false with a message
    // when the value is not a number in [lo, hi].
    bool Int(const std::string& name, long long lo, long long hi, long long& value, std::string& err) const;
    bool Real(const std::string& name, double lo, double hi, double& value, std::string& err) const;
    // A comma-separated list of reals in [lo, hi]; absent keeps the fallback.
    bool RealList(const std::string& name, double lo, double hi, std::vector<double>& values, std::string& err) const;
    // A comma-separated list of integers in [lo, hi]; absent keeps the fallback.
    bool IntList(const std::string& name, long long lo, long long hi, std::vector<long long>& values,
                 std::string& err) const;

private:
    bool ParseFrom(int argc, char** argv, int first, const std::vector<OptionSpec>& specs,
                   std::vector<std::string>* files, std::string& err);
    std::map<std::string, std::string> m_values;            // option name -> value ("" for switches)
    std::map<std::string, std::vector<std::string>> m_all;  // option name -> every value given
};

// The line --version prints: "<tool> <version>".
std::string VersionLine(const std::string& tool);

// Answers --help (prints help) and --version; true when one of them was given, the tool
// then ends with status 0.
bool AnswerHelpOrVersion(const OptionSet& options, const std::string& tool, const char* help);

}  // namespace sertools
