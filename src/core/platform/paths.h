// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// Paths: how they are put together, and what they name on disk.
#pragma once

#include <string>

namespace larkspur::platform {

bool IsDirectory(const std::string& path);
// 0 when `path` names a folder (links followed), else the system's error
// number of why not: ENOENT, ENOTDIR, EACCES, ...
int FolderError(const std::string& path);
bool Exists(const std::string& path);
// Whether something other than a symbolic link is there.
bool ExistsNotAsLink(const std::string& path);
// Absolute path with "." and ".." resolved; -1 when the path does not exist.
int CanonicalPath(const std::string& path, std::string& out, std::string& error);

// Joins a folder and a name with exactly one separator between them.
std::string JoinPath(const std::string& folder, const std::string& name);
// The last component of a path.
std::string FileName(const std::string& path);
// The folder part of a path, with its trailing "/"; empty for a bare name.
std::string FolderOf(const std::string& path);

// Whether the link `name` may be followed: it and every link on the way to
// what it names, a hop of its chain or a folder in the path a hop's text
// names, belong to a trusted owner (IsTrustedOwner). Another user could
// otherwise aim a link of ours, through a link of theirs, at anything of
// ours. `name` is relative to the open folder `folder` (or AT_FDCWD); the
// folders before its last component are taken as they are. Where the way
// ends at nothing, nothing more is followed: trusted.
struct LinkChain {
    bool trusted = true;
    std::string foreignHop;  // the first link of another user on the way, as reached from `folder`
    int errorNumber = 0;     // else why the way could not be read: ELOOP past 40 links, EACCES, ...
};
LinkChain CheckLinkChain(int folder, const std::string& name);

}  // namespace larkspur::platform
