// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// Lock files, for data that several processes share.
#pragma once

#include <string>

namespace larkspur::platform {

// An exclusive lock on a lock file, held from lock() until unlock() or
// destruction; another process asking for the same file waits meanwhile. The
// lock file is never the data file itself: that one is replaced by rename,
// and a lock on a replaced file protects nothing. A link in the lock file's
// place is refused, so the lock never creates or opens a file elsewhere.
class FileLock {
public:
    FileLock() = default;
    ~FileLock();
    FileLock(FileLock&& other) noexcept;
    FileLock& operator=(FileLock&& other) noexcept;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // Creates the lock file when missing, readable and writable by its owner
    // alone (anyone who can open it can hold it), and takes the lock,
    // waiting for another holder when `wait`. 0 on success; 1 when another
    // holds it and `wait` is false; -1 with the path and the reason in
    // `error`, and in `reason` the system's error number when it was one.
    int lock(const std::string& path, std::string& error, bool wait = true, int* reason = nullptr);
    void unlock();
    bool locked() const { return m_handle >= 0; }

private:
    int m_handle = -1;
};

}  // namespace larkspur::platform
