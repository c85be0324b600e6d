#!/usr/bin/env bash
# vqxctl's bash completion and manual page follow its command line: for every command,
# the completion offers exactly the options and subcommands that "vqxctl ... --help"
# lists (plus the top-level --quiet, which every command takes), and the manual page
# names each of them.
# Usage: vqxctl_completion_test.sh VQXCTL COMPLETION_FILE MANUAL_SOURCE
set -euo pipefail
vqxctl=$1
completion=$2
manual=$3

# shellcheck source=/dev/null
source "$completion"
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# What the completion offers after "vqxctl WORDS... CURRENT".
offered() {
  local current=$1
  shift
  COMP_WORDS=(vqxctl "$@" "$current")
  COMP_CWORD=$(($# + 1))
  COMPREPLY=()
  _vqxctl
  printf '%s\n' "${COMPREPLY[@]}" | sort -u
}

# The options and subcommands the help of "vqxctl WORDS..." lists (a line that continues
# a description, indented deeper, names neither).
help_options() { "$vqxctl" "$@" --help | sed -n '/^Options:/,/^$/p' | grep -oE '^  (-[a-z],)?--[a-z-]+' | tr ',' '\n' | tr -d ' ' | sort -u; }
help_subcommands() { "$vqxctl" "$@" --help | sed -n '/^Subcommands:/,/^$/p' | sed -n 's/^  \([a-z][a-z]*\) .*/\1/p' | sort -u; }

for path in "" read apply diff detect ports send fleet history "history list" "history show" "history export" "history import" \
            connections "connections list" "connections add" "connections edit" "connections remove" \
            "connections import" "connections export"; do
  # shellcheck disable=SC2086
  set -- $path
  expected=$(help_options "$@")
  case $path in
    read|apply|diff|send|fleet) expected=$(printf '%s\n' "$expected" --quiet -q | sort -u) ;;  # they talk to a unit
  esac
  actual=$(offered - "$@")
  if [ "$expected" != "$actual" ]; then
    fail "vqxctl $path -<TAB>: completion offers [$(echo $actual)], the help lists [$(echo $expected)]"
  fi
  subcommands=$(help_subcommands "$@")
  if [ -n "$subcommands" ] && [ "$subcommands" != "$(offered "" "$@")" ]; then
    fail "vqxctl $path <TAB>: completion offers [$(echo $(offered "" "$@"))], the help lists [$(echo $subcommands)]"
  fi
  for word in $(printf '%s\n' "$expected" | grep -- '^--') $subcommands; do
    grep -qF -- "*$word*" "$manual" || fail "the manual page does not name $word (vqxctl $path)"
  done
done

# Values: the choices the help gives for --format, --baud and the parity.
[ "$(offered "" read --format | tr '\n' ' ')" = "json text " ] || fail "read --format <TAB>"
[ "$(offered "" history export --format | tr '\n' ' ')" = "csv json " ] || fail "history export --format <TAB>"
[ "$(offered "" connections import --format | tr '\n' ' ')" = "csv json " ] || fail "connections import --format <TAB>"
[ "$(offered "" connections list --format | tr '\n' ' ')" = "json text " ] || fail "connections list --format <TAB>"
[ "$(offered "" read --parity | tr '\n' ' ')" = "E N O " ] || fail "read --parity <TAB>"
[ "$(offered 11 read --baud)" = 115200 ] || fail "read --baud 11<TAB>"

[ "$failures" -eq 0 ] || exit 1
echo "the completion and the manual page follow vqxctl's command line"
