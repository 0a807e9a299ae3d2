// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// What writing a path would replace, and removing one.
#pragma once

#include <cstdint>
#include <string>

namespace larkspur::platform {

// What writing `path` would replace. A link is followed only when it, and
// every link it leads through, belongs to the running user or to root, and
// it ends at a regular file of the running user (or at a device or a pipe):
// another user cannot plant a link that makes Larkspur overwrite a file of
// ours. Any other link is refused with a message naming it and saying why.
// A name of one of our open descriptors (OpenDescriptorNamed) is Special
// and reached through a link, whatever the descriptor leads to.
enum class TargetKind : std::uint8_t { New, Regular, Special };
struct WriteTarget {
    std::string path;  // where the file goes: `path`, or the file a followed link leads to
    TargetKind kind = TargetKind::New;
    // The permissions a replacement keeps (a file of the running user's,
    // without set-id bits or write for all); -1: those of a new file.
    int mode = -1;
    // The group a replacement keeps (a file of the running user's, whose
    // group may be the web server's); -1: that of a new file.
    long long group = -1;
    bool throughLink = false;
};
int ResolveWriteTarget(const std::string& path, WriteTarget& target, std::string& error);

// Removes a file or a link, never a folder; 0 or -1.
int RemoveFile(const std::string& path);

}  // namespace larkspur::platform
