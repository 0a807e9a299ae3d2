#include "scan.h"

#include <algorithm>
#include <cerrno>

#include "platform.h"

namespace larkspur {

namespace {

constexpr std::size_t kExtensionMax = 15;

char FoldCase(unsigned char c)
{
    return static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
}

// Linux lists a folder in no particular order; a sitemap must come out the
// same on every machine, so entries are sorted as Windows file systems list
// them: ASCII letters without regard to case, ties by plain bytes.
struct FoldTable {
    unsigned char upper[256];
    constexpr FoldTable() : upper()
    {
        for (int c = 0; c < 256; ++c)
            upper[c] = static_cast<unsigned char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    }
};
constexpr FoldTable kFold;

bool ListingOrder(const platform::DirEntry& a, const platform::DirEntry& b)
{
    const std::size_t n = std::min(a.name.size(), b.name.size());
    const auto* pa = reinterpret_cast<const unsigned char*>(a.name.data());
    const auto* pb = reinterpret_cast<const unsigned char*>(b.name.data());
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char ca = kFold.upper[pa[i]];
        const unsigned char cb = kFold.upper[pb[i]];
        if (ca != cb)
            return ca < cb;
    }
    if (a.name.size() != b.name.size())
        return a.name.size() < b.name.size();
    return a.name < b.name;
}

class Walker {
public:
    Walker(ScanTree& tree, WalkError* error, WalkProgress progress, void* context)
        : m_tree(tree), m_error(error), m_progress(progress), m_context(context)
    {
    }

    int listFolder(const platform::Folder& folder, const FileEntry* parent)
    {
        std::vector<platform::DirEntry> found;
        std::string message;
        if (folder.list(found, message) != 0)
            return fail(m_tree.fullPath(*parent), message);
        std::sort(found.begin(), found.end(), ListingOrder);
        if (report() != 0)
            return cancel();

        for (platform::DirEntry& item : found) {
            if (item.kind == platform::EntryKind::Other)
                continue;
            const bool isDirectory = item.kind == platform::EntryKind::Directory;
            if (isDirectory && onCurrentPath(item.id))
                continue;  // a link back into a folder being listed: a cycle

            FileEntry& child = m_tree.entries.emplace_back();
            child.parent = parent;
            child.name = std::move(item.name);
            child.mtime = item.mtime;
            child.type = isDirectory ? EntryType::Directory : EntryType::File;
            child.empty = !isDirectory && item.size == 0;
            if (!isDirectory)
                continue;

            platform::Folder sub;
            int errorNumber = 0;
            if (folder.openChild(child.name, sub, message, &errorNumber, item.mayBeLink) != 0) {
                // Removed, or replaced by a file or a link, since it was listed.
                if (errorNumber == ENOENT || errorNumber == ENOTDIR || errorNumber == ELOOP) {
                    m_tree.entries.pop_back();
                    continue;
                }
                return fail(m_tree.fullPath(child), message);
            }
            platform::FolderId id = item.id;
            if (item.mayBeLink) {
                // A link may have been pointed elsewhere (back up, say) since
                // it was listed: check what was actually opened.
                platform::DirEntry opened;
                if (sub.stat(opened, message) != 0)
                    return fail(m_tree.fullPath(child), message);
                if (onCurrentPath(opened.id)) {
                    m_tree.entries.pop_back();
                    continue;
                }
                id = opened.id;
            }
            m_path.push_back(id);
            const int result = listFolder(sub, &child);
            m_path.pop_back();
            if (result != 0)
                return result;
        }
        return report() != 0 ? cancel() : 0;
    }

    void enter(const platform::FolderId& id) { m_path.push_back(id); }

    int fail(const std::string& path, const std::string& message)
    {
        if (m_error)
            *m_error = {path, message};
        return -1;
    }

private:
    bool onCurrentPath(const platform::FolderId& id) const
    {
        return std::find(m_path.begin(), m_path.end(), id) != m_path.end();
    }

    int report() const { return m_progress ? m_progress(m_tree.entries.size(), m_context) : 0; }
    int cancel() { return fail(m_tree.root, "cancelled"); }

    ScanTree& m_tree;
    WalkError* m_error;
    WalkProgress m_progress;
    void* m_context;
    std::vector<platform::FolderId> m_path;  // folders being listed, root first
};

void ClearTree(ScanTree& tree)
{
    tree.walked = false;
    tree.root.clear();
    tree.base.clear();
    std::deque<FileEntry>().swap(tree.entries);
}

}  // namespace

bool EqualsIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (FoldCase(static_cast<unsigned char>(a[i])) != FoldCase(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

std::string_view Extension(std::string_view name)
{
    const auto dot = name.rfind('.');
    if (dot == std::string_view::npos)
        return {};
    std::string_view extension = name.substr(dot);
    if (extension.size() > kExtensionMax)
        extension = extension.substr(0, kExtensionMax);
    return extension;
}

void PathSegments(const FileEntry& entry, std::vector<const std::string*>& segments)
{
    segments.clear();
    for (const FileEntry* e = &entry; e && e->parent; e = e->parent)
        segments.push_back(&e->name);
    std::reverse(segments.begin(), segments.end());
}

std::string RelativePath(const FileEntry& entry)
{
    if (!entry.parent)
        return "/.";
    std::vector<const std::string*> segments;
    PathSegments(entry, segments);
    std::string path;
    for (const std::string* segment : segments) {
        path += '/';
        path += *segment;
    }
    return path;
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

int WalkTree(ScanTree& tree, const std::string& root, const std::string& base, WalkError* error,
             WalkProgress progress, void* progressContext)
{
    ClearTree(tree);
    if (root.empty() || !platform::IsDirectory(root)) {
        if (error)
            *error = {root, "not a folder"};
        return -1;
    }
    std::string message;
    if (platform::CanonicalPath(root, tree.root, message) != 0
        || (!base.empty() && platform::CanonicalPath(base, tree.base, message) != 0)) {
        if (error)
            *error = {base.empty() || !tree.root.empty() ? root : base, message};
        ClearTree(tree);
        return -1;
    }

    platform::RaiseOpenFileLimit();
    Walker walker(tree, error, progress, progressContext);
    platform::Folder folder;
    platform::DirEntry self;
    if (folder.open(tree.root, message) != 0 || folder.stat(self, message) != 0) {
        walker.fail(tree.root, message);
        ClearTree(tree);
        return -1;
    }
    FileEntry& rootEntry = tree.entries.emplace_back();
    rootEntry.name = ".";
    rootEntry.type = EntryType::Directory;
    rootEntry.mtime = self.mtime;
    walker.enter(self.id);
    if (walker.listFolder(folder, &rootEntry) != 0) {
        ClearTree(tree);
        return -1;
    }
    tree.walked = true;
    return 0;
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

int AddGroup(ScanResult& scan, std::string_view extension)
{
    scan.groups.push_back({std::string(extension.substr(0, kExtensionMax)), 1});
    return 0;
}

int CountFiles(const FileEntry& entry, void* context)
{
    if (entry.isDirectory())
        return 0;
    auto& scan = *static_cast<ScanResult*>(context);
    ++scan.fileTotal;
    if (entry.empty)
        ++scan.emptyCount;
    const std::string_view extension = Extension(entry.name);
    for (ExtensionGroup& group : scan.groups) {
        if (EqualsIgnoringCase(group.extension, extension)) {
            ++group.count;
            return 0;
        }
    }
    return AddGroup(scan, extension);
}

void ReleaseScan(ScanResult& scan)
{
    scan.fileTotal = 0;
    scan.emptyCount = 0;
    std::vector<ExtensionGroup>().swap(scan.groups);
    ClearTree(scan.tree);
}

int WalkAndCount(ScanResult& scan, const std::string& root, WalkError* error, WalkProgress progress,
                 void* progressContext)
{
    ReleaseScan(scan);
    if (WalkTree(scan.tree, root, {}, error, progress, progressContext) != 0)
        return -1;
    if (EnumerateTree(scan.tree, CountFiles, &scan) != 0) {
        ReleaseScan(scan);
        if (error)
            *error = {root, "out of memory"};
        return -1;
    }
    return 0;
}

bool IsPageExtension(std::string_view extension)
{
    return EqualsIgnoringCase(extension, ".html") || EqualsIgnoringCase(extension, ".htm");
}

bool IsSitemapEntry(const FileEntry& entry)
{
    return !entry.isDirectory() && !entry.empty && IsPageExtension(Extension(entry.name));
}

std::vector<StatLine> StatisticsLines(const ScanResult& scan)
{
    std::vector<StatLine> lines;
    lines.reserve(scan.groups.size() + 2);
    lines.push_back({"file totally: " + std::to_string(scan.fileTotal), false, false});
    lines.push_back({"empty files: " + std::to_string(scan.emptyCount), false, false});
    for (const ExtensionGroup& group : scan.groups) {
        // A file name may hold control bytes (a line break, say); shown as
        // "?", so that each statistic stays on one line.
        std::string shown = group.extension;
        for (char& c : shown) {
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
                c = '?';
        }
        lines.push_back({shown + " files: " + std::to_string(group.count), IsPageExtension(group.extension), true});
    }
    return lines;
}

}  // namespace larkspur
