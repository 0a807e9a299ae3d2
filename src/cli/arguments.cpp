// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include "arguments.h"

#include <algorithm>
#include <cstring>

namespace larkspur::cli {

std::string Arguments::value(const std::string& name, const std::string& fallback) const
{
    const auto found = values.find(name);
    return found == values.end() ? fallback : found->second;
}

int ParseArguments(const std::vector<std::string>& argv, const std::vector<OptionInfo>& known,
                   Arguments& parsed, std::string& error)
{
    parsed = {};
    bool optionsEnded = false;
    for (std::size_t i = 0; i < argv.size(); ++i) {
        const std::string& arg = argv[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            parsed.words.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        std::string name;
        std::string value;
        bool hasValue = false;
        if (arg.rfind("--", 0) == 0) {
            name = arg.substr(2);
            const auto equals = name.find('=');
            if (equals != std::string::npos) {
                value = name.substr(equals + 1);
                name.erase(equals);
                hasValue = true;
            }
        } else {
            // "-qo FILE": every letter a flag but the last, which may take
            // the rest of the word or the next one as its value.
            for (std::size_t at = 1; at < arg.size(); ++at) {
                const auto option = std::find_if(known.begin(), known.end(),
                                                 [&](const OptionInfo& s) { return s.shortName == arg[at]; });
                if (option == known.end()) {
                    error = "unknown option -" + std::string(1, arg[at]);
                    return -1;
                }
                name = option->name;
                if (option->takesValue) {
                    if (at + 1 < arg.size()) {
                        value = arg.substr(at + 1);
                        hasValue = true;
                    }
                    break;
                }
                if (at + 1 < arg.size()) {
                    parsed.values[name] = {};
                    parsed.repeated[name].emplace_back();
                }
            }
        }
        const auto option = std::find_if(known.begin(), known.end(),
                                       [&](const OptionInfo& s) { return name == s.name; });
        if (option == known.end()) {
            error = "unknown option --" + name;
            return -1;
        }
        if (option->takesValue && !hasValue) {
            if (i + 1 >= argv.size()) {
                error = "option --" + name + " needs a value";
                return -1;
            }
            value = argv[++i];
        } else if (!option->takesValue && hasValue) {
            error = "option --" + name + " takes no value";
            return -1;
        }
        parsed.values[name] = value;
        parsed.repeated[name].push_back(value);
    }
    return 0;
}

int CheckAllowed(const Arguments& parsed, std::initializer_list<const char*> allowed,
                 const std::string& command, std::string& error)
{
    return CheckAllowed(parsed, std::vector<std::string>(allowed.begin(), allowed.end()), command, error);
}

int CheckAllowed(const Arguments& parsed, const std::vector<std::string>& allowed,
                 const std::string& command, std::string& error)
{
    for (const auto& [name, value] : parsed.values) {
        const bool ok = std::any_of(allowed.begin(), allowed.end(),
                                    [&](const std::string& a) { return name == a; });
        if (!ok) {
            error = "option --" + name + " does not go with " + command;
            return -1;
        }
    }
    return 0;
}

}  // namespace larkspur::cli
