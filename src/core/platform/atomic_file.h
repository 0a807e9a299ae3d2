// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// Files replaced whole, or not at all.
#pragma once

#include <memory>
#include <ostream>
#include <string>

namespace larkspur::platform {

// Writes a file through a temporary file beside the target and renames it
// over the target on commit, so the target is either the old or the complete
// new file, never a half-written one. A target that is a device or a pipe is
// written into directly instead, as cp does.
class AtomicFile {
public:
    AtomicFile();
    ~AtomicFile();  // abandons an uncommitted file
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Applies the rule of ResolveWriteTarget. A device or a pipe is written
    // into with `writeIntoDevices` (an output the user named); otherwise it
    // is replaced when it stands in the target's place, and refused behind a
    // link. With `writeIntoDevices` a name of one of our open descriptors
    // (OpenDescriptorNamed) is written through that descriptor, whatever it
    // leads to.
    int open(const std::string& target, std::string& error, bool writeIntoDevices = false);
    // True when the target is a device or a pipe, written as it goes.
    bool direct() const;
    std::ostream& stream();
    // Flushes, syncs and closes the temporary file without renaming it, so
    // every write error shows here; on failure the temporary file is removed.
    // Lets several files be completed before any of them replaces its target.
    int prepare(std::string& error);
    // Prepares (unless done) and renames; on any failure the temporary file
    // is removed and the target left as it was.
    int commit(std::string& error);
    // Before prepare: the file goes to `target` instead, under the same
    // rules as open(). The temporary stays where it is when the new target
    // lies in its folder; elsewhere (a link to another folder) what was
    // written so far is copied to a temporary beside the new target.
    int retarget(const std::string& target, std::string& error);
    void abandon();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// For the programs' main(): a file size limit becomes a write error
// ("File too large") instead of ending the process, and an interrupt,
// termination or hang-up first removes the temporary files of AtomicFiles
// still open, then ends the process by that signal as it would have.
void HandleInterruptions();

}  // namespace larkspur::platform
