# Sourced by the Windows tests: the Linux vqxsim on a pseudo-terminal that Wine maps to
# a COM port (a link <prefix>/dosdevices/comN to the device).
# Needs WINEPREFIX and VQXSIM (the Linux build's vqxsim).

# start_sim N LOG [vqxsim options]: serves COMn; the unit's trace goes to LOG.
start_sim() {
  local n=$1 log=$2
  shift 2
  local link="$WINEPREFIX/dosdevices/com$n"
  rm -f "$link"
  mkdir -p "$WINEPREFIX/dosdevices"
  local out
  out=$(mktemp)
  "$VQXSIM" --link "$link" --verbose "$@" >"$out" 2>>"$log" &
  sim_pid=$!
  # The first line of its output says the device is ready (and the link made).
  for _ in $(seq 1 200); do
    [ -s "$out" ] && break
    kill -0 "$sim_pid" 2>/dev/null || break
    sleep 0.05
  done
  sim_device=$(head -n1 "$out")
  rm -f "$out"
  [ -n "$sim_device" ] || { echo "vqxsim did not start" >&2; return 1; }
}

stop_sim() {
  if [ -n "${sim_pid:-}" ]; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
    sim_pid=""
  fi
}

# The lines the unit received, without the trace's times.
received_lines() { sed -n 's/^vqxsim *[0-9]* ms <- //p' "$1"; }

: "${WINEPREFIX:=$HOME/.wine}"
export WINEPREFIX

need_vqxsim() {
  if [ ! -x "${VQXSIM:-}" ]; then
    echo "The Linux vqxsim is missing ($VQXSIM): build the default preset first" \
         "(cmake --preset default && cmake --build --preset default --target vqxsim vqxctl)." >&2
    exit 1
  fi
}
