#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Copyright The Larkspur developers
# The desktop entry and the AppStream metainfo, through the validators the
# desktop's tools use. Usage: validate_metadata.sh DESKTOP-FILE METAINFO-FILE
set -euo pipefail
for tool in desktop-file-validate appstreamcli; do
  command -v "$tool" > /dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
desktop-file-validate "$1"
appstreamcli validate --no-net "$2"
