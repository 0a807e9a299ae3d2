#include "scan.h"

#include <algorithm>
#include <cerrno>
#include <unordered_map>
#include <unordered_set>

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

struct FolderIdHash {
    std::size_t operator()(const platform::FolderId& id) const noexcept
    {
        return std::hash<std::uint64_t>()(id.inode * 0x9E3779B97F4A7C15ull ^ id.device);
    }
};

// The walk keeps its own stack of folders instead of recursing, so a tree of
// any depth fits in a thread's stack. Each folder on the stack keeps its
// listing until its last entry is taken, which yields the entries in the same
// pre-order as a recursive walk would.
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

// Groups are found by their extension with ASCII letters in upper case.
std::string GroupKey(std::string_view extension)
{
    std::string key(extension);
    for (char& c : key)
        c = FoldCase(static_cast<unsigned char>(c));
    return key;
}

class Walker {
public:
    Walker(ScanTree& tree, WalkError* error, WalkProgress progress, void* context)
        : m_tree(tree), m_error(error), m_progress(progress), m_context(context)
    {
        // Half of what the process may open, so the rest of the program
        // (the window, the writers) never finds itself without descriptors.
        m_budget = std::max<std::size_t>(platform::OpenFileLimit() / 2, 4);
    }

    int walk(platform::Folder root, const platform::FolderId& id, FileEntry* rootEntry)
    {
        m_walked.insert(id);
        if (enter(std::move(root), id, rootEntry, false) != 0)
            return -1;
        std::string message;
        while (!m_stack.empty()) {
            Frame& frame = m_stack.back();
            if (frame.next == frame.items.size()) {
                if (leave() != 0)
                    return -1;
                if (report() != 0)
                    return cancel();
                continue;
            }
            platform::DirEntry& item = frame.items[frame.next++];
            if (item.isLink && !platform::IsTrustedOwner(item.linkOwner)) {
                ++m_tree.skippedLinks;
                continue;
            }
            if (item.kind == platform::EntryKind::Other)
                continue;
            const bool isDirectory = item.kind == platform::EntryKind::Directory;
            // A second way into a folder (a link to it, a link back up, a
            // bind mount) would list its pages again, or without end.
            if (isDirectory && m_walked.count(item.id) != 0)
                continue;
            if (isDirectory && m_tree.skipVersionControl &&
                (item.name == ".git" || item.name == ".hg" || item.name == ".svn")) {
                ++m_tree.skippedVersionControl;
                continue;
            }

            FileEntry& child = m_tree.entries.emplace_back();
            child.parent = frame.entry;
            child.name = std::move(item.name);
            child.mtime = item.mtime;
            child.type = isDirectory ? EntryType::Directory : EntryType::File;
            child.empty = !isDirectory && item.size == 0;
            if (!isDirectory)
                continue;

            makeRoom(2);  // the subfolder and its listing
            platform::Folder sub;
            int errorNumber = 0;
            int opened = 0;
            while ((opened = frame.folder.openChild(child.name, sub, message, &errorNumber, item.isLink)) != 0
                   && OutOfDescriptors(errorNumber) && letGo()) {
            }
            if (opened != 0) {
                // Removed, or replaced by a file or a link, since it was listed.
                if (errorNumber == ENOENT || errorNumber == ENOTDIR || errorNumber == ELOOP) {
                    m_tree.entries.pop_back();
                    continue;
                }
                return fail(m_tree.fullPath(child), message);
            }
            const platform::FolderId id = item.id;
            if (item.isLink) {
                // A link may have been replaced since it was listed (by
                // another user's link, or one back up): check that what was
                // opened is the folder the listing saw.
                platform::DirEntry opened;
                if (sub.stat(opened, message) != 0)
                    return fail(m_tree.fullPath(child), message);
                if (opened.id != item.id) {
                    m_tree.entries.pop_back();
                    continue;
                }
            }
            m_walked.insert(id);
            if (enter(std::move(sub), id, &child, item.isLink) != 0)
                return -1;
        }
        return 0;
    }

    int fail(const std::string& path, const std::string& message)
    {
        if (m_error)
            *m_error = {path, message};
        return -1;
    }

private:
    struct Frame {
        platform::Folder folder;  // closed while deeper folders need the descriptors
        platform::FolderId id;
        FileEntry* entry = nullptr;
        bool throughLink = false;
        std::vector<platform::DirEntry> items;
        std::size_t next = 0;
    };

    int enter(platform::Folder folder, const platform::FolderId& id, FileEntry* entry, bool throughLink)
    {
        Frame& frame = m_stack.emplace_back();
        frame.folder = std::move(folder);
        frame.id = id;
        frame.entry = entry;
        frame.throughLink = throughLink;
        std::string message;
        int errorNumber = 0;
        int listed = 0;
        while ((listed = frame.folder.list(frame.items, message, &errorNumber)) != 0
               && OutOfDescriptors(errorNumber) && letGo()) {
        }
        if (listed != 0)
            return fail(m_tree.fullPath(*entry), message);
        std::sort(frame.items.begin(), frame.items.end(), ListingOrder);
        return report() != 0 ? cancel() : 0;
    }

    // Closes the finished folder and makes sure its parent is open again.
    int leave()
    {
        Frame finished = std::move(m_stack.back());
        m_stack.pop_back();
        if (m_stack.empty() || m_lowOpen < m_stack.size())
            return 0;
        m_lowOpen = m_stack.size() - 1;
        Frame& parent = m_stack.back();
        std::string message;
        platform::DirEntry self;
        // Straight up costs one step; a folder reached through a link has
        // another parent, and is found again from the root.
        if (finished.folder.openParent(parent.folder, message) == 0 && parent.folder.stat(self, message) == 0
            && self.id == parent.id)
            return 0;
        finished.folder = platform::Folder();
        platform::Folder at;
        if (at.open(m_tree.root, message) != 0)
            return fail(m_tree.root, message);
        for (std::size_t level = 0; level < m_stack.size(); ++level) {
            const Frame& frame = m_stack[level];
            if (level > 0) {
                platform::Folder next;
                if (at.openChild(frame.entry->name, next, message, nullptr, frame.throughLink) != 0)
                    return fail(m_tree.fullPath(*frame.entry), message);
                at = std::move(next);
            }
            if (at.stat(self, message) != 0)
                return fail(m_tree.fullPath(*frame.entry), message);
            if (self.id != frame.id)
                return fail(m_tree.fullPath(*frame.entry), "moved while it was walked");
        }
        parent.folder = std::move(at);
        return 0;
    }

    // Lets go of the folders nearest the root, whose next subfolder is far
    // off, until `needed` more descriptors fit in the budget.
    void makeRoom(std::size_t needed)
    {
        while (m_stack.size() - m_lowOpen + needed > m_budget && letGo()) {
        }
    }

    // Closes the open folder nearest the root, never the one being listed.
    bool letGo()
    {
        if (m_lowOpen + 1 >= m_stack.size())
            return false;
        m_stack[m_lowOpen++].folder = platform::Folder();
        return true;
    }

    // The rest of the process may hold descriptors too: running out of them
    // is a reason to let go of more folders, not to fail.
    static bool OutOfDescriptors(int errorNumber) { return errorNumber == EMFILE || errorNumber == ENFILE; }

    int report() const { return m_progress ? m_progress(m_tree.entries.size(), m_context) : 0; }
    int cancel() { return fail(m_tree.root, "cancelled"); }

    ScanTree& m_tree;
    WalkError* m_error;
    WalkProgress m_progress;
    void* m_context;
    std::vector<Frame> m_stack;  // root first; the last one is being listed
    std::size_t m_lowOpen = 0;   // m_stack[m_lowOpen] and all after it are open
    std::size_t m_budget = 0;    // descriptors the walk may hold
    std::unordered_set<platform::FolderId, FolderIdHash> m_walked;
};

void ClearTree(ScanTree& tree)
{
    tree.walked = false;
    tree.root.clear();
    tree.base.clear();
    tree.skippedLinks = 0;
    tree.skippedVersionControl = 0;
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
    return CutExtension(name.substr(dot));
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
    if (walker.walk(std::move(folder), self.id, &rootEntry) != 0) {
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
    extension = CutExtension(extension);
    scan.groupIndex.emplace(GroupKey(extension), scan.groups.size());
    scan.groups.push_back({std::string(extension), 1});
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
    if (scan.groupIndex.size() != scan.groups.size()) {
        // Groups made without AddGroup: index them first.
        scan.groupIndex.clear();
        for (std::size_t i = 0; i < scan.groups.size(); ++i)
            scan.groupIndex.emplace(GroupKey(scan.groups[i].extension), i);
    }
    const std::string_view extension = Extension(entry.name);
    const auto found = scan.groupIndex.find(GroupKey(extension));
    if (found != scan.groupIndex.end()) {
        ++scan.groups[found->second].count;
        return 0;
    }
    return AddGroup(scan, extension);
}

void ReleaseScan(ScanResult& scan)
{
    scan.fileTotal = 0;
    scan.emptyCount = 0;
    std::vector<ExtensionGroup>().swap(scan.groups);
    std::unordered_map<std::string, std::size_t>().swap(scan.groupIndex);
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

std::vector<StatLine> StatisticsLines(const ScanResult& scan, const std::vector<std::string>& pageExtensions)
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
        const bool pages = std::any_of(pageExtensions.begin(), pageExtensions.end(), [&](const std::string& wanted) {
            return group.extension.size() == wanted.size() + 1 &&
                   EqualsIgnoringCase(std::string_view(group.extension).substr(1), wanted);
        });
        lines.push_back({shown + " files: " + std::to_string(group.count), pages, true,
                         group.extension.empty() ? std::string() : group.extension.substr(1)});
    }
    if (scan.tree.skippedVersionControl > 0)
        lines.push_back({"version-control folders left out: " + std::to_string(scan.tree.skippedVersionControl),
                         false, false});
    return lines;
}

}  // namespace larkspur
