// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// What the parts of the check share: the site being checked, the URLs read
// and how they are compared.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <thread>
#include <type_traits>
#include <unordered_set>
#include <variant>
#include <vector>

#include "check/check.h"
#include "check/site_files.h"
#include "check/sitemap_file.h"
#include "robots/rules.h"
#include "sitemap/url.h"
#include "text/text.h"

namespace larkspur::check_detail {

// URLs as they are compared with each other: scheme and host in any case
// are one. The set holds views of the URLs read, not copies.
inline std::size_t HostEnd(std::string_view url)
{
    return std::min(url.find_first_of("/?#", HttpSchemeEnd(url)), url.size());
}

struct UrlKeyHash {
    std::size_t operator()(std::string_view url) const
    {
        const std::size_t hostEnd = HostEnd(url);
        std::size_t hash = 14695981039346656037ull;
        for (std::size_t i = 0; i < hostEnd; ++i)
            hash = (hash ^ static_cast<unsigned char>(ascii::Lower(url[i]))) * 1099511628211ull;
        return hash ^ std::hash<std::string_view>()(url.substr(hostEnd));
    }
};

struct UrlKeyEqual {
    bool operator()(std::string_view a, std::string_view b) const
    {
        const std::size_t hostEnd = HostEnd(a);
        return a.size() == b.size() && HostEnd(b) == hostEnd && a.substr(hostEnd) == b.substr(hostEnd)
               && EqualsIgnoringCase(a.substr(0, hostEnd), b.substr(0, hostEnd));
    }
};

// What the check of one site shares.
struct Checker {
    Checker(const ScanTree& t, const SitemapParameters& p, CheckReport& r)
        : tree(t), parameters(p), report(r), files(t)
    {
    }

    void add(CheckKind kind, std::string url, std::string detail)
    {
        report.findings.push_back({kind, std::move(url), std::move(detail)});
    }

    // The decoded path of `url` below the site's address; false when it is
    // not below it.
    bool below(std::string_view url, std::string& path) const
    {
        // Most URLs start with the site's address as it is written.
        if (url.starts_with(base) && url.find_first_of("?#", base.size()) == std::string_view::npos) {
            PercentDecode(url.substr(base.size()), path);
            return true;
        }
        UrlSplit split;
        if (!SplitHttpUrl(url, split) || split.origin != site.origin)
            return false;
        if (split.path + "/" == site.path) {
            path.clear();  // the site's own address without its final "/"
            return true;
        }
        if (!split.path.starts_with(site.path))
            return false;
        path = split.path.substr(site.path.size());
        return true;
    }

    const ScanTree& tree;
    const SitemapParameters& parameters;
    CheckReport& report;
    SiteFiles files;
    std::string base;
    UrlSplit site;
    RobotsRules robots;
    std::int64_t now = 0;
    // Every URL listed, once; views of the URLs in the list read.
    std::unordered_set<std::string_view, UrlKeyHash, UrlKeyEqual> listedUrls;
};

// A URL listed by a urlset, with the file that answers it.
struct Listed {
    SitemapLoc loc;
    const FileEntry* entry = nullptr;
};

// Runs `work(i)` for every i below `count`, `chunk` at a time, on a few
// threads: reading thousands of small files is mostly waiting for the
// system, and a large sitemap's parts are independent of each other. With
// a `State`, `work(i, state)` with the state of the thread that runs it.
template <typename State = std::monostate, typename Work>
void ParallelFor(std::size_t count, std::size_t chunk, const Work& work)
{
    const std::size_t threads = std::min<std::size_t>(std::clamp(std::thread::hardware_concurrency(), 1u, 4u),
                                                      (count + chunk - 1) / chunk);
    std::atomic<std::size_t> next{0};
    const auto run = [&] {
        [[maybe_unused]] State state;
        for (std::size_t first; (first = next.fetch_add(chunk)) < count;) {
            for (std::size_t i = first; i < std::min(first + chunk, count); ++i) {
                if constexpr (std::is_invocable_v<Work, std::size_t>)
                    work(i);
                else
                    work(i, state);
            }
        }
    };
    std::vector<std::thread> pool;
    for (std::size_t t = 1; t < threads; ++t)
        pool.emplace_back(run);
    run();
    for (std::thread& thread : pool)
        thread.join();
}

inline bool IsPage(const FileEntry& entry)
{
    return IsPageExtension(Extension(entry.name()));
}

}  // namespace larkspur::check_detail
