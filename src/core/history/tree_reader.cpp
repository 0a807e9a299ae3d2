// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include "history/tree_reader.h"

namespace larkspur::history {

namespace {

// The entry called `name` in a tree; false when there is none.
bool FindEntry(git_odb_object* tree, std::string_view name, Entry& found, bool& bad)
{
    Entries entries(tree);
    while (entries.next(found)) {
        if (found.name == name)
            return true;
    }
    bad = entries.bad();
    return false;
}

}  // namespace

int CommitSiteTree(Trees& trees, const git_commit* commit, const std::vector<std::string>& prefix, SiteTree& out)
{
    out.reset();
    git_oid id = *git_commit_tree_id(commit);
    for (const std::string& name : prefix) {
        git_odb_object* tree = trees.get(id);
        if (!tree)
            return -1;
        Entry entry;
        bool bad = false;
        if (!FindEntry(tree, name, entry, bad))
            return bad ? -1 : 0;
        if (!entry.folder())
            return 0;
        id = *entry.id;
    }
    out = id;
    return 0;
}

}  // namespace larkspur::history
