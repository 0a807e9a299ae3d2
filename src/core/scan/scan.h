// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// The walk of a site folder into a tree of file entries, and the per-extension
// statistics drawn from it.
#pragma once

#include "statistics.h"
#include "tree.h"
#include "walk.h"
