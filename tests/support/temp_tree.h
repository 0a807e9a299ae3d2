// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// Temporary folders and files for tests: each TempTree is a fresh folder
// under the system's temporary directory, removed with everything in it.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <sys/stat.h>
#include <utime.h>

namespace larkspur::test {

class TempTree {
public:
    // Under `base` when given, else under $TMPDIR or /tmp.
    explicit TempTree(const std::string& base = {})
    {
        const char* system = std::getenv("TMPDIR");
        std::string pattern = (!base.empty() ? base : std::string(system && *system ? system : "/tmp"))
                            + "/larkspur-test-XXXXXX";
        if (!::mkdtemp(pattern.data()))
            std::abort();
        m_root = pattern;
    }
    ~TempTree()
    {
        std::error_code ignored;
        ::chmod(m_root.c_str(), 0755);
        // Restore permissions a test may have taken away, then remove.
        for (auto it = std::filesystem::recursive_directory_iterator(
                 m_root, std::filesystem::directory_options::skip_permission_denied, ignored);
             it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
            if (it->is_directory(ignored) && !it->is_symlink(ignored))
                ::chmod(it->path().c_str(), 0755);
        }
        std::filesystem::remove_all(m_root, ignored);
    }
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    const std::string& root() const { return m_root; }
    std::string path(const std::string& relative) const { return m_root + "/" + relative; }

    // Writes a file, making its folders; `mtime` (seconds since 1970 UTC)
    // when not negative.
    std::string file(const std::string& relative, const std::string& content = "x",
                     std::int64_t mtime = -1) const
    {
        const std::string full = path(relative);
        std::filesystem::create_directories(std::filesystem::path(full).parent_path());
        std::ofstream(full, std::ios::binary) << content;
        if (mtime >= 0) {
            struct utimbuf times {static_cast<time_t>(mtime), static_cast<time_t>(mtime)};
            ::utime(full.c_str(), &times);
        }
        return full;
    }

    std::string folder(const std::string& relative) const
    {
        const std::string full = path(relative);
        std::filesystem::create_directories(full);
        return full;
    }

    std::string read(const std::string& relative) const
    {
        std::ifstream in(path(relative), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    bool exists(const std::string& relative) const
    {
        struct stat st;
        return ::lstat(path(relative).c_str(), &st) == 0;
    }

private:
    std::string m_root;
};

}  // namespace larkspur::test
