// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include "history/work_tree_status.h"

#include <string_view>

#include <git2.h>

#include "history/git_handles.h"

namespace larkspur::history {

WorkTreeChanges ChangedSinceCommit(const std::string& site, const std::string& prefix)
{
    WorkTreeChanges out;
    const auto fail = [&out](const char* what) {
        out.result = -1;
        out.error = GitMessage(what);
        return std::move(out);
    };
    git_repository* opened = nullptr;
    if (git_repository_open_ext(&opened, site.c_str(), 0, nullptr) != 0)
        return fail("cannot compare the work tree with the repository");
    Repository repo(opened);
    git_status_options options = GIT_STATUS_OPTIONS_INIT;
    options.show = GIT_STATUS_SHOW_INDEX_AND_WORKDIR;
    options.flags = GIT_STATUS_OPT_EXCLUDE_SUBMODULES | GIT_STATUS_OPT_DISABLE_PATHSPEC_MATCH;
    // Only the site's folder is compared; libgit2 takes it as a list of one.
    char* siteFolder = const_cast<char*>(prefix.c_str());
    if (!prefix.empty()) {
        options.pathspec.strings = &siteFolder;
        options.pathspec.count = 1;
    }
    git_status_list* list = nullptr;
    if (git_status_list_new(&list, opened, &options) != 0)
        return fail("cannot compare the work tree with the repository");
    StatusList statuses(list);
    const std::string folderPrefix = prefix.empty() ? std::string() : prefix + "/";
    const std::size_t count = git_status_list_entrycount(list);
    for (std::size_t i = 0; i < count; ++i) {
        const git_status_entry* entry = git_status_byindex(list, i);
        for (const git_diff_delta* delta : {entry->head_to_index, entry->index_to_workdir}) {
            if (!delta)
                continue;
            for (const char* path : {delta->old_file.path, delta->new_file.path}) {
                if (path && std::string_view(path).starts_with(folderPrefix))
                    out.paths.insert(path + folderPrefix.size());
            }
        }
    }
    return out;
}

}  // namespace larkspur::history
