// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// The maker's web address, behind the links of the main window and the About
// box and the About box's icon.
#pragma once

namespace larkspur {

inline constexpr const char* kMakerWebAddress = "https://larkspur.example.org/";

}  // namespace larkspur
