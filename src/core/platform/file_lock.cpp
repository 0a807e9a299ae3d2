// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// POSIX: lock files.
#include "file_lock.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "system.h"

namespace larkspur::platform {

FileLock::~FileLock()
{
    unlock();
}

FileLock::FileLock(FileLock&& other) noexcept : m_handle(other.m_handle)
{
    other.m_handle = -1;
}

FileLock& FileLock::operator=(FileLock&& other) noexcept
{
    if (this != &other) {
        unlock();
        m_handle = other.m_handle;
        other.m_handle = -1;
    }
    return *this;
}

int FileLock::lock(const std::string& path, std::string& error, bool wait, int* reason)
{
    unlock();
    if (reason)
        *reason = 0;
    // O_NONBLOCK: a FIFO planted in its place must not hang the open.
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600);
    if (fd < 0) {
        const int failure = errno;
        if (failure == ELOOP) {
            error = path + ": a link, not a lock file";
        } else {
            error = path + ": " + SystemMessage(failure);
            if (reason)
                *reason = failure;
        }
        return -1;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = path + ": not a regular file";
        ::close(fd);
        return -1;
    }
    // A lock file an older version left open to all is closed to others now.
    if (st.st_uid == ::geteuid() && (st.st_mode & 077) != 0)
        ::fchmod(fd, 0600);
    while (::flock(fd, wait ? LOCK_EX : LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR)
            continue;
        if (errno == EWOULDBLOCK) {
            ::close(fd);
            return 1;
        }
        error = path + ": " + SystemMessage(errno);
        ::close(fd);
        return -1;
    }
    m_handle = fd;
    return 0;
}

void FileLock::unlock()
{
    if (m_handle >= 0) {
        ::close(m_handle);  // closing the last descriptor releases the lock
        m_handle = -1;
    }
}

}  // namespace larkspur::platform
