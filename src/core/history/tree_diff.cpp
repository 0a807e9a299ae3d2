// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include "history/tree_diff.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace larkspur::history {

namespace {

// git's order of entries: by name, a folder's name as if "/" followed it.
int CompareEntries(const Entry& a, const Entry& b)
{
    const std::size_t common = std::min(a.name.size(), b.name.size());
    if (const int order = std::memcmp(a.name.data(), b.name.data(), common))
        return order;
    const auto next = [common](const Entry& e) -> unsigned char {
        return common < e.name.size() ? static_cast<unsigned char>(e.name[common]) : e.folder() ? '/' : '\0';
    };
    const unsigned char x = next(a);
    const unsigned char y = next(b);
    return x < y ? -1 : x > y ? 1 : 0;
}

// How many bytes at `a` and `b` are the same, at most `size`.
std::size_t SameBytes(const char* a, const char* b, std::size_t size)
{
    std::size_t same = 0;
    for (std::uint64_t x, y; same + sizeof x <= size; same += sizeof x) {
        std::memcpy(&x, a + same, sizeof x);
        std::memcpy(&y, b + same, sizeof y);
        if (x != y)
            break;
    }
    while (same < size && a[same] == b[same])
        ++same;
    return same;
}

// The length of the whole entries among the first `size` bytes at `at`:
// the first NUL after an entry's start ends its name, its id follows.
std::size_t WholeEntries(const char* at, std::size_t size)
{
    std::size_t length = 0;
    while (const void* nul = std::memchr(at + length, '\0', size - length)) {
        const std::size_t end = static_cast<std::size_t>(static_cast<const char*>(nul) - at) + 1 + GIT_OID_RAWSZ;
        if (end > size)
            break;
        length = end;
    }
    return length;
}

}  // namespace

int ChangedPages(Trees& trees, const Wanted& wanted, const SiteTree& before, const SiteTree& after,
                 std::vector<std::size_t>& changed)
{
    changed.clear();
    if (before.has_value() == after.has_value() && (!before || git_oid_equal(&*before, &*after)))
        return 0;
    struct Side {
        Entries entries;
        Entry entry;
        const char* start = nullptr;  // of the entry
        bool has = false;

        int open(Trees& trees, const git_oid* id)
        {
            if (!id)
                return 0;
            git_odb_object* tree = trees.get(*id);
            if (!tree)
                return -1;
            entries = Entries(tree);
            return advance();
        }
        int advance()
        {
            start = entries.at();
            has = entries.next(entry);
            return entries.bad() ? -1 : 0;
        }
    };
    struct Folder {
        Side before;
        Side after;
        std::size_t pathLength;
    };
    std::vector<Folder> stack;
    stack.push_back(Folder{{}, {}, 0});
    if (stack.back().before.open(trees, before ? &*before : nullptr) != 0 ||
        stack.back().after.open(trees, after ? &*after : nullptr) != 0)
        return -1;
    std::string path;
    while (!stack.empty()) {
        Folder& folder = stack.back();
        if (!folder.before.has && !folder.after.has) {
            path.resize(folder.pathLength);
            stack.pop_back();
            continue;
        }
        if (folder.before.has && folder.after.has) {
            // A run of entries stored alike, byte for byte, in both trees
            // (most of a folder from one commit to the next) is passed over
            // at once, without reading each entry.
            Side& x = folder.before;
            Side& y = folder.after;
            const std::size_t size = std::min(x.entries.end() - x.start, y.entries.end() - y.start);
            const std::size_t same = WholeEntries(x.start, SameBytes(x.start, y.start, size));
            if (same > 0) {
                x.entries.skipTo(x.start + same);
                y.entries.skipTo(y.start + same);
                if (x.advance() != 0 || y.advance() != 0)
                    return -1;
                continue;
            }
        }
        const int order = !folder.before.has  ? 1
                          : !folder.after.has ? -1
                                              : CompareEntries(folder.before.entry, folder.after.entry);
        Entry a, b;
        const bool hasA = order <= 0;
        const bool hasB = order >= 0;
        if (hasA) {
            a = folder.before.entry;
            if (folder.before.advance() != 0)
                return -1;
        }
        if (hasB) {
            b = folder.after.entry;
            if (folder.after.advance() != 0)
                return -1;
        }
        if (hasA && hasB && git_oid_equal(a.id, b.id) && a.filemode() == b.filemode())
            continue;
        // A file on either side is a change of that path; a folder on
        // either side, of the files below it.
        const std::size_t length = path.size();
        path += hasA ? a.name : b.name;
        const bool aTree = hasA && a.folder();
        const bool bTree = hasB && b.folder();
        if ((hasA && !aTree) || (hasB && !bTree)) {
            const auto page = wanted.pages.find(path);
            if (page != wanted.pages.end())
                changed.push_back(page->second);
        }
        if (!aTree && !bTree) {
            path.resize(length);
            continue;
        }
        path += '/';
        if (!wanted.holdsAny(path)) {
            path.resize(length);
            continue;
        }
        Folder inside{{}, {}, length};
        if (inside.before.open(trees, aTree ? a.id : nullptr) != 0 ||
            inside.after.open(trees, bTree ? b.id : nullptr) != 0)
            return -1;
        stack.push_back(std::move(inside));
    }
    return 0;
}

}  // namespace larkspur::history
