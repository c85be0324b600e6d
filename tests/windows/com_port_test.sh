#!/usr/bin/env bash
# The Windows serial port test program against the Linux vqxsim on a mapped COM port.
# Usage: com_port_test.sh WINE TEST.exe COM-NUMBER
# The program asks for the adapter to be pulled or plugged in by creating files in
# VQX_TEST_CONTROL; this script answers by stopping or starting vqxsim.
set -uo pipefail
wine=$1 program=$2 n=$3
. "$(dirname "$0")/mapped_com.sh"
need_vqxsim

dir=$(mktemp -d)
trap 'stop_sim; rm -rf "$dir"; rm -f "$WINEPREFIX/dosdevices/com$n"' EXIT
sim_options=(--guard-ms 100)
start_sim "$n" "$dir/trace.log" "${sim_options[@]}" || exit 1

export VQX_TEST_COM="COM$n"
export VQX_TEST_CONTROL="Z:${dir//\//\\}"
"$wine" "$program" &
test_pid=$!
while kill -0 "$test_pid" 2>/dev/null; do
  if [ -e "$dir/unplug" ]; then
    rm -f "$dir/unplug"
    stop_sim
    touch "$dir/unplugged"
  fi
  if [ -e "$dir/replug" ]; then
    rm -f "$dir/replug"
    start_sim "$n" "$dir/trace.log" "${sim_options[@]}" && touch "$dir/replugged"
  fi
  sleep 0.05
done
wait "$test_pid"
