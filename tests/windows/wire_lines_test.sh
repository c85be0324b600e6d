#!/usr/bin/env bash
# vqxctl.exe under Wine and the Linux vqxctl, each against a fresh Linux vqxsim: the
# unit must receive the same command lines, byte for byte, and both must print the
# same results (the Windows one with CR LF line ends).
# Usage: wire_lines_test.sh WINE VQXCTL.exe VQXCTL COM-NUMBER
set -uo pipefail
wine=$1 windows_vqxctl=$2 linux_vqxctl=$3 n=$4
. "$(dirname "$0")/mapped_com.sh"
need_vqxsim

dir=$(mktemp -d)
trap 'stop_sim; rm -rf "$dir"; rm -f "$WINEPREFIX/dosdevices/com$n"' EXIT
# The unit reboots in a second; vqxctl leaves it alone for two.
sim_options=(--reboot-ms 1000)
printf '{"name": "Mast 7", "vocoder": 3}\n' >"$dir/snapshot.json"
windows_vqxctl=$(realpath "$windows_vqxctl")
linux_vqxctl=$(realpath "$linux_vqxctl")
cd "$dir" || exit 1  # both name the snapshot file alike
failed=0

# run SIDE NAME ARGS...: one command against a fresh unit; output in $dir/SIDE.NAME.*
run() {
  local side=$1 name=$2
  shift 2
  start_sim "$n" "$dir/$side.$name.trace" "${sim_options[@]}" || return 1
  local rc
  if [ "$side" = windows ]; then
    "$wine" "$windows_vqxctl" "$@" --port "COM$n" >"$dir/$side.$name.out" 2>"$dir/$side.$name.err"
    rc=$?
  else
    "$linux_vqxctl" "$@" --port "$sim_device" >"$dir/$side.$name.out" 2>"$dir/$side.$name.err"
    rc=$?
  fi
  stop_sim
  received_lines "$dir/$side.$name.trace" >"$dir/$side.$name.lines"
  echo "$rc" >"$dir/$side.$name.rc"
}

compare() {
  local name=$1
  if ! cmp -s "$dir/linux.$name.lines" "$dir/windows.$name.lines"; then
    echo "FAIL $name: the unit received different lines" >&2
    diff "$dir/linux.$name.lines" "$dir/windows.$name.lines" >&2
    failed=1
  fi
  if [ ! -s "$dir/linux.$name.lines" ]; then
    echo "FAIL $name: the unit received nothing" >&2
    cat "$dir/linux.$name.err" >&2
    failed=1
  fi
  if ! tr -d '\r' <"$dir/windows.$name.out" | cmp -s "$dir/linux.$name.out" -; then
    echo "FAIL $name: different output" >&2
    tr -d '\r' <"$dir/windows.$name.out" | diff "$dir/linux.$name.out" - >&2
    cat "$dir/windows.$name.err" >&2
    failed=1
  fi
  if ! cmp -s "$dir/linux.$name.rc" "$dir/windows.$name.rc"; then
    echo "FAIL $name: exit codes $(cat "$dir/linux.$name.rc") (Linux) and $(cat "$dir/windows.$name.rc") (Windows)" >&2
    failed=1
  fi
  [ "$failed" = 0 ] && echo "$name: $(wc -l <"$dir/linux.$name.lines") lines received alike, same output"
}

for side in linux windows; do
  run "$side" read read -q
  run "$side" apply apply -q --reboot-wait 2 snapshot.json
done
compare read
compare apply
grep -q '^NAME Mast 7$' "$dir/windows.apply.lines" || { echo "FAIL apply: NAME Mast 7 never sent" >&2; failed=1; }
exit "$failed"
