// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// Helpers of the hostile-input and system-failure tests: child processes
// (to drop privileges, lower limits or be killed), folders deeper than the
// system's path limit, and checks that a URL is valid and names its file.
#pragma once

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace larkspur::test {

// ----- Child processes

struct ChildOutcome {
    bool exited = false;  // normally, with `status`
    int status = -1;
    int signal = 0;       // the signal that ended it, when not exited
    std::string output;   // what the body returned
};

// The exit status of a child that could not give up root.
constexpr int kCannotDropPrivileges = 77;
// The user and group "nobody".
constexpr uid_t kNobody = 65534;

inline bool IsRoot()
{
    return ::geteuid() == 0;
}

// Runs `body` in a forked child and hands back the text it returned. With
// `dropPrivileges`, a child running as root first becomes "nobody", so that
// permission bits apply to it. The child never returns into the test.
inline ChildOutcome RunInChild(const std::function<std::string()>& body, bool dropPrivileges = false)
{
    ChildOutcome outcome;
    int fds[2];
    if (::pipe(fds) != 0)
        return outcome;
    std::fflush(nullptr);  // nothing buffered gets written twice
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        return outcome;
    }
    if (pid == 0) {
        ::close(fds[0]);
        if (dropPrivileges && IsRoot()) {
            if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0
                || ::geteuid() == 0)
                ::_exit(kCannotDropPrivileges);
        }
        const std::string text = body();
        std::size_t done = 0;
        while (done < text.size()) {
            const ssize_t n = ::write(fds[1], text.data() + done, text.size() - done);
            if (n <= 0)
                break;
            done += static_cast<std::size_t>(n);
        }
        ::close(fds[1]);
        ::_exit(0);
    }
    ::close(fds[1]);
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        outcome.output.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fds[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status)) {
        outcome.exited = true;
        outcome.status = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        outcome.signal = WTERMSIG(status);
    }
    return outcome;
}

// ----- Folders deeper than PATH_MAX: made and removed relative to open folders

// Creates the chain of folders `names` under `root`; the descriptor of the
// last one, or -1.
inline int MakeDeepFolders(const std::string& root, const std::vector<std::string>& names)
{
    int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (const std::string& name : names) {
        if (fd < 0)
            return -1;
        if (::mkdirat(fd, name.c_str(), 0755) != 0 && errno != EEXIST) {
            ::close(fd);
            return -1;
        }
        const int next = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        fd = next;
    }
    return fd;
}

// Removes `name` inside the folder `parent` with everything below it,
// however deep: one folder open at a time, climbing back up through "..".
inline void RemoveAt(int parent, const char* name)
{
    struct stat st;
    if (::fstatat(parent, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return;
    if (!S_ISDIR(st.st_mode)) {
        ::unlinkat(parent, name, 0);
        return;
    }
    ::fchmodat(parent, name, 0755, 0);
    int fd = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
    std::vector<std::string> below;  // folder names from `name` down to fd
    while (fd >= 0) {
        std::string folder;
        const int listing = ::dup(fd);
        if (DIR* dir = listing >= 0 ? ::fdopendir(listing) : nullptr) {
            while (const dirent* d = ::readdir(dir)) {
                if (std::strcmp(d->d_name, ".") == 0 || std::strcmp(d->d_name, "..") == 0)
                    continue;
                if (::fstatat(fd, d->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode))
                    folder = d->d_name;
                else
                    ::unlinkat(fd, d->d_name, 0);
            }
            ::closedir(dir);
        }
        if (!folder.empty()) {
            ::fchmodat(fd, folder.c_str(), 0755, 0);
            const int next = ::openat(fd, folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
            ::close(fd);
            fd = next;
            below.push_back(folder);
            continue;
        }
        if (below.empty()) {
            ::close(fd);
            break;
        }
        const int up = ::openat(fd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        fd = up >= 0 && ::unlinkat(up, below.back().c_str(), AT_REMOVEDIR) == 0 ? up : -1;
        if (fd < 0 && up >= 0)
            ::close(up);
        below.pop_back();
    }
    ::unlinkat(parent, name, AT_REMOVEDIR);
}

inline void RemoveTree(const std::string& path)
{
    RemoveAt(AT_FDCWD, path.c_str());
}

// ----- URLs

// RFC 3986: unreserved and reserved characters, and "%" before two hex
// digits; nothing else (no space, no control byte, no byte from 0x80).
inline bool IsValidUrlText(std::string_view url)
{
    auto hex = [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
    };
    for (std::size_t i = 0; i < url.size(); ++i) {
        const char c = url[i];
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))
            continue;
        if (std::string_view("-._~:/?#[]@!$&'()*+,;=").find(c) != std::string_view::npos)
            continue;
        if (c == '%' && i + 2 < url.size() && hex(url[i + 1]) && hex(url[i + 2])) {
            i += 2;
            continue;
        }
        return false;
    }
    return !url.empty();
}

inline std::string PercentDecode(std::string_view text)
{
    auto value = [](char c) {
        return c <= '9' ? c - '0' : (c >= 'a' ? c - 'a' + 10 : c - 'A' + 10);
    };
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            out += static_cast<char>(value(text[i + 1]) * 16 + value(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// The five predefined entities back into their characters.
inline std::string XmlUnescape(std::string_view text)
{
    static constexpr std::pair<std::string_view, char> kEntities[] = {
        {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&apos;", '\''}, {"&quot;", '"'}};
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        bool replaced = false;
        for (const auto& [entity, c] : kEntities) {
            if (text.substr(i, entity.size()) == entity) {
                out += c;
                i += entity.size();
                replaced = true;
                break;
            }
        }
        if (!replaced)
            out += text[i++];
    }
    return out;
}

// Splits text at CR LF; a CR or LF anywhere else is left inside a line, so
// a caller can see it.
inline std::vector<std::string> CrLfLines(std::string_view text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (;;) {
        const auto end = text.find("\r\n", start);
        if (end == std::string_view::npos) {
            if (start < text.size())
                lines.emplace_back(text.substr(start));
            return lines;
        }
        lines.emplace_back(text.substr(start, end - start));
        start = end + 2;
    }
}

inline bool HasControlByte(std::string_view text)
{
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F)
            return true;
    }
    return false;
}

}  // namespace larkspur::test
