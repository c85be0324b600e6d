#!/usr/bin/env bash
# vqxctl.exe fleet with two units on COM ports given as a range: each unit is found by its
# MAC, written, saved, read again and verified, and left transparent with TRAN last; a
# second run finds both unchanged and tells neither a value.
# Usage: fleet_test.sh WINE VQXCTL.exe FIRST-COM-NUMBER
set -uo pipefail
wine=$1 vqxctl=$2 n=$3
m=$((n + 1))
. "$(dirname "$0")/mapped_com.sh"
need_vqxsim

dir=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
  rm -rf "$dir"
  rm -f "$WINEPREFIX/dosdevices/com$n" "$WINEPREFIX/dosdevices/com$m"
}
trap cleanup EXIT
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }

# The second unit on the first port: the table's order is not the ports' order.
printf '{"MAC": "00:20:4A:00:02:02"}' >"$dir/a.json"
printf '{"MAC": "00:20:4A:00:02:01"}' >"$dir/b.json"
start_sim "$n" "$dir/trace-a" --reboot-ms 1000 --settings "$dir/a.json" || exit 1
pids+=("$sim_pid")
start_sim "$m" "$dir/trace-b" --reboot-ms 1000 --settings "$dir/b.json" || exit 1
pids+=("$sim_pid")
printf '{"vocoder": 3}' >"$dir/site.json"
printf 'macAddress,name,ipAddress\r\n00-20-4a-00-02-01,Win 1,10.30.0.1\r\n00:20:4A:00:02:02,Win 2,10.30.0.2\r\n' >"$dir/units.csv"

run() {
  "$wine" "$vqxctl" --quiet fleet "$(winpath "$dir/site.json")" "$(winpath "$dir/units.csv")" \
    --ports "COM$n-COM$m" --yes --reboot-wait 1.5 >"$dir/out" 2>"$dir/err"
}
failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }

run
rc=$?
[ "$rc" = 0 ] || fail "first run: exit code $rc, not 0"
grep -q "^COM$n  00:20:4A:00:02:02  Win 2  changed and verified" "$dir/out" || fail "COM$n not verified as Win 2"
grep -q "^COM$m  00:20:4A:00:02:01  Win 1  changed and verified" "$dir/out" || fail "COM$m not verified as Win 1"
received_lines "$dir/trace-a" | grep -qx 'NAME Win 2' || fail "COM$n did not get its name"
received_lines "$dir/trace-b" | grep -qx 'MYIP 010.030.000.001' || fail "COM$m did not get its address"
for t in a b; do
  [ "$(received_lines "$dir/trace-$t" | tail -n 1)" = TRAN ] || fail "unit $t: TRAN was not its last line"
  tail -n 1 "$dir/trace-$t" | grep -q '== transparent$' || fail "unit $t did not end transparent"
done

before_a=$(received_lines "$dir/trace-a" | wc -l)
before_b=$(received_lines "$dir/trace-b" | wc -l)
run
rc=$?
[ "$rc" = 0 ] || fail "second run: exit code $rc, not 0"
grep -q "2 units: 2 unchanged" "$dir/out" || fail "the second run did not find both unchanged"
if received_lines "$dir/trace-a" | tail -n +"$((before_a + 1))" | grep -E '^(SAVE|[A-Z]+ [^ ])' | grep -vE '^ECHO (ON|OFF)$' ||
   received_lines "$dir/trace-b" | tail -n +"$((before_b + 1))" | grep -E '^(SAVE|[A-Z]+ [^ ])' | grep -vE '^ECHO (ON|OFF)$'; then
  fail "the second run told a unit a value"
fi

if [ "$failed" != 0 ]; then
  cat "$dir/out" "$dir/err" >&2
else
  echo "two units provisioned over COM$n-COM$m and verified; the second run wrote nothing"
fi
exit "$failed"
