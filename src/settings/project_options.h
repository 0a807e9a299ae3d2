// The sitemap options of each project, kept in "sitemap-options.ini" beside
// saving.dat (whose fixed layout has no room for them): one INI group per
// project name, one key per option. A project without a group has every
// option at its default.
#pragma once

#include <string>

#include "options/options.h"

namespace larkspur {

std::string ProjectOptionsPath(const std::string& workingDirectory);

// The stored options of `project`, over the defaults. 0; -1 with a message
// when the file cannot be read or holds a value no option understands.
int LoadProjectOptions(const std::string& workingDirectory, const std::string& project,
                       SitemapOptions& options, std::string* error = nullptr);

// The changes below rewrite the whole file through a temporary file, keeping
// every other group and any key this program does not know. Call them
// holding the working directory's ProjectFileLock, as for saving.dat.
int StoreProjectOptions(const std::string& workingDirectory, const std::string& project,
                        const SitemapOptions& options, std::string* error = nullptr);
// A project renamed: its group moves to the new name (replacing one there).
int RenameProjectOptions(const std::string& workingDirectory, const std::string& from,
                         const std::string& to, std::string* error = nullptr);
int RemoveProjectOptions(const std::string& workingDirectory, const std::string& project,
                         std::string* error = nullptr);

}  // namespace larkspur
