// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// The heads of a walked tree's pages, read one after another.
#pragma once

#include <string>

#include "head/head.h"
#include "platform/listing.h"
#include "scan/tree.h"

namespace larkspur {

// Keeps the folder of the last page read open, so that the next pages of
// that folder are opened by their names: a tree's pages come folder by
// folder, and a path walked from the root for each page costs more than
// reading its head. One reader per thread, for one tree.
class PageHeadReader {
public:
    // As ReadPageHead, for `page` of `tree`.
    int read(const ScanTree& tree, const FileEntry& page, PageHead& head, std::string& error);

private:
    const FileEntry* m_folderEntry = nullptr;
    platform::Folder m_folder;  // closed when the folder could not be opened
    std::string m_name;
    std::string m_buffer;
};

}  // namespace larkspur
