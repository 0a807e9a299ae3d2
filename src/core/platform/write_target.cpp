// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// POSIX: what a write would replace, links followed or refused.
#include "write_target.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "descriptors.h"
#include "paths.h"
#include "system.h"

namespace larkspur::platform {

int ResolveWriteTarget(const std::string& path, WriteTarget& target, std::string& error)
{
    target = {path, TargetKind::New, -1};
    if (OpenDescriptorNamed(path) >= 0) {
        target.kind = TargetKind::Special;
        target.throughLink = true;
        return 0;
    }
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) {
        if (errno == ENOENT)
            return 0;
        error = path + ": " + SystemMessage(errno);
        return -1;
    }
    if (S_ISLNK(st.st_mode)) {
        auto refuse = [&](const std::string& why) {
            error = path + ": a link Larkspur does not write through: " + why;
            return -1;
        };
        // A link of ours to a link someone else planted is as good as theirs.
        target.throughLink = true;
        const LinkChain chain = CheckLinkChain(AT_FDCWD, path);
        if (!chain.foreignHop.empty())
            return refuse(chain.foreignHop == path ? "it belongs to another user"
                                                   : "it leads through " + chain.foreignHop + ", a link of another user");
        if (!chain.trusted)
            return refuse(SystemMessage(chain.errorNumber));
        if (::stat(path.c_str(), &st) != 0)
            return refuse("it leads to no file (" + SystemMessage(errno) + ")");
        if (S_ISDIR(st.st_mode))
            return refuse("it leads to a folder");
        if (!S_ISREG(st.st_mode)) {
            target.kind = TargetKind::Special;  // opening the link reaches it
            return 0;
        }
        std::string resolved;
        if (CanonicalPath(path, resolved, error) != 0)
            return refuse(error);
        if (st.st_uid != ::geteuid())
            return refuse("it leads to " + resolved + ", a file of another user");
        target.path = resolved;
    } else if (S_ISDIR(st.st_mode)) {
        error = path + ": " + SystemMessage(EISDIR);
        return -1;
    } else if (!S_ISREG(st.st_mode)) {
        target.kind = TargetKind::Special;
        return 0;
    }
    target.kind = TargetKind::Regular;
    // Someone else's mode is theirs to choose, not ours to copy.
    if (st.st_uid == ::geteuid()) {
        target.mode = static_cast<int>(st.st_mode & 0775);
        target.group = static_cast<long long>(st.st_gid);
    }
    return 0;
}

int RemoveFile(const std::string& path)
{
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
        return -1;
    return ::unlink(path.c_str());
}

}  // namespace larkspur::platform
