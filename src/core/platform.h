// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// The one place where Larkspur talks to the operating system. Everything
// above this header (walker, writers, project file) is plain C++ and sees
// folders, entries and files only through these types.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <streambuf>
#include <string>
#include <string_view>
#include <vector>

namespace larkspur::platform {

enum class EntryKind : std::uint8_t { File, Directory, Other };

// Identity of a folder on disk, used to notice a link that leads back into a
// folder that is already being listed.
struct FolderId {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool operator==(const FolderId&) const = default;
};

// One entry of a folder listing, with the status of what it names. A link
// is followed only when it belongs to a trusted owner (below): a link that
// someone else planted must not lead the walk into folders only the running
// user may read. Any other link comes with kind Other. An entry that is no
// link costs a single status call.
struct DirEntry {
    std::uint32_t nameOffset = 0;  // in the names of its listing
    std::uint16_t nameLength = 0;
    EntryKind kind = EntryKind::Other;
    bool isLink = false;     // the fields below then describe the link's target
    std::uint64_t size = 0;
    std::int64_t mtime = 0;  // seconds since 1970-01-01 UTC
    FolderId id;             // meaningful for directories only
    std::uint32_t linkOwner = 0;
};

// A folder's entries, their names in one block rather than one string each.
struct Listing {
    std::vector<DirEntry> entries;
    std::string names;

    std::string_view name(const DirEntry& entry) const { return {names.data() + entry.nameOffset, entry.nameLength}; }
};

// The running user and root: the owners whose links are followed.
bool IsTrustedOwner(std::uint32_t user);

// An open folder. Children are opened relative to it, so a tree deeper than
// the system's path limit can still be walked.
class Folder {
public:
    Folder() = default;
    ~Folder();
    Folder(Folder&& other) noexcept;
    Folder& operator=(Folder&& other) noexcept;
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;

    // 0 on success, -1 with a system message in `error`.
    int open(const std::string& path, std::string& error);
    // `errorNumber`, when given, receives the system's error code on failure.
    // Without `followLink` a link in the child's place is not opened (ELOOP).
    int openChild(const std::string& name, Folder& child, std::string& error,
                  int* errorNumber = nullptr, bool followLink = true) const;
    // The folder that holds this one (not the folder of a link that led
    // here): the way back up when a deep walk had to let go of it.
    int openParent(Folder& parent, std::string& error) const;

    // Every entry except "." and "..", in the order the system returns them.
    // Entries whose status cannot be read (dangling link, removed meanwhile)
    // are left out.
    // `errorNumber` as for openChild. Where the listing itself tells what an
    // entry is, a plain file whose name `statFile` refuses, and a pipe,
    // socket or device, cost no status call: their size and time read 0.
    int list(Listing& listing, std::string& error, int* errorNumber = nullptr,
             const std::function<bool(std::string_view name)>* statFile = nullptr) const;

    // Status of the folder itself.
    int stat(DirEntry& self, std::string& error) const;

    bool isOpen() const { return m_handle >= 0; }

private:
    int m_handle = -1;
};

// A walk holds one open folder per level as far as it can: lets the process
// have as many open files as the system allows it. Does its work on the
// first call only.
void RaiseOpenFileLimit();
// How many files the process may have open now.
std::size_t OpenFileLimit();
// The processors this process may run on (at least 1).
unsigned ProcessorCount();

bool IsDirectory(const std::string& path);
// 0 when `path` names a folder (links followed), else the system's error
// number of why not: ENOENT, ENOTDIR, EACCES, ...
int FolderError(const std::string& path);
bool Exists(const std::string& path);
// Absolute path with "." and ".." resolved; -1 when the path does not exist.
int CanonicalPath(const std::string& path, std::string& out, std::string& error);
std::string SystemMessage(int errorNumber);

// Joins a folder and a name with exactly one separator between them.
std::string JoinPath(const std::string& folder, const std::string& name);
// The last component of a path.
std::string FileName(const std::string& path);

// What writing `path` would replace. A link is followed only when it, and
// every link it leads through, belongs to the running user or to root, and
// it ends at a regular file of the running user (or at a device or a pipe):
// another user cannot plant a link that makes Larkspur overwrite a file of
// ours. Any other link is refused with a message naming it and saying why.
// A name of one of our open descriptors (OpenDescriptorNamed) is Special
// and reached through a link, whatever the descriptor leads to.
enum class TargetKind : std::uint8_t { New, Regular, Special };
struct WriteTarget {
    std::string path;  // where the file goes: `path`, or the file a followed link leads to
    TargetKind kind = TargetKind::New;
    // The permissions a replacement keeps (a file of the running user's,
    // without set-id bits or write for all); -1: those of a new file.
    int mode = -1;
    bool throughLink = false;
};
int ResolveWriteTarget(const std::string& path, WriteTarget& target, std::string& error);

// The open descriptor of this process that `path` names: /dev/stdout,
// /dev/stderr, /dev/fd/N, /proc/self/fd/N (or /proc/PID/fd/N of this
// process), open for writing; -1 for any other name. Opening such a name
// anew would start a file that standard output was redirected to from its
// beginning again, or replace it; the descriptor itself writes where the
// shell left it, as "-" does.
int OpenDescriptorNamed(const std::string& path);

// Removes a file or a link, never a folder; 0 or -1.
int RemoveFile(const std::string& path);

// Writes a file through a temporary file beside the target and renames it
// over the target on commit, so the target is either the old or the complete
// new file, never a half-written one. A target that is a device or a pipe is
// written into directly instead, as cp does.
class AtomicFile {
public:
    AtomicFile();
    ~AtomicFile();  // abandons an uncommitted file
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Applies the rule of ResolveWriteTarget. A device or a pipe is written
    // into with `writeIntoDevices` (an output the user named); otherwise it
    // is replaced when it stands in the target's place, and refused behind a
    // link. With `writeIntoDevices` a name of one of our open descriptors
    // (OpenDescriptorNamed) is written through that descriptor, whatever it
    // leads to.
    int open(const std::string& target, std::string& error, bool writeIntoDevices = false);
    // True when the target is a device or a pipe, written as it goes.
    bool direct() const;
    std::ostream& stream();
    // Flushes, syncs and closes the temporary file without renaming it, so
    // every write error shows here; on failure the temporary file is removed.
    // Lets several files be completed before any of them replaces its target.
    int prepare(std::string& error);
    // Prepares (unless done) and renames; on any failure the temporary file
    // is removed and the target left as it was.
    int commit(std::string& error);
    // Before prepare: the file goes to `target` instead, under the same
    // rules as open(). The temporary stays where it is when the new target
    // lies in its folder; elsewhere (a link to another folder) what was
    // written so far is copied to a temporary beside the new target.
    int retarget(const std::string& target, std::string& error);
    void abandon();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

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

// For the programs' main(): a file size limit becomes a write error
// ("File too large") instead of ending the process, and an interrupt,
// termination or hang-up first removes the temporary files of AtomicFiles
// still open, then ends the process by that signal as it would have.
void HandleInterruptions();

// Standard output written straight to its descriptor; unlike the buffer of
// std::cout it keeps the system's reason when a write fails.
std::unique_ptr<std::streambuf> StandardOutputBuffer();
// The system's error number of the first failed write through `out` when
// its buffer is one of this layer's, else 0.
int WriteError(const std::ostream& out);


// Reads a whole file, or no more than its first `limit` bytes; -1 with a
// message when it cannot be read.
int ReadFile(const std::string& path, std::string& contents, std::string& error,
             std::size_t limit = static_cast<std::size_t>(-1));

}  // namespace larkspur::platform
