// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include "tree.h"

#include <algorithm>

#include "text/text.h"

namespace larkspur {

namespace {

constexpr std::size_t kExtensionMax = 15;

bool IsContinuationByte(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Cut to kExtensionMax bytes, and before a UTF-8 character the cut would
// split, so that a statistics line stays valid text. A name that is not
// UTF-8 is cut at the byte.
std::string_view CutExtension(std::string_view extension)
{
    if (extension.size() <= kExtensionMax || !IsContinuationByte(extension[kExtensionMax]))
        return extension.substr(0, kExtensionMax);
    std::size_t lead = kExtensionMax;
    while (lead > kExtensionMax - 3 && IsContinuationByte(extension[lead - 1]))
        --lead;
    --lead;
    const auto first = static_cast<unsigned char>(extension[lead]);
    const std::size_t length = first >= 0xF0 ? 4 : first >= 0xE0 ? 3 : first >= 0xC0 ? 2 : 1;
    return extension.substr(0, lead + length > kExtensionMax && first >= 0xC0 ? lead : kExtensionMax);
}

}  // namespace

std::string_view Extension(std::string_view name)
{
    const auto dot = name.rfind('.');
    if (dot == std::string_view::npos)
        return {};
    return CutExtension(name.substr(dot));
}

void PathSegments(const FileEntry& entry, std::vector<std::string_view>& segments)
{
    segments.clear();
    for (const FileEntry* e = &entry; e && e->parent; e = e->parent)
        segments.push_back(e->name());
    std::reverse(segments.begin(), segments.end());
}

std::string RelativePath(const FileEntry& entry)
{
    if (!entry.parent)
        return "/.";
    std::vector<std::string_view> segments;
    PathSegments(entry, segments);
    std::string path;
    for (const std::string_view segment : segments) {
        path += '/';
        path += segment;
    }
    return path;
}

std::string_view ScanTree::keepName(std::string_view name)
{
    // Blocks are filled, never grown: the names already kept stay where
    // their entries point.
    constexpr std::size_t kBlock = std::size_t{64} << 10;
    if (names.empty() || names.back().capacity() - names.back().size() < name.size())
        names.emplace_back().reserve(std::max(kBlock, name.size()));
    std::string& block = names.back();
    const std::size_t at = block.size();
    block.append(name);
    return {block.data() + at, name.size()};
}

std::string ScanTree::fullPath(const FileEntry& entry) const
{
    if (!entry.parent)
        return root;
    std::string relative = RelativePath(entry);
    if (!root.empty() && root.back() == '/')
        relative.erase(0, 1);
    return root + relative;
}

void ScanTree::clear()
{
    walked = false;
    root.clear();
    base.clear();
    skippedLinks = 0;
    skippedVersionControl = 0;
    std::deque<FileEntry>().swap(entries);
    std::vector<std::string>().swap(names);
}

int EnumerateTree(const ScanTree& tree, Visitor visitor, void* context)
{
    if (!tree.walked || !visitor)
        return -1;
    for (const FileEntry& entry : tree.entries) {
        if (visitor(entry, context) != 0)
            return -1;
    }
    return 0;
}

bool IsPageExtension(std::string_view extension)
{
    return EqualsIgnoringCase(extension, ".html") || EqualsIgnoringCase(extension, ".htm");
}

}  // namespace larkspur
