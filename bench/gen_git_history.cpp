// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// Writes a `git fast-import` stream for the commit-date benchmark: a site of
// PAGES pages in site/ (50 per folder) beside a few files outside it, first
// committed together, then COMMITS - 1 commits a day apart that each change
// a few pages and now and then a file outside the site. Deterministic.
//
// usage: gen_git_history PAGES COMMITS | git fast-import --quiet
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::uint64_t g_state = 0x9E3779B97F4A7C15ull;

std::uint64_t Next()
{
    g_state = g_state * 6364136223846793005ull + 1442695040888963407ull;
    return g_state >> 33;
}

std::string PagePath(long page)
{
    return "site/f" + std::to_string(page / 50) + "/page" + std::to_string(page) + ".html";
}

void Blob(const std::string& path, const std::string& content)
{
    std::printf("M 100644 inline %s\ndata %zu\n%s\n", path.c_str(), content.size(), content.c_str());
}

std::string Page(long page, long version)
{
    return "<!DOCTYPE html>\n<html><head><title>Page " + std::to_string(page) + "</title></head>\n<body><p>version " +
           std::to_string(version) + "</p></body></html>\n";
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: gen_git_history PAGES COMMITS\n");
        return 2;
    }
    const long pages = std::atol(argv[1]);
    const long commits = std::atol(argv[2]);
    constexpr std::int64_t kStart = 1500000000;  // July 2017
    for (long c = 0; c < commits; ++c) {
        const std::int64_t when = kStart + c * 86400;
        const std::string message = c == 0 ? "First version of the site" : "Edit pages, day " + std::to_string(c);
        std::printf("commit refs/heads/main\ncommitter Bench <bench@example.org> %lld +0000\ndata %zu\n%s\n",
                    static_cast<long long>(when), message.size(), message.c_str());
        if (c == 0) {
            for (long p = 0; p < pages; ++p)
                Blob(PagePath(p), Page(p, 0));
            for (int f = 0; f < 20; ++f)
                Blob("src/file" + std::to_string(f) + ".txt", "source 0\n");
        } else {
            const int changed = 1 + static_cast<int>(Next() % 8);
            for (int k = 0; k < changed; ++k) {
                const long p = static_cast<long>(Next() % static_cast<std::uint64_t>(pages));
                Blob(PagePath(p), Page(p, c));
            }
            if (c % 5 == 0)
                Blob("src/file" + std::to_string(Next() % 20) + ".txt", "source " + std::to_string(c) + "\n");
        }
        std::printf("\n");
    }
    return 0;
}
