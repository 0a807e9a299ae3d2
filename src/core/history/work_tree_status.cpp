// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include "history/work_tree_status.h"

#include <exception>
#include <string_view>

#include <git2.h>

#include "history/git_handles.h"

namespace larkspur::history {

namespace {

// A committed file as the checked-out commit holds it.
struct CommittedFile {
    git_oid id{};
    unsigned mode = 0;
};

CheckedOutPages ReadCheckedOut(git_repository* opened, const std::vector<std::string>& prefixNames,
                               const git_oid& headId, const std::vector<std::string>& pages,
                               std::vector<CommittedFile>& files)
{
    CheckedOutPages out;
    const auto fail = [&out]() {
        out.result = -1;
        out.error = GitMessage("cannot read the checked-out commit");
        return std::move(out);
    };
    git_commit* head = nullptr;
    if (!opened || git_commit_lookup(&head, opened, &headId) != 0)
        return fail();
    Commit headCommit(head);
    git_odb* odb = nullptr;
    if (git_repository_odb(&odb, opened) != 0)
        return fail();
    Odb objects(odb);
    Trees trees(odb);
    SiteTree headTree;
    if (CommitSiteTree(trees, head, prefixNames, headTree) != 0)
        return fail();
    CheckedOut checkedOut(trees);
    out.found.assign(pages.size(), Found::Nothing);
    files.assign(pages.size(), {});
    for (std::size_t i = 0; i < pages.size(); ++i) {
        Entry file;
        if (checkedOut.find(headTree, pages[i], out.found[i], &file) != 0)
            return fail();
        if (out.found[i] == Found::File)
            files[i] = {*file.id, file.filemode()};
    }
    return out;
}

}  // namespace

WorkTreeChanges CompareWithCheckedOut(const std::string& site, const std::string& prefix,
                                      const std::vector<std::string>& prefixNames, git_oid headId,
                                      const std::vector<std::string>& pages, std::promise<CheckedOutPages>& held)
{
    WorkTreeChanges out;
    const auto fail = [&out](const char* what) {
        out.result = -1;
        out.error = GitMessage(what);
        return std::move(out);
    };
    git_repository* opened = nullptr;
    const int openResult = git_repository_open_ext(&opened, site.c_str(), 0, nullptr);
    Repository repo(opened);
    std::vector<CommittedFile> files;
    bool committed = false;
    try {
        CheckedOutPages checkedOut =
            ReadCheckedOut(openResult == 0 ? opened : nullptr, prefixNames, headId, pages, files);
        committed = checkedOut.result == 0;
        held.set_value(std::move(checkedOut));
    } catch (...) {
        held.set_exception(std::current_exception());  // the walk waits for it
        throw;
    }
    if (!committed)
        return fail("cannot compare the work tree with the repository");
    // The index against the commit, page by page from the entries just read
    // (libgit2's status would read every folder of the commit again), then
    // the work tree against the index.
    const std::string folderPrefix = prefix.empty() ? std::string() : prefix + "/";
    git_index* index = nullptr;
    if (git_repository_index(&index, opened) != 0)
        return fail("cannot compare the work tree with the repository");
    Index indexHandle(index);
    for (std::size_t i = 0; i < pages.size(); ++i) {
        if (files[i].mode == 0)
            continue;
        const git_index_entry* staged = git_index_get_bypath(index, (folderPrefix + pages[i]).c_str(), 0);
        if (!staged || !git_oid_equal(&staged->id, &files[i].id) || staged->mode != files[i].mode)
            out.paths.insert(pages[i]);
    }
    git_status_options options = GIT_STATUS_OPTIONS_INIT;
    options.show = GIT_STATUS_SHOW_WORKDIR_ONLY;
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
    const std::size_t count = git_status_list_entrycount(list);
    for (std::size_t i = 0; i < count; ++i) {
        const git_status_entry* entry = git_status_byindex(list, i);
        if (const git_diff_delta* delta = entry->index_to_workdir) {
            for (const char* path : {delta->old_file.path, delta->new_file.path}) {
                if (path && std::string_view(path).starts_with(folderPrefix))
                    out.paths.insert(path + folderPrefix.size());
            }
        }
    }
    return out;
}

}  // namespace larkspur::history
