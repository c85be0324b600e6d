#!/usr/bin/env bash
# Ctrl-C in the middle of vqxctl.exe read (Wine turns SIGINT into the console's
# CTRL_C_EVENT): the unit is returned to transparent mode, ECHO ON and TRAN the last
# lines it received, and vqxctl.exe ends with 130.
# Usage: interrupt_test.sh WINE VQXCTL.exe COM-NUMBER
set -uo pipefail
wine=$1 vqxctl=$2 n=$3
. "$(dirname "$0")/mapped_com.sh"
need_vqxsim

dir=$(mktemp -d)
trap 'stop_sim; rm -rf "$dir"; rm -f "$WINEPREFIX/dosdevices/com$n"' EXIT
# Each query answered after half a second: the read is surely still going when the
# interrupt comes, one reply time-out after the unit entered command mode.
start_sim "$n" "$dir/trace" --reply-delay-ms 500 || exit 1
"$wine" "$vqxctl" read --port "COM$n" >"$dir/out" 2>"$dir/err" &
vqxctl_pid=$!
for _ in $(seq 1 600); do
  grep -q '== command$' "$dir/trace" && break
  kill -0 "$vqxctl_pid" 2>/dev/null || break
  sleep 0.05
done
sleep 1
kill -INT "$vqxctl_pid"
wait "$vqxctl_pid"
rc=$?
stop_sim

failed=0
[ "$rc" = 130 ] || { echo "FAIL: exit code $rc, not 130" >&2; failed=1; }
last=$(received_lines "$dir/trace" | tail -n 2 | tr '\n' '|')
[ "$last" = "ECHO ON|TRAN|" ] || { echo "FAIL: the unit's last lines were '$last'" >&2; failed=1; }
tail -n 1 "$dir/trace" | grep -q '== transparent$' || { echo "FAIL: the unit did not end transparent" >&2; failed=1; }
if [ "$failed" != 0 ]; then
  cat "$dir/err" "$dir/trace" >&2
else
  echo "interrupted mid-read: exit 130, the unit got ECHO ON and TRAN and is transparent"
fi
exit "$failed"
