// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include "head/head_reader.h"

namespace larkspur {

int PageHeadReader::read(const ScanTree& tree, const FileEntry& page, PageHead& head, std::string& error)
{
    if (page.parent && page.parent != m_folderEntry) {
        m_folderEntry = page.parent;
        std::string unused;
        if (m_folder.open(tree.fullPath(*page.parent), unused) != 0)
            m_folder = {};
    }
    // A folder that would not open (gone, or no longer ours to list) may
    // still let its pages be read by their paths, as before.
    if (!page.parent || !m_folder.isOpen())
        return ReadPageHead(tree.fullPath(page), head, m_buffer, error);
    head = PageHead();
    m_name = page.name();
    if (m_folder.readFile(m_name, m_buffer, error, kHeadReadLimit + 1) != 0) {
        error = tree.fullPath(page) + ": " + error;
        return -1;
    }
    head = ScanPageStart(m_buffer);
    return 0;
}

}  // namespace larkspur
