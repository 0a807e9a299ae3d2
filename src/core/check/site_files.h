// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// What a static server answers for a sitemap's URLs: the walked site's files
// by their URL paths.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "scan/scan.h"

namespace larkspur {

// An http(s) URL cut into its origin (scheme and host in lower case, a
// default port dropped) and its path (decoded, "/" when empty).
struct UrlSplit {
    std::string origin;
    std::string path;
};
bool SplitHttpUrl(std::string_view url, UrlSplit& split);

// The files of the walked tree as a static server finds them for a URL path.
class SiteFiles {
public:
    // An open-addressed table of the entries by folder and name, a third
    // of it free: no allocation per entry, and a probe reads the stored
    // hash before it reads an entry.
    explicit SiteFiles(const ScanTree& tree) : m_root(tree.rootEntry())
    {
        std::size_t size = 16;
        while (size < tree.entries.size() + tree.entries.size() / 2)
            size *= 2;
        m_slots.resize(size);
        for (const FileEntry& entry : tree.entries) {
            if (!entry.parent)
                continue;
            const std::size_t hash = Hash(entry.parent, entry.name());
            std::size_t at = hash & (size - 1);
            while (m_slots[at].entry)
                at = (at + 1) & (size - 1);
            m_slots[at] = {hash, &entry};
        }
    }

    // What answer() keeps from one call to the next: the last folder looked
    // up, by its path ending in "/". One for each thread that asks.
    struct Memo {
        bool set = false;
        std::string folderPath;
        const FileEntry* folder = nullptr;
        std::string name;
    };

    // The file that answers a decoded path below the site ("docs/a",
    // "docs/", ""), as nginx's `try_files $uri $uri.html $uri.htm $uri/`
    // with index.html and index.htm: a folder's URL without its "/" is
    // answered after the server's redirect.
    const FileEntry* answer(std::string_view path, Memo& memo) const
    {
        // URLs come folder by folder: the last folder found is kept.
        const std::size_t folderEnd = path.rfind('/') + 1;  // 0 for a name in the root
        if (!memo.set || path.substr(0, folderEnd) != memo.folderPath) {
            memo.folderPath.assign(path.substr(0, folderEnd));
            memo.folder = folder(memo.folderPath);
            memo.set = true;
        }
        const FileEntry* folder = memo.folder;
        path.remove_prefix(folderEnd);
        if (!folder)
            return nullptr;
        if (path.empty())
            return index(folder);
        const FileEntry* found = child(folder, path);
        if (found && !found->isDirectory())
            return found;
        for (const char* extension : {".html", ".htm"}) {
            memo.name.assign(path).append(extension);
            const FileEntry* page = child(folder, memo.name);
            if (page && !page->isDirectory())
                return page;
        }
        return found ? index(found) : nullptr;
    }
    // The same for one thread that asks.
    const FileEntry* answer(std::string_view path) const { return answer(path, m_memo); }
    // The first entry of that name in the folder; none when there is none.
    const FileEntry* named(const FileEntry* folder, std::string_view name) const { return child(folder, name); }

private:
    // The folder a path of folder names ending in "/" leads to; empty names
    // ("a//b/") are passed over, as servers merge slashes.
    const FileEntry* folder(std::string_view path) const
    {
        const FileEntry* folder = m_root;
        while (folder) {
            const std::size_t slash = path.find('/');
            if (slash == std::string_view::npos)
                break;
            if (slash > 0)
                folder = directory(child(folder, path.substr(0, slash)));
            path.remove_prefix(slash + 1);
        }
        return folder;
    }

    static std::size_t Hash(const FileEntry* parent, std::string_view name)
    {
        return std::hash<std::string_view>()(name) ^ (std::hash<const void*>()(parent) * 31);
    }

    // The first entry of that name in the folder, as the walk listed them.
    const FileEntry* child(const FileEntry* folder, std::string_view name) const
    {
        const std::size_t hash = Hash(folder, name);
        const std::size_t mask = m_slots.size() - 1;
        for (std::size_t at = hash & mask; m_slots[at].entry; at = (at + 1) & mask) {
            const Slot& slot = m_slots[at];
            if (slot.hash == hash && slot.entry->parent == folder && slot.entry->name() == name)
                return slot.entry;
        }
        return nullptr;
    }
    static const FileEntry* directory(const FileEntry* entry)
    {
        return entry && entry->isDirectory() ? entry : nullptr;
    }
    const FileEntry* index(const FileEntry* folder) const
    {
        for (const char* name : {"index.html", "index.htm"}) {
            const FileEntry* page = child(folder, name);
            if (page && !page->isDirectory())
                return page;
        }
        return nullptr;
    }

    const FileEntry* m_root;
    struct Slot {
        std::size_t hash = 0;
        const FileEntry* entry = nullptr;
    };
    std::vector<Slot> m_slots;
    mutable Memo m_memo;
};

}  // namespace larkspur
