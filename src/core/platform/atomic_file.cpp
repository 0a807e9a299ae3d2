// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// POSIX: files replaced whole, and the temporary files they leave on an
// interruption.
#include "atomic_file.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include <signal.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "descriptors.h"
#include "paths.h"
#include "system.h"
#include "write_target.h"

namespace larkspur::platform {

// ----- Temporary files in flight, for the signal handlers

namespace {

// Fixed slots of lock-free pointers, since a signal handler may neither lock
// nor allocate. A name that finds no free slot is only not cleaned up.
constexpr std::size_t kTemporarySlots = 4096;
std::atomic<char*> g_temporaries[kTemporarySlots];

int TrackTemporary(const std::string& path)
{
    char* copy = ::strdup(path.c_str());
    if (!copy)
        return -1;
    for (std::size_t i = 0; i < kTemporarySlots; ++i) {
        char* expected = nullptr;
        if (g_temporaries[i].compare_exchange_strong(expected, copy))
            return static_cast<int>(i);
    }
    std::free(copy);
    return -1;
}

void UntrackTemporary(int& slot)
{
    if (slot < 0)
        return;
    std::free(g_temporaries[slot].exchange(nullptr));
    slot = -1;
}

// Set by the first signal handled: the one that removes the files.
std::atomic<bool> g_ending{false};

extern "C" void RemoveTemporariesAndEnd(int signalNumber)
{
    // A second signal (timeout(1) sends one to the child, then one to its
    // group) lands on another thread while the first is removing the files:
    // it waits for that thread to end the process.
    if (g_ending.exchange(true)) {
        for (;;)
            ::pause();
    }
    for (auto& slot : g_temporaries) {
        if (const char* path = slot.load())
            ::unlink(path);
    }
    // The signal, blocked until the handler returns, then ends the process
    // with its usual status.
    struct sigaction standard {};
    standard.sa_handler = SIG_DFL;
    sigemptyset(&standard.sa_mask);
    ::sigaction(signalNumber, &standard, nullptr);
    ::raise(signalNumber);
}

}  // namespace

void HandleInterruptions()
{
    ::signal(SIGXFSZ, SIG_IGN);
    struct sigaction action {};
    action.sa_handler = RemoveTemporariesAndEnd;
    action.sa_flags = 0;
    sigemptyset(&action.sa_mask);
    for (const int signalNumber : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&action.sa_mask, signalNumber);
    for (const int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction previous {};
        // A signal ignored by whoever started us (nohup, a background job)
        // stays ignored.
        if (::sigaction(signalNumber, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN)
            continue;
        ::sigaction(signalNumber, &action, nullptr);
    }
}

// ----- AtomicFile

struct AtomicFile::Impl {
    std::string target;
    std::string temporary;
    int fd = -1;
    int slot = -1;          // of `temporary` among the names signal handlers remove
    bool direct = false;    // a device or a pipe, written into
    bool prepared = false;  // written, synced and closed; not yet renamed
    int createdMode = 0600;  // of the temporary before it took the target's
    std::unique_ptr<DescriptorBuffer> buffer;
    std::ostream stream{nullptr};

    void attach(int descriptor)
    {
        fd = descriptor;
        buffer = std::make_unique<DescriptorBuffer>(fd);
        stream.rdbuf(buffer.get());
        stream.clear();
    }
    void removeTemporary()
    {
        if (!temporary.empty())
            ::unlink(temporary.c_str());
        UntrackTemporary(slot);
        temporary.clear();
    }
};

AtomicFile::AtomicFile() : m_impl(std::make_unique<Impl>()) {}

AtomicFile::~AtomicFile()
{
    abandon();
}

int AtomicFile::open(const std::string& requested, std::string& error, bool writeIntoDevices)
{
    abandon();
    WriteTarget resolved;
    if (ResolveWriteTarget(requested, resolved, error) != 0)
        return -1;
    const std::string& target = resolved.path;
    if (resolved.kind == TargetKind::Special && !writeIntoDevices && resolved.throughLink) {
        error = target + ": a link Larkspur does not write through: it leads to a device or a pipe";
        return -1;
    }
    if (resolved.kind == TargetKind::Special && writeIntoDevices) {
        const int descriptor = OpenDescriptorNamed(requested);
        if (descriptor >= 0) {
            // A copy, so that closing it leaves the descriptor open; it
            // shares the file's offset, so the text goes where the shell's
            // redirection left it.
            const int fd = ::fcntl(descriptor, F_DUPFD_CLOEXEC, 0);
            if (fd < 0) {
                error = requested + ": " + SystemMessage(errno);
                return -1;
            }
            m_impl->target = requested;
            m_impl->direct = true;
            m_impl->attach(fd);
            return 0;
        }
        // Without a reader a pipe would hold us for ever: refuse at once.
        const int fd = ::open(target.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0) {
            const int failure = errno;
            struct stat st;
            const bool pipe = ::stat(target.c_str(), &st) == 0 && S_ISFIFO(st.st_mode);
            error = target + ": " + (failure == ENXIO && pipe ? "nothing reads this pipe" : SystemMessage(failure));
            return -1;
        }
        struct stat st;
        if (::fstat(fd, &st) != 0 || S_ISREG(st.st_mode) || S_ISDIR(st.st_mode)) {
            // Replaced since it was looked at: not what was checked.
            error = target + ": changed while being opened";
            ::close(fd);
            return -1;
        }
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        m_impl->target = target;
        m_impl->direct = true;
        m_impl->attach(fd);
        return 0;
    }
    std::random_device seed;
    std::mt19937 random(seed());
    // The temporary name is the target's with a suffix; a target name near
    // the file system's limit (255 bytes) is shortened first so that it fits.
    const std::size_t nameLength = FileName(target).size();
    const std::string stem = nameLength > 200 ? target.substr(0, target.size() - (nameLength - 200)) : target;
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, ".tmp%08x", static_cast<unsigned>(random()));
        const std::string temporary = stem + suffix;
        // Tracked before it exists, so that no moment leaves it behind.
        int slot = TrackTemporary(temporary);
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd < 0) {
            const int failure = errno;
            UntrackTemporary(slot);
            if (failure == EEXIST)
                continue;
            error = target + ": " + SystemMessage(failure);
            return -1;
        }
        struct stat created;
        if (::fstat(fd, &created) == 0)
            m_impl->createdMode = static_cast<int>(created.st_mode & 07777);
        // The group first: changing it clears set-id bits. A group we are
        // not in stays the new file's, as before.
        if (resolved.group >= 0)
            (void)::fchown(fd, static_cast<uid_t>(-1), static_cast<gid_t>(resolved.group));
        if (resolved.mode >= 0)
            ::fchmod(fd, static_cast<mode_t>(resolved.mode));
        m_impl->target = target;
        m_impl->temporary = temporary;
        m_impl->slot = slot;
        m_impl->attach(fd);
        return 0;
    }
    error = target + ": no free temporary name";
    return -1;
}

bool AtomicFile::direct() const
{
    return m_impl->direct;
}

std::ostream& AtomicFile::stream()
{
    return m_impl->stream;
}

int AtomicFile::prepare(std::string& error)
{
    Impl& impl = *m_impl;
    if (impl.prepared)
        return 0;
    if (impl.fd < 0) {
        error = "no file open";
        return -1;
    }
    impl.stream.flush();
    int failure = 0;
    if (!impl.stream || impl.buffer->writeError() != 0)
        failure = impl.buffer->writeError() ? impl.buffer->writeError() : EIO;
    else if (!impl.direct && ::fsync(impl.fd) != 0)
        failure = errno;
    if (::close(impl.fd) != 0 && failure == 0)
        failure = errno;
    impl.fd = -1;
    impl.stream.rdbuf(nullptr);
    impl.buffer.reset();
    if (failure != 0) {
        impl.removeTemporary();
        error = impl.target + ": " + SystemMessage(failure);
        return -1;
    }
    impl.prepared = true;
    return 0;
}

int AtomicFile::commit(std::string& error)
{
    if (prepare(error) != 0)
        return -1;
    Impl& impl = *m_impl;
    impl.prepared = false;
    if (impl.direct) {
        impl.direct = false;
        return 0;
    }
    int failure = 0;
    if (::rename(impl.temporary.c_str(), impl.target.c_str()) != 0) {
        failure = errno;
        error = impl.target + ": " + SystemMessage(failure);
        impl.removeTemporary();
    }
    UntrackTemporary(impl.slot);
    impl.temporary.clear();
    return failure == 0 ? 0 : -1;
}

int AtomicFile::retarget(const std::string& requested, std::string& error)
{
    Impl& impl = *m_impl;
    if (impl.fd < 0 || impl.direct || impl.temporary.empty()) {
        error = "no file open";
        return -1;
    }
    WriteTarget resolved;
    if (ResolveWriteTarget(requested, resolved, error) != 0)
        return -1;
    if (resolved.kind == TargetKind::Special && resolved.throughLink) {
        error = resolved.path + ": a link Larkspur does not write through: it leads to a device or a pipe";
        return -1;
    }
    if (FolderOf(resolved.path) == FolderOf(impl.temporary)) {
        impl.target = resolved.path;
        ::fchmod(impl.fd, static_cast<mode_t>(resolved.mode >= 0 ? resolved.mode : impl.createdMode));
        return 0;
    }
    // A rename cannot take the temporary to another folder (it may be on
    // another file system): a new one there, with the text so far.
    impl.stream.flush();
    if (!impl.stream || impl.buffer->writeError() != 0) {
        error = impl.target + ": " + SystemMessage(impl.buffer->writeError() ? impl.buffer->writeError() : EIO);
        return -1;
    }
    AtomicFile moved;
    if (moved.open(requested, error) != 0)
        return -1;
    const int in = ::open(impl.temporary.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (in < 0) {
        error = impl.target + ": " + SystemMessage(errno);
        return -1;
    }
    std::vector<char> block(std::size_t{1} << 16);
    ssize_t got = 0;
    while ((got = ::read(in, block.data(), block.size())) > 0 || (got < 0 && errno == EINTR)) {
        if (got > 0)
            moved.stream().write(block.data(), got);
    }
    const int failure = got < 0 ? errno : 0;
    ::close(in);
    if (failure != 0) {
        error = impl.target + ": " + SystemMessage(failure);
        return -1;
    }
    // The stream stays the one callers hold, now onto the new temporary;
    // `moved` abandons the first one.
    Impl& other = *moved.m_impl;
    std::swap(impl.target, other.target);
    std::swap(impl.temporary, other.temporary);
    std::swap(impl.fd, other.fd);
    std::swap(impl.slot, other.slot);
    std::swap(impl.createdMode, other.createdMode);
    std::swap(impl.buffer, other.buffer);
    impl.stream.rdbuf(impl.buffer.get());
    other.stream.rdbuf(other.buffer.get());
    return 0;
}

void AtomicFile::abandon()
{
    Impl& impl = *m_impl;
    if (impl.fd >= 0)
        ::close(impl.fd);
    impl.fd = -1;
    impl.removeTemporary();
    impl.direct = false;
    impl.prepared = false;
    impl.stream.rdbuf(nullptr);
    impl.buffer.reset();
}

}  // namespace larkspur::platform
