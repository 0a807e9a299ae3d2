// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// The sitemap options of each project, kept in "sitemap-options.ini" beside
// saving.dat (whose fixed layout has no room for them): one INI group per
// project name, one key per option. A project without a group has every
// option at its default. The file is read whole, changed here and written
// back whole by the ProjectStore, under saving.dat's lock.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "options/options.h"

namespace larkspur {

std::string ProjectOptionsPath(const std::string& workingDirectory);

// A stored value no option understands: the option and what is wrong, with
// the file and the project named.
struct OptionProblem {
    std::string key;
    std::string message;
};

class OptionsFile {
public:
    OptionsFile();
    ~OptionsFile();
    OptionsFile(const OptionsFile&) = delete;
    OptionsFile& operator=(const OptionsFile&) = delete;

    // Reads the file of this working directory; a missing one is empty. -1
    // with a message when it cannot be read.
    int read(const std::string& workingDirectory, std::string& error);
    // The lines an INI reader cannot take (no "="), one note each. They are
    // kept as they are, under the group they stand in.
    const std::vector<std::string>& notes() const { return m_notes; }

    // The project's options over the defaults. A stored value no option
    // understands leaves its default and is named in `problems`.
    SitemapOptions options(const std::string& project, std::vector<OptionProblem>& problems) const;
    // Writes the project's group; keys this program does not know stay.
    void store(const std::string& project, const SitemapOptions& options);
    void remove(const std::string& project);
    // Projects renamed, each from its old name to its new one: every old
    // group is read before any is written, so that names may swap; a new
    // name replaces a group there.
    void rename(const std::vector<std::pair<std::string, std::string>>& moves);

    bool changed() const { return m_changed; }
    // The file's text as it now stands; -1 with a message.
    int text(std::string& out, std::string& error) const;

private:
    struct Ini;
    std::unique_ptr<Ini> m_ini;
    std::string m_path;
    // Lines kept aside from the INI reader: the group header they stood
    // under ("" before the first) and the line.
    std::vector<std::pair<std::string, std::string>> m_kept;
    std::vector<std::string> m_notes;
    bool m_changed = false;
};

}  // namespace larkspur
