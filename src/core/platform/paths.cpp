// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// POSIX: paths, and what they name.
#include "paths.h"

#include <cerrno>
#include <cstdlib>

#include <sys/stat.h>

#include "system.h"

namespace larkspur::platform {

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

std::string FolderOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace larkspur::platform
