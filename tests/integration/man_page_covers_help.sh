#!/usr/bin/env bash
# Usage: man_page_covers_help.sh PROGRAM PAGE
# Fails when the manual page PAGE leaves out a command or long option that PROGRAM's --help
# lists, each command's own --help included, so the page cannot fall behind the program.
set -euo pipefail
program=$1
page=$2

# The page as plain text: troff's escaped hyphens and quotes, and its font changes, undone.
text=$(sed -e 's/\\-/-/g' -e 's/\\(dq/"/g' -e 's/\\f[BIRP]//g' "$page")
missing=0

need() {  # what, word, grep flags
  if ! grep -q "$3" -- "$2" <<<"$text"; then
    echo "$(basename "$page"): no $1 $2 (${command_path:-top level})"
    missing=1
  fi
}

walk() {  # the command path, e.g. "settings set"
  local help option sub
  help=$("$program" "$@" --help)
  command_path="$*"
  for option in $(grep -oE -- '--[a-z][a-z0-9-]*' <<<"$help" | sort -u); do
    need option "$option" -F
  done
  for sub in $(awk '/^Subcommands:/ { on = 1; next } on && /^  [a-z]/ { print $1 }
                    on && /^$/ { on = 0 }' <<<"$help"); do
    command_path="$*"
    need command "$sub" -wF
    walk "$@" "$sub"
  done
}

walk
exit $missing
