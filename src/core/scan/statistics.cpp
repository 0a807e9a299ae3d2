// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include "statistics.h"

#include <algorithm>

#include "text/text.h"

namespace larkspur {

namespace {

// Groups are found by their extension with ASCII letters in upper case.
std::string GroupKey(std::string_view extension)
{
    std::string key(extension);
    for (char& c : key) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return key;
}

}  // namespace

int CountFiles(const FileEntry& entry, void* context)
{
    if (entry.isDirectory())
        return 0;
    auto& scan = *static_cast<ScanResult*>(context);
    ++scan.fileTotal;
    if (entry.empty())
        ++scan.emptyCount;
    const std::string_view extension = Extension(entry.name());
    const auto [at, added] = scan.groupIndex.try_emplace(GroupKey(extension), scan.groups.size());
    if (added)
        scan.groups.push_back({std::string(extension), 0});
    ++scan.groups[at->second].count;
    return 0;
}

void ReleaseScan(ScanResult& scan)
{
    scan.fileTotal = 0;
    scan.emptyCount = 0;
    std::vector<ExtensionGroup>().swap(scan.groups);
    std::unordered_map<std::string, std::size_t>().swap(scan.groupIndex);
    scan.tree.clear();
}

int WalkAndCount(ScanResult& scan, const std::string& root, WalkError* error, WalkProgress progress,
                 void* progressContext, const WalkSettings& settings)
{
    ReleaseScan(scan);
    if (WalkTree(scan.tree, root, {}, error, progress, progressContext, settings) != 0)
        return -1;
    EnumerateTree(scan.tree, CountFiles, &scan);  // a walked tree, and CountFiles never stops it
    return 0;
}

std::vector<StatLine> StatisticsLines(const ScanResult& scan, const std::vector<std::string>& pageExtensions)
{
    std::vector<StatLine> lines;
    lines.reserve(scan.groups.size() + 2);
    lines.push_back({"file totally: " + std::to_string(scan.fileTotal), false, false, {}});
    lines.push_back({"empty files: " + std::to_string(scan.emptyCount), false, false, {}});
    for (const ExtensionGroup& group : scan.groups) {
        // A file name may hold control bytes (a line break, say); shown as
        // "?", so that each statistic stays on one line.
        std::string shown = group.extension;
        for (char& c : shown) {
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
                c = '?';
        }
        const bool pages = std::any_of(pageExtensions.begin(), pageExtensions.end(), [&](const std::string& wanted) {
            return group.extension.size() == wanted.size() + 1 &&
                   EqualsIgnoringCase(std::string_view(group.extension).substr(1), wanted);
        });
        lines.push_back({shown + " files: " + std::to_string(group.count), pages, true,
                         group.extension.empty() ? std::string() : group.extension.substr(1)});
    }
    if (scan.tree.skippedVersionControl > 0)
        lines.push_back({"version-control folders left out: " + std::to_string(scan.tree.skippedVersionControl),
                         false, false, {}});
    return lines;
}

}  // namespace larkspur
