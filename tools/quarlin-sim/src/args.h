// Command lines of the subcommands: each has a table of options, and the
// same table prints its --help.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quarlin_sim {

struct OptionSpec {
    std::string_view name;     // "--rpm"
    std::string_view shortName;  // "-o", or empty
    std::string_view value;    // what the value is ("RPM"); empty for a switch
    std::string_view help;
};

struct CommandSpec {
    std::string_view name;       // "run"
    std::string_view usage;      // "run [options]"
    std::string_view summary;    // paragraph under the usage line
    std::span<const OptionSpec> options;
    size_t maxPositionals = 0;
};

class ParsedArgs {
public:
    bool help = false;
    std::vector<std::string> positionals;

    bool has(std::string_view option) const;
    std::optional<std::string> text(std::string_view option) const;
    // Values read as numbers; a malformed value throws a usage Failure
    // naming the option.
    std::optional<double> number(std::string_view option) const;
    std::optional<uint64_t> count(std::string_view option) const;

    std::map<std::string, std::string, std::less<>> values;  // option name -> value ("" for a switch)
};

// Parses `args` (without the program and command names).  "--name value",
// "--name=value" and the short forms are accepted; an option given twice,
// an unknown option, a missing value or a surplus argument throws a usage
// Failure.  "--help" / "-h" anywhere sets `help` and stops the checks.
ParsedArgs parseArgs(const CommandSpec& command, std::span<const std::string> args);

std::string helpText(const CommandSpec& command);
// Writes helpText on standard output and returns the exit code of a --help.
int printHelp(const CommandSpec& command);

}  // namespace quarlin_sim
