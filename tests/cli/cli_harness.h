// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// Runs larkspur-cli as a user would: a separate process with a home folder of
// its own, so the real settings of whoever runs the tests are never read or
// touched. Each Sandbox is a fresh temporary folder holding that home, the
// sites, working directories and outputs of one test.
#pragma once

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>

#include "saving_image.h"
#include "temp_tree.h"

#ifndef LARKSPUR_CLI_PATH
#error "LARKSPUR_CLI_PATH must name the larkspur-cli binary"
#endif

namespace larkspur::clitest {

namespace fs = std::filesystem;
using namespace larkspur::test;

// The account the CLI runs as when a test needs permissions to matter and the
// tests themselves run as root (who may read any folder).
constexpr uid_t kUnprivilegedId = 65534;

struct RunResult {
    int status = -1;  // exit status; -1 when the process did not exit normally
    std::string out;
    std::string err;
};

inline std::ostream& operator<<(std::ostream& os, const RunResult& r)
{
    return os << "exit " << r.status << "\n--- stdout ---\n" << r.out << "--- stderr ---\n" << r.err;
}

struct RunOptions {
    std::string cwd;               // default: the sandbox root
    std::string stdoutPath;        // e.g. /dev/full; default: captured
    bool appendStdout = false;     // stdoutPath opened as ">>" does
    bool unprivileged = false;     // run as an ordinary user even when we are root
    bool withXdgConfigHome = true; // false: leave XDG_CONFIG_HOME unset
    std::vector<std::string> extraEnvironment;
    std::uint64_t fileSizeLimit = 0;  // bytes a file may grow to (ulimit -f); 0: no limit set
};

class Sandbox : public larkspur::test::TempTree {
public:
    Sandbox() { folder("home/.config"); }
    ~Sandbox()
    {
        std::error_code ignored;
        if (!m_binaryCopy.empty())
            fs::remove_all(fs::path(m_binaryCopy).parent_path(), ignored);
    }

    std::string home() const { return path("home"); }
    std::string configHome() const { return path("home/.config"); }

    // Everything below `relative`: each path with its kind, mode and, for a
    // file, its content. Two equal snapshots mean nothing was written.
    std::map<std::string, std::string> snapshot(const std::string& relative = "") const
    {
        std::map<std::string, std::string> result;
        const fs::path top = relative.empty() ? fs::path(root()) : fs::path(path(relative));
        std::error_code ec;
        for (auto it = fs::recursive_directory_iterator(top, fs::directory_options::skip_permission_denied, ec);
             it != fs::recursive_directory_iterator(); it.increment(ec)) {
            struct stat st;
            if (::lstat(it->path().c_str(), &st) != 0)
                continue;
            std::string description = std::to_string(st.st_mode) + ":";
            if (S_ISREG(st.st_mode)) {
                std::ifstream in(it->path(), std::ios::binary);
                description.append(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
            }
            result[fs::relative(it->path(), top).string()] = description;
        }
        return result;
    }

    // Hands the whole sandbox to the unprivileged account, so that a CLI run
    // as that account meets the permissions a test sets.
    void giveToUnprivilegedUser() const
    {
        if (::geteuid() != 0)
            return;
        std::error_code ec;
        ::chown(root().c_str(), kUnprivilegedId, kUnprivilegedId);
        for (auto it = fs::recursive_directory_iterator(root(), ec); it != fs::recursive_directory_iterator();
             it.increment(ec))
            ::lchown(it->path().c_str(), kUnprivilegedId, kUnprivilegedId);
    }

    RunResult run(const std::vector<std::string>& args, const RunOptions& options = {}) const;

private:
    // The build folder may be closed to other users (a checkout under /root,
    // say): the unprivileged account runs a copy from a folder open to all.
    const std::string& binaryForUnprivilegedUser() const
    {
        if (m_binaryCopy.empty()) {
            const char* base = std::getenv("TMPDIR");
            std::string pattern = std::string(base && *base ? base : "/tmp") + "/larkspur-cli-bin-XXXXXX";
            if (!::mkdtemp(pattern.data()))
                std::abort();
            ::chmod(pattern.c_str(), 0755);
            const std::string copy = pattern + "/larkspur-cli";
            std::error_code ec;
            fs::copy_file(LARKSPUR_CLI_PATH, copy, ec);
            ::chmod(copy.c_str(), 0755);
            m_binaryCopy = copy;
        }
        return m_binaryCopy;
    }

    mutable std::string m_binaryCopy;
};

namespace detail {

inline void DrainPipes(int outFd, int errFd, RunResult& result)
{
    pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    int open = 2;
    char buffer[1 << 15];
    while (open > 0) {
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                sinks[i]->append(buffer, static_cast<std::size_t>(got));
            } else if (got == 0 || errno != EINTR) {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
}

}  // namespace detail

inline RunResult Sandbox::run(const std::vector<std::string>& args, const RunOptions& options) const
{
    std::vector<std::string> environment = {
        "PATH=/usr/local/bin:/usr/bin:/bin",
        "HOME=" + home(),
        "LC_ALL=C.UTF-8",
        "TZ=UTC",
    };
    if (options.withXdgConfigHome)
        environment.push_back("XDG_CONFIG_HOME=" + configHome());
    for (const std::string& extra : options.extraEnvironment)
        environment.push_back(extra);

    const bool dropPrivileges = options.unprivileged && ::geteuid() == 0;
    std::vector<std::string> argvText = {dropPrivileges ? binaryForUnprivilegedUser() : LARKSPUR_CLI_PATH};
    argvText.insert(argvText.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : argvText)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& e : environment)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    const std::string cwd = options.cwd.empty() ? root() : options.cwd;

    int outPipe[2], errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(errPipe, O_CLOEXEC) != 0)
        std::abort();
    const pid_t pid = ::fork();
    if (pid < 0)
        std::abort();
    if (pid == 0) {
        // Only async-signal-safe calls from here to exec.
        int out = outPipe[1];
        if (!options.stdoutPath.empty()) {
            out = ::open(options.stdoutPath.c_str(), O_WRONLY | (options.appendStdout ? O_APPEND : 0));
            if (out < 0)
                ::_exit(126);
        }
        ::dup2(out, STDOUT_FILENO);
        ::dup2(errPipe[1], STDERR_FILENO);
        const int devNull = ::open("/dev/null", O_RDONLY);
        ::dup2(devNull, STDIN_FILENO);
        if (::chdir(cwd.c_str()) != 0)
            ::_exit(126);
        if (options.fileSizeLimit > 0) {
            const rlimit limit{options.fileSizeLimit, options.fileSizeLimit};
            if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
                ::_exit(126);
        }
        if (dropPrivileges) {
            if (::setgroups(0, nullptr) != 0 || ::setgid(kUnprivilegedId) != 0 || ::setuid(kUnprivilegedId) != 0)
                ::_exit(126);
        }
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    RunResult result;
    detail::DrainPipes(outPipe[0], errPipe[0], result);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

inline std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const auto end = text.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// 7 March 2006, 12:00 UTC, and the last second of 31 December 1999 UTC.
constexpr std::int64_t k2006March7 = 1141732800;
constexpr std::int64_t k1999LastSecond = 946684799;

}  // namespace larkspur::clitest
