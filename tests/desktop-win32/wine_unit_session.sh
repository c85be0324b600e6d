# Sourced by vqxsu-suites-under-wine: one vqxsu.exe under Wine against the Linux vqxsim on
# a COM port the Wine prefix maps to vqxsim's pseudo-terminal, and the checks of what the
# unit heard. Needs WINEPREFIX, and wine, vqxsu, probe, vqxsim and work set by the caller.

# Margins from the unit's timings: a full read is two escape guards and at most one reply
# time-out for each of its 28 settings; the leave at the close is one guard and four steps
# of at most a reply time-out; after SAVE or REBOOT the program leaves the unit alone for
# the reboot wait. Wine's own start is not the unit's: on a machine loaded many times
# over its cores it has been seen to take two minutes.
guard_ms=2100 reply_ms=3000 reboot_wait_ms=10000
start_limit_ms=300000
read_limit_ms=$((2 * guard_ms + 28 * reply_ms))
leave_limit_ms=$((guard_ms + 4 * reply_ms + 10000))

sim_pid="" vqxsu_pid="" link="" lock="" port=""
session_cleanup() {
  [ -n "$vqxsu_pid" ] && kill "$vqxsu_pid" 2>/dev/null || true
  stop_unit
  [ -n "$link" ] && rm -f "$link"
  [ -n "$lock" ] && rmdir "$lock" 2>/dev/null || true
  rm -rf "$work"
}

# A COM port no other test of this prefix maps now: sets port, link and lock.
claim_port() {
  mkdir -p "$WINEPREFIX/dosdevices"
  for n in $(seq 40 250); do
    if mkdir "$WINEPREFIX/dosdevices/.com$n.lock" 2>/dev/null; then
      lock="$WINEPREFIX/dosdevices/.com$n.lock" port="COM$n" link="$WINEPREFIX/dosdevices/com$n"
      rm -f "$link"
      return 0
    fi
  done
  echo "vqxsu-suites-under-wine: no free COM port in the prefix" >&2
  exit 1
}

# start_unit SETTINGS_JSON [vqxsim options]: the unit on the claimed port; its trace (every
# line it takes, "<- LINE", and every change of mode, "== MODE") goes to $work/sim.log.
start_unit() {
  printf '%s\n' "$1" >"$work/unit.json"
  shift
  : >"$work/sim.out"
  "$vqxsim" --link "$link" --settings "$work/unit.json" "$@" --verbose >"$work/sim.out" 2>>"$work/sim.log" &
  sim_pid=$!
  for _ in $(seq 1 200); do [ -s "$work/sim.out" ] && break; sleep 0.05; done
  [ -L "$link" ] || fail "vqxsim did not start"
}

# The adapter pulled out: the unit's end of the line goes away, and the port with it.
stop_unit() {
  if [ -n "$sim_pid" ]; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
    sim_pid=""
  fi
}

# The preferences file (VQXSU_Prefs.cfg, its fixed layout): format mark 17, the Settings
# view, 9600 8N1 and the port name; no History, no remote connections.
write_prefs() {
  {
    printf '\021\0\0\0' ; printf '\001\0\0\0' ; printf '\200\045\0\0' ; printf '\010\0\0\0' ; printf '\001\0\0\0'
    printf 'N%s' "$port"
    head -c $((256 - ${#port})) /dev/zero
    head -c $((86368 - 277)) /dev/zero
  } >"$work/VQXSU_Prefs.cfg"
}
prefs_history_count() { od -An -tu4 -j86364 -N4 "$work/VQXSU_Prefs.cfg" | tr -d ' '; }

# start_vqxsu [options]: vqxsu.exe in $work, its output in $work/vqxsu.out.
start_vqxsu() {
  [ -f "$work/vqxsu.exe" ] || cp "$vqxsu" "$work/vqxsu.exe"
  (cd "$work" && exec "$wine" vqxsu.exe "$@" >"$work/vqxsu.out" 2>&1) &
  vqxsu_pid=$!
}

# Through wine-run: a probe that Wine ended before it ran (it printed nothing; each of its
# own failures says why) is started again. Its standard error joins its output.
wine_run="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/../windows/wine-run"
run_probe() { "$wine_run" "$wine" "$probe" "$@"; }

fail() {
  echo "vqxsu-suites-under-wine: $*" >&2
  [ -n "$vqxsu_pid" ] && "$wine" "$probe" print-box >&2 2>/dev/null || true
  echo "--- vqxsim" >&2; tail -n 60 "$work/sim.log" >&2 2>/dev/null
  echo "--- vqxsu" >&2; cat "$work/vqxsu.out" >&2 2>/dev/null
  exit 1
}

# wait_exit LIMIT_MS: vqxsu.exe ends within LIMIT_MS; its exit code in $exit_code.
wait_exit() {
  local waited=0
  while kill -0 "$vqxsu_pid" 2>/dev/null; do
    sleep 0.1
    waited=$((waited + 100))
    [ $waited -le "$1" ] || fail "vqxsu.exe did not end within $1 ms"
  done
  exit_code=0
  wait "$vqxsu_pid" || exit_code=$?
  vqxsu_pid=""
}

# Where the trace is now: the checks below look at what follows.
log_mark() { wc -l <"$work/sim.log" 2>/dev/null | tr -d " " || echo 0; }
log_since() { tail -n +$(($1 + 1)) "$work/sim.log"; }
# The lines the unit took since MARK, without the trace's times.
lines_since() { log_since "$1" | sed -n 's/^vqxsim *[0-9]* ms <- //p'; }

# wait_line MARK LINE LIMIT_MS: the unit takes LINE (matched whole) after MARK.
wait_line() {
  local mark=$1 line=$2 limit=$3 waited=0
  # grep reads to the end (no -q): with pipefail, a writer cut off early fails the pipe.
  until lines_since "$mark" | grep -xF -- "$line" >/dev/null; do
    [ $waited -le "$limit" ] || return 1
    sleep 0.05
    waited=$((waited + 50))
  done
}

# wait_read_done MARK: the full read begun after MARK has asked its last setting (VSENSE)
# and the unit has answered the STAT that ends it.
wait_read_done() {
  local waited=0
  until log_since "$1" | sed -n '/<- VSENSE$/,$p' | sed -n '/<- STAT$/,$p' | grep -- ' -> ' >/dev/null; do
    [ $waited -le $read_limit_ms ] || fail "the read did not end"
    sleep 0.05
    waited=$((waited + 50))
  done
}

# Empty when the unit is transparent and heard nothing since its TRAN (or has started up
# again after SAVE or REBOOT), or was never taken out of transparent mode since MARK;
# otherwise what is wrong.
unit_left_properly() {
  local mark=$1 lines last_line last_mode
  lines=$(lines_since "$mark")
  last_line=$(printf '%s\n' "$lines" | tail -n 1)
  case "$last_line" in SAVE|REBOOT) return ;; esac
  last_mode=$(log_since "$mark" | sed -n 's/^vqxsim *[0-9]* ms == //p' | tail -n 1)
  if [ -n "$last_mode" ] && [ "$last_mode" != transparent ]; then
    echo "the unit is in $last_mode mode; it took: $(printf '%s|' "$lines")"
    return
  fi
  [ -z "$lines" ] && return
  [ "$last_line" = TRAN ] || { echo "the last line the unit took was \"$last_line\""; return; }
  [ "$(printf '%s\n' "$lines" | tail -n 2 | head -n 1)" = "ECHO ON" ] ||
    echo "ECHO ON did not come right before TRAN: $(printf '%s|' "$lines")"
}
