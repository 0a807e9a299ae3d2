# SPDX-License-Identifier: Apache-2.0
# Copyright The Larkspur developers
# Runs larkspur-cli's bash completion the way bash does on a Tab: sourced into
# the test's shell with bash-completion, then `complete_words WORD...` sets the
# line (the last word is the one being completed; give "--opt=value" as
# "--opt" "=" "value", split as bash splits it) and prints the offers, one a
# line, sorted.
bash_completion=${BASH_COMPLETION_SCRIPT:-/usr/share/bash-completion/bash_completion}
if [ ! -r "$bash_completion" ]; then
  echo "SKIP: bash-completion is not installed ($bash_completion)"
  exit 77
fi
# shellcheck disable=SC1090
. "$bash_completion"
# shellcheck disable=SC1090
. "$LARKSPUR_COMPLETION"

complete_words() {
  COMP_WORDS=("$@")
  COMP_CWORD=$(($# - 1))
  COMP_LINE=''
  local word previous=''
  for word in "$@"; do
    if [ -z "$COMP_LINE" ]; then
      COMP_LINE=$word
    elif [ "$word" = = ] || [ "$previous" = = ]; then
      COMP_LINE+=$word
    else
      COMP_LINE+=" $word"
    fi
    previous=$word
  done
  COMP_POINT=${#COMP_LINE}
  COMPREPLY=()
  _larkspur_cli larkspur-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
  [ ${#COMPREPLY[@]} -eq 0 ] || printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort
}
