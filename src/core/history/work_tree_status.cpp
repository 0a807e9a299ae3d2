// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include "history/work_tree_status.h"

#include <exception>
#include <string_view>
#include <unordered_map>

#include <git2.h>

#include "history/git_handles.h"

namespace larkspur::history {

namespace {

// The site folder of the checked-out commit, read for each page's path: its
// folders' entries by name, each folder read once.
class CheckedOut {
public:
    explicit CheckedOut(Trees& trees) : m_trees(trees) {}

    // One folder at a time, so that no depth of folders costs stack. A
    // file's entry is kept in `file`.
    int find(const SiteTree& site, std::string_view path, Found& found, Entry& file)
    {
        found = Found::Nothing;
        if (!site)
            return 0;
        git_oid id = *site;
        for (;;) {
            const Folder* folder = read(id);
            if (!folder)
                return -1;
            const std::size_t slash = path.find('/');
            const auto named = folder->find(path.substr(0, slash));
            if (named == folder->end())
                return 0;
            const Entry& entry = named->second;
            if (entry.submodule()) {
                found = Found::InSubmodule;
                return 0;
            }
            if (slash == std::string_view::npos) {
                if (!entry.folder()) {
                    found = Found::File;
                    file = entry;
                }
                return 0;
            }
            if (!entry.folder())
                return 0;
            id = *entry.id;
            path.remove_prefix(slash + 1);
        }
    }

private:
    using Folder = std::unordered_map<std::string_view, Entry>;

    const Folder* read(const git_oid& id)
    {
        if (const auto done = m_folders.find(id); done != m_folders.end())
            return &done->second;
        git_odb_object* tree = m_trees.get(id);
        if (!tree)
            return nullptr;
        Folder folder;
        Entries entries(tree);
        for (Entry entry; entries.next(entry);)
            folder.emplace(entry.name, entry);  // as libgit2 did: the first of a name
        if (entries.bad())
            return nullptr;
        return &m_folders.emplace(id, std::move(folder)).first->second;
    }

    Trees& m_trees;  // holds the trees the entries point into
    std::unordered_map<git_oid, Folder, OidHash, OidEqual> m_folders;
};

// A committed file as the checked-out commit holds it.
struct CommittedFile {
    git_oid id{};
    unsigned mode = 0;
};

CheckedOutPages ReadCheckedOut(git_repository* opened, const SiteTree& headTree,
                               const std::vector<std::string>& pages, std::vector<CommittedFile>& files)
{
    CheckedOutPages out;
    const auto fail = [&out]() {
        out.result = -1;
        out.error = GitMessage("cannot read the checked-out commit");
        return std::move(out);
    };
    git_odb* odb = nullptr;
    if (!opened || git_repository_odb(&odb, opened) != 0)
        return fail();
    Odb objects(odb);
    Trees trees(odb);
    CheckedOut checkedOut(trees);
    out.found.assign(pages.size(), Found::Nothing);
    files.assign(pages.size(), {});
    for (std::size_t i = 0; i < pages.size(); ++i) {
        Entry file;
        if (checkedOut.find(headTree, pages[i], out.found[i], file) != 0)
            return fail();
        if (out.found[i] == Found::File)
            files[i] = {*file.id, file.filemode()};
    }
    return out;
}

}  // namespace

WorkTreeChanges CompareWithCheckedOut(const std::string& site, const std::string& prefix, SiteTree headTree,
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
            ReadCheckedOut(openResult == 0 ? opened : nullptr, headTree, pages, files);
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
