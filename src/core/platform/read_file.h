// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// Files read whole.
#pragma once

#include <cstddef>
#include <string>

namespace larkspur::platform {

// Reads a whole file, or no more than its first `limit` bytes; -1 with a
// message when it cannot be read.
int ReadFile(const std::string& path, std::string& contents, std::string& error,
             std::size_t limit = static_cast<std::size_t>(-1));

}  // namespace larkspur::platform
