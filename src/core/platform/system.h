// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// This folder is the one place where Larkspur talks to the operating
// system. Everything above it (walker, writers, project file) is plain C++
// and sees folders, entries and files only through its types; each header
// here holds one concern. This one: the process itself and its user.
#pragma once

#include <cstdint>
#include <string>

namespace larkspur::platform {

std::string SystemMessage(int errorNumber);

// The running user and root: the owners whose links are followed.
bool IsTrustedOwner(std::uint32_t user);

// The processors this process may run on (at least 1).
unsigned ProcessorCount();

}  // namespace larkspur::platform
