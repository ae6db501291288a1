#include "args.h"

#include <charconv>
#include <cstdio>

#include "failure.h"
#include "floats.h"

namespace quarlin_sim {

namespace {

const OptionSpec* findOption(const CommandSpec& command, std::string_view name) {
    for (const auto& option : command.options) {
        if (option.name == name || (!option.shortName.empty() && option.shortName == name)) {
            return &option;
        }
    }
    return nullptr;
}

std::string seeHelp(const CommandSpec& command) {
    return " (see quarlin-sim " + std::string(command.name) + " --help)";
}

}  // namespace

bool ParsedArgs::has(std::string_view option) const { return values.find(option) != values.end(); }

std::optional<std::string> ParsedArgs::text(std::string_view option) const {
    const auto it = values.find(option);
    if (it == values.end()) return std::nullopt;
    return it->second;
}

std::optional<double> ParsedArgs::number(std::string_view option) const {
    const auto value = text(option);
    if (!value) return std::nullopt;
    const auto parsed = readDouble(*value);
    if (!parsed) usageFail(std::string(option) + ": \"" + *value + "\" is not a number");
    return parsed;
}

std::optional<uint64_t> ParsedArgs::count(std::string_view option) const {
    const auto value = text(option);
    if (!value) return std::nullopt;
    uint64_t parsed = 0;
    const auto [end, error] = std::from_chars(value->data(), value->data() + value->size(), parsed);
    if (value->empty() || error != std::errc() || end != value->data() + value->size()) {
        usageFail(std::string(option) + ": \"" + *value + "\" is not a whole number of steps");
    }
    return parsed;
}

ParsedArgs parseArgs(const CommandSpec& command, std::span<const std::string> args) {
    ParsedArgs parsed;
    for (const auto& arg : args) {
        if (arg == "--help" || arg == "-h") {
            parsed.help = true;
            return parsed;
        }
    }
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.size() < 2 || arg[0] != '-' || arg == "--") {
            // A lone "-" is a file name; "--" ends the options.
            if (arg == "--") {
                for (++i; i < args.size(); ++i) parsed.positionals.push_back(args[i]);
                break;
            }
            parsed.positionals.push_back(arg);
            continue;
        }
        const size_t equals = arg.find('=');
        const std::string name = arg.substr(0, equals);
        const OptionSpec* option = findOption(command, name);
        if (option == nullptr) usageFail("unknown option " + name + " for " + std::string(command.name) + seeHelp(command));
        const std::string key(option->name);
        if (parsed.has(key)) usageFail(key + " is given twice");
        if (option->value.empty()) {
            if (equals != std::string::npos) usageFail(key + " takes no value");
            parsed.values[key] = "";
            continue;
        }
        if (equals != std::string::npos) {
            parsed.values[key] = arg.substr(equals + 1);
        } else if (i + 1 < args.size()) {
            parsed.values[key] = args[++i];
        } else {
            usageFail(key + " needs a value: " + std::string(option->value));
        }
    }
    if (parsed.positionals.size() > command.maxPositionals) {
        usageFail("unexpected argument \"" + parsed.positionals[command.maxPositionals] + "\" for " +
                  std::string(command.name) + seeHelp(command));
    }
    return parsed;
}

std::string helpText(const CommandSpec& command) {
    std::string out = "usage: quarlin-sim " + std::string(command.usage) + "\n\n" +
                      std::string(command.summary) + "\n\noptions:\n";
    std::vector<std::string> lefts;
    size_t width = 0;
    for (const auto& option : command.options) {
        std::string left = "  ";
        if (!option.shortName.empty()) left += std::string(option.shortName) + ", ";
        left += option.name;
        if (!option.value.empty()) {
            left += ' ';
            left += option.value;
        }
        width = std::max(width, left.size());
        lefts.push_back(std::move(left));
    }
    lefts.push_back("  -h, --help");
    width = std::max(width, lefts.back().size());
    for (size_t i = 0; i < lefts.size(); ++i) {
        const std::string_view help = i < command.options.size() ? command.options[i].help
                                                                 : std::string_view("show this help");
        out += lefts[i] + std::string(width + 2 - lefts[i].size(), ' ');
        // Continuation lines of a long help text line up under its start.
        for (char c : help) {
            out += c;
            if (c == '\n') out += std::string(width + 2, ' ');
        }
        out += "\n";
    }
    return out;
}

int printHelp(const CommandSpec& command) {
    std::fputs(helpText(command).c_str(), stdout);
    return 0;
}

}  // namespace quarlin_sim
