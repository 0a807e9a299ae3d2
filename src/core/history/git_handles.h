// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// The libgit2 handles the history is read through, freed by their owners,
// and object ids as keys of hash tables.
#pragma once

#include <cstring>
#include <memory>
#include <string>

#include <git2.h>

namespace larkspur::history {

inline std::string GitMessage(const char* what)
{
    const git_error* last = git_error_last();
    return std::string(what) + ": " + (last && last->message ? last->message : "unknown error");
}

struct Library {
    Library()
    {
        git_libgit2_init();
        // libgit2's object cache held up to 256 MiB of objects, and as much
        // again in parsed trees: a long history grew the process past 600
        // MiB. Bounded, it is slower still: once full, every addition evicts
        // by scanning its table. The walk keeps the few trees it reads again
        // itself (Trees, in tree_reader.h), so the cache is left off.
        git_libgit2_opts(GIT_OPT_ENABLE_CACHING, 0);
        // As git log does, objects are trusted to be what the pack says;
        // hashing every tree again took a sixth of the walk.
        git_libgit2_opts(GIT_OPT_ENABLE_STRICT_HASH_VERIFICATION, 0);
    }
    ~Library() { git_libgit2_shutdown(); }
};

template <typename T, void (*Free)(T*)>
struct Deleter {
    void operator()(T* object) const { Free(object); }
};
using Repository = std::unique_ptr<git_repository, Deleter<git_repository, git_repository_free>>;
using Commit = std::unique_ptr<git_commit, Deleter<git_commit, git_commit_free>>;
using Odb = std::unique_ptr<git_odb, Deleter<git_odb, git_odb_free>>;
using OdbObject = std::unique_ptr<git_odb_object, Deleter<git_odb_object, git_odb_object_free>>;
using StatusList = std::unique_ptr<git_status_list, Deleter<git_status_list, git_status_list_free>>;
using Index = std::unique_ptr<git_index, Deleter<git_index, git_index_free>>;

struct OidHash {
    std::size_t operator()(const git_oid& id) const
    {
        std::size_t hash;  // an object id is already evenly spread
        std::memcpy(&hash, id.id, sizeof hash);
        return hash;
    }
};
struct OidEqual {
    bool operator()(const git_oid& a, const git_oid& b) const { return git_oid_equal(&a, &b); }
};

}  // namespace larkspur::history
