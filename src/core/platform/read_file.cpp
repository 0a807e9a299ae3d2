// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// POSIX: whole files read.
#include "read_file.h"

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "listing.h"
#include "paths.h"
#include "system.h"

namespace larkspur::platform {

namespace {

// Reads the file open as `fd` and closes it. `label` and ": " lead any
// message.
int ReadOpened(int fd, const std::string& label, std::string& contents, std::string& error, std::size_t limit)
{
    const auto fail = [&](const std::string& message) {
        error = label + (label.empty() ? "" : ": ") + message;
        ::close(fd);
        return -1;
    };
    struct stat st;
    if (::fstat(fd, &st) != 0)
        return fail(SystemMessage(errno));
    if (!S_ISREG(st.st_mode))
        return fail(S_ISDIR(st.st_mode) ? SystemMessage(EISDIR) : "not a regular file");
    // Room for the whole file where its size is known: grown chunk by
    // chunk, a sitemap of megabytes was copied and paged in again and again.
    if (st.st_size > 0)
        contents.reserve(std::min(static_cast<std::size_t>(st.st_size), limit));
    char chunk[1 << 16];
    while (contents.size() < limit) {
        const ssize_t got = ::read(fd, chunk, std::min(sizeof chunk, limit - contents.size()));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return fail(SystemMessage(errno));
        }
        if (got == 0)
            break;
        contents.append(chunk, static_cast<std::size_t>(got));
        // All the file held when it was opened: no second read just to see
        // its end (files of /proc and the like say 0 and are read on).
        if (st.st_size > 0 && contents.size() >= static_cast<std::size_t>(st.st_size))
            break;
    }
    ::close(fd);
    return 0;
}

}  // namespace

// A file swapped for a device after the walk saw it is refused once open;
// opening a terminal must not make it the program's own meanwhile.
constexpr int kReadFlags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;

int ReadFile(const std::string& path, std::string& contents, std::string& error, std::size_t limit)
{
    contents.clear();
    const int fd = ::open(path.c_str(), kReadFlags);
    if (fd < 0) {
        error = path + ": " + SystemMessage(errno);
        return -1;
    }
    return ReadOpened(fd, path, contents, error, limit);
}

int Folder::readFile(const std::string& name, std::string& contents, std::string& error, std::size_t limit) const
{
    contents.clear();
    int fd = ::openat(m_handle, name.c_str(), kReadFlags | O_NOFOLLOW);
    if (fd < 0 && errno == ELOOP) {
        // A link where the walk saw a file is followed as the walk follows
        // links: not when another user's link is on the way, and only the
        // link whose chain was looked at.
        struct stat link, again;
        if (::fstatat(m_handle, name.c_str(), &link, AT_SYMLINK_NOFOLLOW) != 0) {
            error = SystemMessage(errno);
            return -1;
        }
        const LinkChain chain = CheckLinkChain(m_handle, name);
        if (!chain.foreignHop.empty()) {
            error = "a link of another user";
            return -1;
        }
        fd = chain.trusted ? ::openat(m_handle, name.c_str(), kReadFlags) : -1;
        if (fd >= 0 && (::fstatat(m_handle, name.c_str(), &again, AT_SYMLINK_NOFOLLOW) != 0
                        || again.st_ino != link.st_ino || again.st_dev != link.st_dev
                        || again.st_uid != link.st_uid)) {
            ::close(fd);
            error = "it changed while it was read";
            return -1;
        }
        if (!chain.trusted)
            errno = chain.errorNumber != 0 ? chain.errorNumber : ELOOP;
    }
    if (fd < 0) {
        error = SystemMessage(errno);
        return -1;
    }
    return ReadOpened(fd, {}, contents, error, limit);
}

}  // namespace larkspur::platform
