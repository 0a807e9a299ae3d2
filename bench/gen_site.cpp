// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// Writes a synthetic static site for the benchmark. The same arguments give
// the same tree, byte for byte, on every machine:
//   - PAGES .html/.htm pages, plus 30 % other files (css, js, images, ...);
//   - folders of about 50 entries (45 files, 5 subfolders), filled level by
//     level: 6 deep up to 615,227 pages, at most 8 (20 million pages);
//   - 2 % of the files empty;
//   - now and then a name with spaces, "&", ",", "%", "'", "#" or non-ASCII
//     letters, as real sites have;
//   - fixed last-write times.
//
// usage: gen_site FOLDER PAGES
//
// With --deep, a chain of LEVELS folders named "d" instead, with one page at
// its bottom, below the system's path limit (made relative to open folders):
//        gen_site --deep FOLDER LEVELS
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kFilesPerFolder = 45;
constexpr int kSubfoldersPerFolder = 5;
constexpr int kMaxDepth = 8;
constexpr std::int64_t kFirstTime = 1500000000;  // July 2017

struct Folder {
    std::string path;
    int depth;
};

const char* const kOddPageNames[] = {
    "About us %lld",     "R&D notes %lld",  "a,b %lld",     "100%% done %lld",
    "what's new %lld",   "#hash %lld",      "caf\xC3\xA9 %lld", "\xE6\x97\xA5\xE6\x9C\xAC %lld",
};
const char* const kOtherExtensions[] = {".css", ".js", ".png", ".jpg", ".json", ".txt", ".pdf", ""};

void Fail(const std::string& what)
{
    std::fprintf(stderr, "gen_site: %s: %s\n", what.c_str(), std::strerror(errno));
    std::exit(1);
}

void MakeFolder(const std::string& path)
{
    if (::mkdir(path.c_str(), 0755) != 0 && errno != EEXIST)
        Fail(path);
}

void WriteFile(const std::string& path, const std::string& content, std::int64_t mtime)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        Fail(path);
    if (!content.empty() && ::write(fd, content.data(), content.size()) != static_cast<ssize_t>(content.size()))
        Fail(path);
    const struct timespec times[2] = {{mtime, 0}, {mtime, 0}};
    if (::futimens(fd, times) != 0)
        Fail(path);
    ::close(fd);
}

int MakeChain(const std::string& root, long long levels)
{
    std::error_code error;
    std::filesystem::create_directories(root, error);
    int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (long long i = 0; i < levels && fd >= 0; ++i) {
        if (::mkdirat(fd, "d", 0755) != 0 && errno != EEXIST)
            Fail("level " + std::to_string(i));
        const int next = ::openat(fd, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        fd = next;
    }
    if (fd < 0)
        Fail(root);
    const int page = ::openat(fd, "p.html", O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (page < 0 || ::write(page, "<p>deep</p>\n", 12) != 12)
        Fail("the page");
    ::close(page);
    ::close(fd);
    std::printf("%lld nested folders, 1 page at the bottom\n", levels);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[1], "--deep") == 0)
        return MakeChain(argv[2], std::atoll(argv[3]));
    if (argc != 3) {
        std::fprintf(stderr, "usage: gen_site FOLDER PAGES\n       gen_site --deep FOLDER LEVELS\n");
        return 2;
    }
    const std::string root = argv[1];
    const long long pages = std::atoll(argv[2]);
    // 30 % of all files are not pages: files = pages / 0.7.
    const long long files = (pages * 10 + 6) / 7;

    const long long foldersNeeded = (files + kFilesPerFolder - 1) / kFilesPerFolder;

    std::error_code error;
    std::filesystem::create_directories(root, error);
    MakeFolder(root);
    std::deque<Folder> queue{{root, 0}};
    long long folderCount = 1;
    long long fileIndex = 0;
    long long pageCount = 0;
    long long emptyCount = 0;
    char name[256];
    while (fileIndex < files && !queue.empty()) {
        const Folder folder = queue.front();
        queue.pop_front();
        for (int k = 0; k < kFilesPerFolder && fileIndex < files; ++k, ++fileIndex) {
            const long long i = fileIndex;
            // Files 2, 5 and 8 of every ten are not pages.
            const bool makePage = i % 10 != 2 && i % 10 != 5 && i % 10 != 8 && pageCount < pages;
            if (makePage) {
                ++pageCount;
                const char* extension = i % 13 == 0 ? ".htm" : ".html";
                if (i % 41 == 0)
                    std::snprintf(name, sizeof name, kOddPageNames[(i / 41) % 8], i);
                else
                    std::snprintf(name, sizeof name, "page-%lld", i);
                std::strcat(name, extension);
            } else {
                std::snprintf(name, sizeof name, "asset-%lld%s", i, kOtherExtensions[i % 8]);
            }
            const bool empty = i % 50 == 7;
            emptyCount += empty;
            std::string content;
            if (!empty) {
                content = makePage ? "<!doctype html><title>" + std::to_string(i) + "</title><p>page</p>\n"
                                   : "asset " + std::to_string(i) + "\n";
            }
            WriteFile(folder.path + "/" + name, content, kFirstTime + i * 97);
        }
        if (folder.depth < kMaxDepth) {
            for (int s = 0; s < kSubfoldersPerFolder && folderCount < foldersNeeded; ++s) {
                const long long n = folderCount++;
                if (n % 11 == 0)
                    std::snprintf(name, sizeof name, "docs & notes %lld", n);
                else
                    std::snprintf(name, sizeof name, "section-%lld", n);
                const std::string path = folder.path + "/" + name;
                MakeFolder(path);
                queue.push_back({path, folder.depth + 1});
            }
        }
    }
    std::printf("%lld files (%lld pages, %lld empty) in %lld folders\n", fileIndex, pageCount, emptyCount,
                folderCount);
    return fileIndex == files ? 0 : 1;
}
