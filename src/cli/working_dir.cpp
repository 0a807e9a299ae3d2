// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// larkspur-cli working-dir: the folder that holds the saved projects.
#include "commands.h"

#include <cstdlib>
#include <iostream>

#include "platform/paths.h"
#include "platform/system.h"
#include "settings.h"

namespace larkspur::cli {

int RunWorkingDir(const Arguments& args, Failure& failure)
{
    if (CheckAllowed(args, {"working-dir"}, "working-dir", failure.message) != 0 || args.words.size() > 2
        || (args.words.size() == 2 && args.has("working-dir"))) {
        failure = {kUsageError, failure.message.empty() ? "working-dir takes at most one DIR, and not with --working-dir"
                                                        : failure.message};
        return -1;
    }
    if (args.words.size() == 1) {
        std::string folder;
        switch (FindWorkingDir(args, folder, failure)) {
        case WorkingDirectoryOrigin::None:
            return -1;
        case WorkingDirectoryOrigin::Given:
            std::cerr << "larkspur-cli: given by --working-dir\n";
            break;
        case WorkingDirectoryOrigin::Environment:
            std::cerr << "larkspur-cli: set by " << kWorkingDirectoryVariable << '\n';
            break;
        case WorkingDirectoryOrigin::Stored:
            std::cerr << "larkspur-cli: stored in " << SettingsFileName() << '\n';
            break;
        }
        std::cout << folder << '\n';
        return 0;
    }
    std::string folder;
    std::string error;
    if (const int reason = platform::FolderError(args.words[1]); reason != 0) {
        failure = {kFailure, args.words[1] + ": " + platform::SystemMessage(reason)};
        return -1;
    }
    // Stored absolute: the value is read from any current folder later.
    if (platform::CanonicalPath(args.words[1], folder, error) != 0) {
        failure = {kFailure, args.words[1] + ": " + error};
        return -1;
    }
    if (WriteWorkingDirectory(folder) != 0) {
        failure = {kFailure, "cannot write the settings file " + SettingsFileName()};
        return -1;
    }
    if (!g_quiet)
        std::cout << folder << " stored in " << SettingsFileName() << ".\n";
    if (const char* variable = std::getenv(kWorkingDirectoryVariable); variable && *variable)
        std::cerr << "larkspur-cli: " << kWorkingDirectoryVariable << " (" << variable << ") is set and comes first\n";
    return 0;
}

}  // namespace larkspur::cli
