// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// POSIX implementation of the platform layer.
#include "platform.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <streambuf>
#include <string_view>

#include <dirent.h>
#include <sched.h>
#include <signal.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

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

std::string SystemMessage(int errorNumber)
{
    return std::strerror(errorNumber);
}

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

int Folder::openParent(Folder& parent, std::string& error) const
{
    Folder opened;
    opened.m_handle = OpenFolderAt(m_handle, "..", error, O_NOFOLLOW);
    if (opened.m_handle < 0)
        return -1;
    parent = std::move(opened);
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
        // The link itself first: its owner decides whether it is followed,
        // and a name that is no link needs no second call.
        struct stat st;
        if (::fstatat(m_handle, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;  // removed while we list
        DirEntry entry;
        if (S_ISLNK(st.st_mode)) {
            entry.isLink = true;
            entry.linkOwner = static_cast<std::uint32_t>(st.st_uid);
            if (IsTrustedOwner(entry.linkOwner)) {
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

unsigned ProcessorCount()
{
    // The processors of this process's affinity (taskset, a container's
    // cpuset), not all those the machine has.
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
        return static_cast<unsigned>(CPU_COUNT(&set));
    const long online = ::sysconf(_SC_NPROCESSORS_ONLN);
    return online > 0 ? static_cast<unsigned>(online) : 1;
}

bool IsTrustedOwner(std::uint32_t user)
{
    return user == 0 || user == static_cast<std::uint32_t>(::geteuid());
}

bool IsDirectory(const std::string& path)
{
    struct stat st;
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int FolderError(const std::string& path)
{
    struct stat st;
    if (path.empty())
        return ENOENT;
    if (::stat(path.c_str(), &st) != 0)
        return errno;
    return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

bool Exists(const std::string& path)
{
    struct stat st;
    return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

int CanonicalPath(const std::string& path, std::string& out, std::string& error)
{
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (!resolved) {
        error = SystemMessage(errno);
        return -1;
    }
    out = resolved;
    std::free(resolved);
    return 0;
}

std::string JoinPath(const std::string& folder, const std::string& name)
{
    if (folder.empty())
        return name;
    if (folder.back() == '/')
        return folder + name;
    return folder + '/' + name;
}

std::string FileName(const std::string& path)
{
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/')
        trimmed.pop_back();
    const auto slash = trimmed.rfind('/');
    return slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
}

// ----- AtomicFile

namespace {

// An output buffer straight onto a descriptor, so write errors (a full disk,
// a file size limit) are seen where they happen.
class DescriptorBuffer : public std::streambuf {
public:
    explicit DescriptorBuffer(int fd) : m_fd(fd), m_buffer(1 << 16)
    {
        setp(m_buffer.data(), m_buffer.data() + m_buffer.size());
    }
    int error() const { return m_error; }

protected:
    int_type overflow(int_type ch) override
    {
        if (drain() != 0)
            return traits_type::eof();
        if (!traits_type::eq_int_type(ch, traits_type::eof())) {
            *pptr() = traits_type::to_char_type(ch);
            pbump(1);
        }
        return traits_type::not_eof(ch);
    }
    int sync() override { return drain(); }

private:
    int drain()
    {
        const char* data = pbase();
        std::size_t left = static_cast<std::size_t>(pptr() - pbase());
        while (left > 0) {
            const ssize_t written = ::write(m_fd, data, left);
            if (written < 0) {
                if (errno == EINTR)
                    continue;
                m_error = errno;
                return -1;
            }
            data += written;
            left -= static_cast<std::size_t>(written);
        }
        setp(m_buffer.data(), m_buffer.data() + m_buffer.size());
        return 0;
    }

    int m_fd;
    std::vector<char> m_buffer;
    int m_error = 0;
};

}  // namespace

// ----- Links and targets of a write

namespace {

bool TrustedOwner(uid_t owner)
{
    return owner == ::geteuid() || owner == 0;
}

// The folder part of a path, with its trailing "/"; empty for a bare name.
std::string FolderOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

int ReadLinkText(const std::string& path, std::string& text)
{
    std::vector<char> buffer(256);
    for (;;) {
        const ssize_t n = ::readlink(path.c_str(), buffer.data(), buffer.size());
        if (n < 0)
            return -1;
        if (static_cast<std::size_t>(n) < buffer.size()) {
            text.assign(buffer.data(), static_cast<std::size_t>(n));
            return 0;
        }
        buffer.resize(buffer.size() * 2);
    }
}

}  // namespace

int OpenDescriptorNamed(const std::string& path)
{
    std::string_view rest = path;
    int number = -1;
    if (rest == "/dev/stdout") {
        number = STDOUT_FILENO;
    } else if (rest == "/dev/stderr") {
        number = STDERR_FILENO;
    } else {
        const std::string own = "/proc/" + std::to_string(::getpid()) + "/fd/";
        for (const std::string_view prefix : {std::string_view("/dev/fd/"), std::string_view("/proc/self/fd/"),
                                              std::string_view("/proc/thread-self/fd/"), std::string_view(own)}) {
            if (rest.starts_with(prefix)) {
                rest.remove_prefix(prefix.size());
                if (rest.empty() || rest.size() > 9 || rest.find_first_not_of("0123456789") != std::string_view::npos
                    || (rest.size() > 1 && rest[0] == '0'))
                    return -1;
                number = std::stoi(std::string(rest));
                break;
            }
        }
    }
    if (number < 0)
        return -1;
    const int flags = ::fcntl(number, F_GETFL);
    if (flags < 0 || (flags & O_ACCMODE) == O_RDONLY)
        return -1;
    return number;
}

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
        std::string hop = path;
        struct stat link = st;
        for (int hops = 0;; ++hops) {
            if (!TrustedOwner(link.st_uid))
                return refuse(hop == path ? "it belongs to another user"
                                          : "it leads through " + hop + ", a link of another user");
            if (hops == 40)
                return refuse(SystemMessage(ELOOP));
            std::string text;
            if (ReadLinkText(hop, text) != 0)
                return refuse(SystemMessage(errno));
            const std::string next = !text.empty() && text[0] == '/' ? text : FolderOf(hop) + text;
            // A target that is not a path (a pipe behind /proc/self/fd/1) ends the chain.
            if (::lstat(next.c_str(), &link) != 0 || !S_ISLNK(link.st_mode))
                break;
            hop = next;
        }
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
    if (st.st_uid == ::geteuid())
        target.mode = static_cast<int>(st.st_mode & 0775);
    return 0;
}

int RemoveFile(const std::string& path)
{
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
        return -1;
    return ::unlink(path.c_str());
}

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

extern "C" void RemoveTemporariesAndEnd(int signalNumber)
{
    for (auto& slot : g_temporaries) {
        if (const char* path = slot.load())
            ::unlink(path);
    }
    // The handler was installed with SA_RESETHAND: the signal, pending until
    // the handler returns, now ends the process with its usual status.
    ::raise(signalNumber);
}

}  // namespace

void HandleInterruptions()
{
    ::signal(SIGXFSZ, SIG_IGN);
    struct sigaction action {};
    action.sa_handler = RemoveTemporariesAndEnd;
    action.sa_flags = SA_RESETHAND;
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
    if (!impl.stream || impl.buffer->error() != 0)
        failure = impl.buffer->error() ? impl.buffer->error() : EIO;
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
    if (!impl.stream || impl.buffer->error() != 0) {
        error = impl.target + ": " + SystemMessage(impl.buffer->error() ? impl.buffer->error() : EIO);
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

// ----- FileLock

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

int ReadFile(const std::string& path, std::string& contents, std::string& error, std::size_t limit)
{
    contents.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        error = path + ": " + SystemMessage(errno);
        return -1;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        error = path + ": " + SystemMessage(errno);
        ::close(fd);
        return -1;
    }
    if (!S_ISREG(st.st_mode)) {
        error = path + ": " + (S_ISDIR(st.st_mode) ? SystemMessage(EISDIR) : "not a regular file");
        ::close(fd);
        return -1;
    }
    char chunk[1 << 16];
    while (contents.size() < limit) {
        const ssize_t got = ::read(fd, chunk, std::min(sizeof chunk, limit - contents.size()));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            error = path + ": " + SystemMessage(errno);
            ::close(fd);
            return -1;
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

std::unique_ptr<std::streambuf> StandardOutputBuffer()
{
    return std::make_unique<DescriptorBuffer>(STDOUT_FILENO);
}

int WriteError(const std::ostream& out)
{
    const auto* buffer = dynamic_cast<const DescriptorBuffer*>(out.rdbuf());
    return buffer ? buffer->error() : 0;
}

}  // namespace larkspur::platform
