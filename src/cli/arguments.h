// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// A small command-line parser: words, and long options with values.
#pragma once

#include <initializer_list>
#include <map>
#include <string>
#include <vector>

namespace larkspur::cli {

struct OptionInfo {
    const char* name;  // without the leading "--"
    bool takesValue;
    char shortName = 0;  // "-o" for "--output"; 0 for none
};

struct Arguments {
    std::vector<std::string> words;             // everything that is not an option
    std::map<std::string, std::string> values;  // option name -> last value ("" for flags)
    std::map<std::string, std::vector<std::string>> repeated;  // option name -> every value given

    bool has(const std::string& name) const { return values.count(name) != 0; }
    std::string value(const std::string& name, const std::string& fallback = {}) const;
};

// Understands "--name value", "--name=value", the short forms "-n value"
// and "-nvalue", flags run together ("-qh") and "--" to end the options. 0, or -1 with a message for an unknown option or a
// missing value.
int ParseArguments(const std::vector<std::string>& argv, const std::vector<OptionInfo>& known,
                   Arguments& parsed, std::string& error);

// -1 with a message when `parsed` holds an option not in `allowed`.
int CheckAllowed(const Arguments& parsed, std::initializer_list<const char*> allowed,
                 const std::string& command, std::string& error);
int CheckAllowed(const Arguments& parsed, const std::vector<std::string>& allowed,
                 const std::string& command, std::string& error);

}  // namespace larkspur::cli
