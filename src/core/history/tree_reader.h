// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// Tree objects read as git stores them, and the site folder found in them.
#pragma once

#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <git2.h>

#include "history/git_handles.h"

namespace larkspur::history {

// A site folder's tree by its id; none when a commit has no such folder (it
// then counts as empty).
using SiteTree = std::optional<git_oid>;

// One entry of a tree object, read where it is stored. Trees are read as git
// stores them, "<octal mode> <name>\0<id>" one after the other, not through
// git_tree_lookup: parsing every entry of every tree into libgit2's own form
// (its modes through strtol) took a quarter of the walk, and most entries
// are only compared with their counterpart byte for byte.
struct Entry {
    std::string_view name;
    unsigned mode = 0;
    const git_oid* id = nullptr;

    bool folder() const { return (mode & 0170000) == 0040000; }
    bool submodule() const { return (mode & 0170000) == 0160000; }
    // The mode as libgit2 gives it (git_tree_entry_filemode): old trees
    // may say 100664 where git now writes 100644.
    unsigned filemode() const
    {
        if (folder())
            return GIT_FILEMODE_TREE;
        if (mode & 0100)
            return GIT_FILEMODE_BLOB_EXECUTABLE;
        if ((mode & 0170000) == GIT_FILEMODE_COMMIT)
            return GIT_FILEMODE_COMMIT;
        if ((mode & 0170000) == GIT_FILEMODE_LINK)
            return GIT_FILEMODE_LINK;
        return GIT_FILEMODE_BLOB;
    }
};

// The entries of one tree object in their order; none for no tree.
class Entries {
public:
    Entries() = default;
    explicit Entries(git_odb_object* tree)
        : m_at(static_cast<const char*>(git_odb_object_data(tree))), m_end(m_at + git_odb_object_size(tree))
    {
    }

    // False at the end, and on an entry that is not well formed (bad()).
    bool next(Entry& entry)
    {
        if (m_at == m_end)
            return false;
        const char* at = m_at;
        unsigned mode = 0;
        for (; at != m_end && *at >= '0' && *at <= '7' && mode <= 0xFFFF; ++at)
            mode = mode * 8 + static_cast<unsigned>(*at - '0');
        if (at == m_at || at == m_end || *at != ' ' || mode > 0xFFFF)
            return fail();
        ++at;
        const char* end = static_cast<const char*>(std::memchr(at, '\0', static_cast<std::size_t>(m_end - at)));
        if (!end || end == at || m_end - end - 1 < GIT_OID_RAWSZ)
            return fail();
        entry.name = std::string_view(at, static_cast<std::size_t>(end - at));
        entry.mode = mode;
        entry.id = reinterpret_cast<const git_oid*>(end + 1);
        m_at = end + 1 + GIT_OID_RAWSZ;
        return true;
    }
    bool bad() const { return m_bad; }
    // Where the next entry starts, and where the tree ends.
    const char* at() const { return m_at; }
    const char* end() const { return m_end; }
    void skipTo(const char* at) { m_at = at; }

private:
    bool fail()
    {
        git_error_set_str(GIT_ERROR_OBJECT, "a tree in the history is not well formed");
        m_bad = true;
        m_at = m_end;
        return false;
    }

    const char* m_at = nullptr;
    const char* m_end = nullptr;
    bool m_bad = false;
};

// The trees read for the last two commits compared, by id. Comparing a
// commit with its parent reads the parent's site folder and changed
// folders, which the next comparison, of the parent with its own parent,
// reads again.
class Trees {
public:
    explicit Trees(git_odb* odb) : m_odb(odb) {}

    // Null with libgit2's error when the tree cannot be read.
    git_odb_object* get(const git_oid& id)
    {
        if (const auto found = m_newer.find(id); found != m_newer.end())
            return found->second.get();
        OdbObject tree;
        if (const auto found = m_older.find(id); found != m_older.end()) {
            tree = std::move(found->second);
        } else {
            git_odb_object* read = nullptr;
            if (git_odb_read(&read, m_odb, &id) != 0)
                return nullptr;
            tree.reset(read);
            if (git_odb_object_type(read) != GIT_OBJECT_TREE) {
                git_error_set_str(GIT_ERROR_OBJECT, "a tree in the history is not a tree");
                return nullptr;
            }
        }
        return m_newer.emplace(id, std::move(tree)).first->second.get();
    }
    // Ends a comparison: trees not read in it or the one before go.
    void next()
    {
        m_older.clear();
        m_older.swap(m_newer);
    }

private:
    git_odb* m_odb;
    std::unordered_map<git_oid, OdbObject, OidHash, OidEqual> m_newer;
    std::unordered_map<git_oid, OdbObject, OidHash, OidEqual> m_older;
};

// The id of the site folder's tree within a commit, found by the folder's
// names from the top (`prefix`); only the trees on that path are read.
int CommitSiteTree(Trees& trees, const git_commit* commit, const std::vector<std::string>& prefix, SiteTree& out);

// What a page's path names in a tree.
enum class Found { Nothing, File, InSubmodule };

}  // namespace larkspur::history
