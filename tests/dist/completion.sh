#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Copyright The Larkspur developers
# larkspur-cli's bash completion, run in bash for a few lines, with its own
# home, settings and working directories. Usage: completion.sh LARKSPUR-CLI COMPLETION
set -euo pipefail
cli=$(realpath "$1")
export LARKSPUR_COMPLETION=$(realpath "$2")
. "$(dirname "$0")/complete.sh"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
export HOME=$tmp/home XDG_CONFIG_HOME=$tmp/home/.config
mkdir -p "$XDG_CONFIG_HOME/Brindle" "$tmp/stored" "$tmp/other" "$tmp/here/site" "$tmp/here/sub"
printf '[General]\nworking%%20directory=%s\n' "$tmp/stored" > "$XDG_CONFIG_HOME/Brindle/Larkspur.conf"
touch "$tmp/here/a.csv" "$tmp/here/b.CSV" "$tmp/here/c.txt" "$tmp/here/sfile"
# The completion runs the program by the name on the line, as bash would.
PATH=$(dirname "$cli"):$PATH
add() { larkspur-cli projects add "$1" --path "$tmp/here/site" --url https://example.com "${@:2}" > /dev/null; }
add blog
add 'my blog'
add "bad\$(touch $tmp/expanded)"
add archive --working-dir "$tmp/other"
cd "$tmp/here"

failures=0
check() {  # expected offers (one a line), then the words of the line
  local expected=$1 actual
  shift
  actual=$(complete_words "$@")
  if [ "$actual" != "$expected" ]; then
    echo "FAIL: '$*' offers:"; sed 's/^/    /' <<< "$actual"
    echo "  expected:"; sed 's/^/    /' <<< "$expected"
    failures=$((failures + 1))
  fi
}
nl=$'\n'

check "check${nl}csv${nl}csv2xml" larkspur-cli c
check "text${nl}tsv" larkspur-cli check site --format ''
check "--priority${nl}--project${nl}--protocol" larkspur-cli xml --pr
check "clean" larkspur-cli xml site --url-style c
check "--path${nl}--priority${nl}--protocol" larkspur-cli projects add blog2 --p
check "--help" larkspur-cli projects remove --h
check "$(printf '0.%s\n' 0 1 2 3 4 5 6 7 8 9)${nl}1.0" larkspur-cli xml site --priority ''
check "$(printf '0.%s\n' 0 1 2 3 4 5 6 7 8 9)" larkspur-cli xml site --priority = 0.
check "monthly" larkspur-cli txt site --changefreq m
check "always${nl}daily${nl}hourly${nl}monthly${nl}never${nl}weekly${nl}yearly" larkspur-cli csv --changefreq=''
# Saved names from the stored working directory, quoted for the shell and
# never expanded; --working-dir on the line names another one.
check "bad\\\$\\(touch\\ ${tmp// /\\ }/expanded\\)${nl}blog${nl}my\\ blog" larkspur-cli xml --project ''
check "blog" larkspur-cli projects remove bl
check "my\\ blog" larkspur-cli projects remove 'my\ b'
check "archive" larkspur-cli --working-dir "$tmp/other" projects remove ''
check "archive" larkspur-cli xml --working-dir="$tmp/other" --project a
check "" larkspur-cli projects add ''
check "" larkspur-cli projects remove blog ''
[ ! -e "$tmp/expanded" ] || { echo "FAIL: a project name was run as a command"; failures=$((failures + 1)); }
# Folders for a site, CSV files (any case) for csv2xml.
check "site${nl}sub" larkspur-cli stats s
check "a.csv${nl}b.CSV${nl}site${nl}sub" larkspur-cli csv2xml ''
check "" larkspur-cli xml --project blog ''

[ "$failures" -eq 0 ] || { echo "$failures line(s) completed wrongly"; exit 1; }
echo "completion: all lines completed as expected"
