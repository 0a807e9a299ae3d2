// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// POSIX: paths, and what they name.
#include "paths.h"

#include <cerrno>
#include <cstdlib>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

bool ExistsNotAsLink(const std::string& path)
{
    struct stat st;
    return !path.empty() && ::lstat(path.c_str(), &st) == 0 && !S_ISLNK(st.st_mode);
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

namespace {

int ReadLinkText(int folder, const std::string& path, std::string& text)
{
    std::vector<char> buffer(256);
    for (;;) {
        const ssize_t n = ::readlinkat(folder, path.c_str(), buffer.data(), buffer.size());
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

LinkChain CheckLinkChain(int folder, const std::string& name)
{
    LinkChain chain;
    const auto fail = [&chain](int errorNumber) {
        chain.trusted = false;
        chain.errorNumber = errorNumber;
        return chain;
    };
    // `walked` holds no link of ours unresolved: each is replaced by its
    // text as met, so the system follows none of them again unchecked, and
    // its ".." (kept, not dropped) means what the system's would.
    std::string walked = FolderOf(name);
    std::string rest = name.substr(walked.size());
    std::size_t at = 0;
    int links = 0;
    while (at < rest.size()) {
        const auto slash = rest.find('/', at);
        const std::string part = rest.substr(at, slash == std::string::npos ? std::string::npos : slash - at);
        at = slash == std::string::npos ? rest.size() : slash + 1;
        if (part.empty() || part == ".")
            continue;
        const std::string hop = walked.empty() || walked.back() == '/' ? walked + part : walked + "/" + part;
        if (part == "..") {
            walked = hop;
            continue;
        }
        struct stat st;
        // Nothing there (or a text that is no path, as "pipe:[5]" behind
        // /proc/self/fd/1): the system follows no further link either.
        if (::fstatat(folder, hop.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            return errno == ENOENT || errno == ENOTDIR ? chain : fail(errno);
        if (!S_ISLNK(st.st_mode)) {
            walked = hop;
            continue;
        }
        if (!IsTrustedOwner(static_cast<std::uint32_t>(st.st_uid))) {
            chain.trusted = false;
            chain.foreignHop = hop;
            return chain;
        }
        std::string text;
        if (++links > 40)
            return fail(ELOOP);
        if (ReadLinkText(folder, hop, text) != 0)
            return fail(errno);
        if (!text.empty() && text[0] == '/')
            walked = "/";
        rest = text + "/" + rest.substr(at);
        at = 0;
    }
    return chain;
}

}  // namespace larkspur::platform
