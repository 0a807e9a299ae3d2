// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// POSIX: open folders, their listings, and how many may be open.
#include "listing.h"

#include <atomic>
#include <cerrno>

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "paths.h"
#include "system.h"

namespace larkspur::platform {

namespace {

void FillEntry(DirEntry& entry, const struct stat& st)
{
    if (S_ISDIR(st.st_mode))
        entry.kind = EntryKind::Directory;
    else if (S_ISREG(st.st_mode))
        entry.kind = EntryKind::File;
    else
        entry.kind = EntryKind::Other;  // fifos, sockets, devices: never opened
    entry.size = static_cast<std::uint64_t>(st.st_size);
    entry.mtime = static_cast<std::int64_t>(st.st_mtime);
    entry.id = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

int OpenFolderAt(int parent, const char* path, std::string& error, int flags = 0)
{
    const int fd = ::openat(parent, path, O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK | flags);
    if (fd < 0)
        error = SystemMessage(errno);
    return fd;
}

}  // namespace

Folder::~Folder()
{
    if (m_handle >= 0)
        ::close(m_handle);
}

Folder::Folder(Folder&& other) noexcept : m_handle(other.m_handle)
{
    other.m_handle = -1;
}

Folder& Folder::operator=(Folder&& other) noexcept
{
    if (this != &other) {
        if (m_handle >= 0)
            ::close(m_handle);
        m_handle = other.m_handle;
        other.m_handle = -1;
    }
    return *this;
}

int Folder::open(const std::string& path, std::string& error)
{
    Folder opened;
    opened.m_handle = OpenFolderAt(AT_FDCWD, path.c_str(), error);
    if (opened.m_handle < 0)
        return -1;
    *this = std::move(opened);
    return 0;
}

int Folder::openChild(const std::string& name, Folder& child, std::string& error,
                      int* errorNumber, bool followLink) const
{
    Folder opened;
    opened.m_handle = OpenFolderAt(m_handle, name.c_str(), error, followLink ? 0 : O_NOFOLLOW);
    if (opened.m_handle < 0) {
        if (errorNumber)
            *errorNumber = errno;
        return -1;
    }
    child = std::move(opened);
    return 0;
}

int Folder::list(Listing& listing, std::string& error, int* errorNumber,
                 const std::function<bool(std::string_view name)>* statFile) const
{
    std::vector<DirEntry>& entries = listing.entries;
    entries.clear();
    listing.names.clear();
    const auto named = [&listing](DirEntry& entry, std::string_view name) {
        entry.nameOffset = static_cast<std::uint32_t>(listing.names.size());
        entry.nameLength = static_cast<std::uint16_t>(name.size());
        listing.names += name;
    };
    // fdopendir takes ownership of its descriptor, so list through a copy.
    const int fd = ::openat(m_handle, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        if (errorNumber)
            *errorNumber = errno;
        error = SystemMessage(errno);
        return -1;
    }
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        error = SystemMessage(errno);
        ::close(fd);
        return -1;
    }
    int result = 0;
    for (;;) {
        errno = 0;
        const dirent* found = ::readdir(dir);
        if (!found) {
            if (errno != 0) {
                error = SystemMessage(errno);
                result = -1;
            }
            break;
        }
        const char* name = found->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
            continue;
        // Most file systems say what an entry is: a file whose size and time
        // nobody asked for, and what is never opened, need no status call.
        if (found->d_type == DT_FIFO || found->d_type == DT_SOCK || found->d_type == DT_CHR
            || found->d_type == DT_BLK || (found->d_type == DT_REG && statFile && !(*statFile)(name))) {
            DirEntry& entry = entries.emplace_back();
            named(entry, name);
            entry.kind = found->d_type == DT_REG ? EntryKind::File : EntryKind::Other;
            continue;
        }
        // The link itself first: a name that is no link needs no second
        // call, and only a link has a chain whose owners decide whether it
        // is followed.
        struct stat st;
        if (::fstatat(m_handle, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;  // removed while we list
        DirEntry entry;
        if (S_ISLNK(st.st_mode)) {
            entry.isLink = true;
            const LinkChain chain = CheckLinkChain(m_handle, name);
            entry.foreignLink = !chain.foreignHop.empty();
            if (!chain.trusted && !entry.foreignLink)
                continue;  // looping or unreadable: the system would not follow it either
            if (!entry.foreignLink) {
                const struct stat link = st;
                if (::fstatat(m_handle, name, &st, 0) != 0)
                    continue;  // dangling
                // The same link still: not one put in its place meanwhile.
                struct stat again;
                if (::fstatat(m_handle, name, &again, AT_SYMLINK_NOFOLLOW) != 0 || again.st_ino != link.st_ino
                    || again.st_dev != link.st_dev || again.st_uid != link.st_uid)
                    continue;
                FillEntry(entry, st);
            }
        } else {
            FillEntry(entry, st);
        }
        named(entry, name);
        entries.push_back(entry);
    }
    ::closedir(dir);
    return result;
}

int Folder::stat(DirEntry& self, std::string& error) const
{
    struct stat st;
    if (::fstat(m_handle, &st) != 0) {
        error = SystemMessage(errno);
        return -1;
    }
    FillEntry(self, st);
    return 0;
}

void RaiseOpenFileLimit()
{
    // Once: a limit the process lowers later on purpose stays lowered.
    static std::atomic<bool> raised{false};
    if (raised.exchange(true))
        return;
    struct rlimit limit;
    constexpr rlim_t kEnough = 1 << 20;
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= limit.rlim_max || limit.rlim_cur >= kEnough)
        return;
    limit.rlim_cur = limit.rlim_max == RLIM_INFINITY || limit.rlim_max > kEnough ? kEnough : limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
}

std::size_t OpenFileLimit()
{
    struct rlimit limit;
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return 1024;
    if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur > (1u << 30))
        return std::size_t{1} << 30;
    return static_cast<std::size_t>(limit.rlim_cur);
}

}  // namespace larkspur::platform
