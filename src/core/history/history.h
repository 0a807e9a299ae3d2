// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// The date of each page's last committed change, for a site folder kept in
// git. A fresh clone or a copy to a build machine gives every file the time
// of the copy; the history still knows when each page really changed.
#pragma once

#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace larkspur {

struct CommitDates {
    // One per requested page, in the same order: the committer time (seconds
    // since 1970 UTC) of the newest commit that changed it, or -1 where the
    // page's own file time should stay.
    std::vector<std::int64_t> dates;
    long long untracked = 0;  // not in the checked-out commit
    long long changed = 0;    // committed, but changed in the index or work tree since
    long long inSubmodule = 0;  // in a submodule, whose history is its own
    // Committed pages the history ended before reaching: a shallow clone.
    long long beyondHistory = 0;
    long long commitsRead = 0;
};

// Reads the history once, newest commit first, and stops as soon as every
// committed, unchanged page has its date. `pages` are paths relative to
// `siteFolder` with "/" between folders. Each page's date is the one
// `git log -1 -- PAGE` gives: at a merge where the page is the same as in a
// parent, only the first such parent's line counts for it; a merge that
// differs from all its parents is itself the change; a renamed file's new
// path is changed by the rename. 0, or -1 with a message when the folder is
// not in a git work tree, its repository belongs to another user, or the
// repository cannot be read.
int ReadCommitDates(const std::string& siteFolder, const std::vector<std::string>& pages,
                    CommitDates& out, std::string& error);

// Starts libgit2 on a thread of its own while the object lives, when
// `start` says the dates will be read. Starting it reads the system's
// certificates (milliseconds, of no use to a repository on the disk), so a
// program that will read commit dates creates one before it walks the site.
class GitStarted {
public:
    explicit GitStarted(bool start);
    ~GitStarted();
    GitStarted(const GitStarted&) = delete;
    GitStarted& operator=(const GitStarted&) = delete;

private:
    std::thread m_starting;
};

}  // namespace larkspur
