#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Copyright The Larkspur developers
# larkspur-cli's usage text, its manual page and its bash completion name the
# same commands and options, so whoever adds one to the program must add it to
# all three. Usage: in_step.sh LARKSPUR-CLI PAGE COMPLETION
set -euo pipefail
cli=$1 page=$2
export LARKSPUR_COMPLETION=$3
. "$(dirname "$0")/complete.sh"

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# Commands from command lines written as in the usage text ("  xml|txt|csv
# FOLDER ...", "  projects add NAME ..."): one a line, "projects add" for a
# projects command.
commands_of() {
  awk '{
    n = split($1, names, "|")
    for (i = 1; i <= n; i++)
      print (names[i] == "projects" && $2 ~ /^[a-z][a-z-]*$/) ? "projects " $2 : names[i]
  }' | LC_ALL=C sort -u
}
options_of() { grep -oE -- '--[a-z][a-z0-9-]*' | LC_ALL=C sort -u || true; }
same() {  # what, expected, actual
  if [ "$2" != "$3" ]; then
    fail "$1 differ:"
    diff <(echo "$2") <(echo "$3") | sed 's/^/    /' || true
  fi
}

help=$("$cli" --help)
help_command_lines=$(awk '/^Commands:/ { on = 1; next } /^[A-Z]/ { on = 0 } on && /^  [a-z]/' <<< "$help")
help_commands=$(commands_of <<< "$help_command_lines")
help_options=$(options_of <<< "$help")
[ -n "$help_commands" ] && [ -n "$help_options" ] || fail "no commands or options found in --help"

# The page: roff's "\-" is a dash, font changes go; the COMMANDS section has
# one ".TP" paragraph per command line.
plain_page=$(grep -v '^\.\\"' "$page" | sed -e 's/\\-/-/g' -e 's/\\f[BIRP]//g')
tagged_lines() {  # the tag lines of the .TP paragraphs of section $1
  awk -v section="$1" '/^\.SH/ { on = ($2 == section); next }
                       on && tp { print "  " $0 } { tp = on && /^\.TP/ }' <<< "$plain_page"
}
same "commands in --help and in the manual page's COMMANDS" "$help_commands" \
  "$(tagged_lines COMMANDS | commands_of)"
same "options in --help and in the manual page's OPTIONS" "$help_options" "$(tagged_lines OPTIONS | options_of)"
same "options in --help and in the whole manual page" "$help_options" "$(options_of <<< "$plain_page")"
for section in NAME SYNOPSIS DESCRIPTION COMMANDS OPTIONS "EXIT STATUS" FILES EXAMPLES; do
  grep -qx "\.SH \"\?$section\"\?" "$page" || fail "the manual page has no $section section"
done
if command -v groff > /dev/null; then
  warnings=$(LC_ALL=C.UTF-8 groff -man -Tutf8 -ww -z "$page" 2>&1)
  [ -z "$warnings" ] || fail "groff warns about the manual page: $warnings"
fi

# The completion: what it offers after the program name, after "projects",
# and after "--" for every command.
top_commands=$(grep -v ' ' <<< "$help_commands")
project_commands=$(sed -n 's/^projects //p' <<< "$help_commands")
same "commands in --help and in the completion" "$top_commands" "$(complete_words larkspur-cli '')"
same "projects commands in --help and in the completion" "$project_commands" \
  "$(complete_words larkspur-cli projects '')"
offered=$(complete_words larkspur-cli --
          while read -r command; do
            # shellcheck disable=SC2086
            complete_words larkspur-cli $command --
          done <<< "$help_commands")
same "options in --help and in the completion" "$help_options" "$(LC_ALL=C sort -u <<< "$offered")"

# Each command line's own options are offered after that command.
while read -r line; do
  while read -r command; do
    # shellcheck disable=SC2086
    offers=$(complete_words larkspur-cli $command --)
    for option in $(options_of <<< "$line"); do
      grep -qx -- "$option" <<< "$offers" || fail "the completion does not offer $option after '$command'"
    done
  done < <(commands_of <<< "$line")
done <<< "$help_command_lines"

[ "$failures" -eq 0 ] || { echo "$failures difference(s): bring --help, dist/larkspur-cli.1.in and dist/larkspur-cli.bash in step"; exit 1; }
echo "in step: $(wc -l <<< "$help_commands") commands, $(wc -l <<< "$help_options") options"
