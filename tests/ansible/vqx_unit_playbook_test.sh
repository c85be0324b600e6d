#!/usr/bin/env bash
# The Ansible collection's example playbook run with Debian's ansible-core against
# simulated units on pseudo-terminals, two "sites" on this machine (connection: local):
# a check run with --diff shows the differences and sends nothing but the reads, the real
# run writes and reports changed, a second run only reads and reports ok, and a silent
# unit or a unit with the wrong MAC fails its task with vqxctl's message and exit code.
# Usage: vqx_unit_playbook_test.sh VQXCTL VQXSIM REPO_ROOT
set -euo pipefail
vqxctl=$1
vqxsim=$2
repo=$3

if ! command -v ansible-playbook >/dev/null; then
  echo "FAIL: ansible-playbook not found; run scripts/install-deps (it installs ansible-core)" >&2
  exit 1
fi

work=$(mktemp -d)
sims=()
cleanup() {
  for pid in "${sims[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${sims[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# start_sim NAME MAC [vqxsim options...]: the unit's device path in $work/NAME.dev, its
# received lines in $work/NAME.log. It reboots in one second.
start_sim() {
  local name=$1 mac=$2
  shift 2
  printf '{"MAC": "%s"}\n' "$mac" >"$work/$name.json"
  "$vqxsim" --verbose --reboot-ms 1000 --settings "$work/$name.json" "$@" >"$work/$name.dev" 2>"$work/$name.log" &
  sims+=($!)
}
device() {
  local _
  for _ in $(seq 300); do
    [ -s "$work/$1.dev" ] && { head -n1 "$work/$1.dev"; return; }
    sleep 0.1
  done
  echo "vqxsim $1 printed no device" >&2
  exit 1
}
# The lines a unit received that change it: settings, SAVE and REBOOT; not the queries
# (a bare keyword), ECHO, or the escape's CR.
set_lines() {
  sed -n 's/^vqxsim *[0-9]* ms <- //p' "$work/$1.log" |
    awk '!/^(ECHO (ON|OFF)|\+\+\+|)$/ && (!/^[A-Z]+$/ || /^(SAVE|REBOOT)$/)'
}
saves() { set_lines "$1" | grep -c '^SAVE$' || true; }

start_sim north 00:50:C2:00:00:01
start_sim south 00:50:C2:00:00:02
start_sim decoy 00:50:C2:00:00:03
start_sim silent 00:50:C2:00:00:04 --silent
north=$(device north)
south=$(device south)
decoy=$(device decoy)
silent=$(device silent)

# No user or system configuration, no cowsay, temporary files here, the collection from
# this tree only.
mkdir -p "$work/home" "$work/local-tmp" "$work/remote-tmp"
printf '[defaults]\n' >"$work/ansible.cfg"
export ANSIBLE_CONFIG=$work/ansible.cfg ANSIBLE_HOME=$work/home ANSIBLE_NOCOWS=1
export ANSIBLE_LOCAL_TEMP=$work/local-tmp ANSIBLE_REMOTE_TEMP=$work/remote-tmp
export ANSIBLE_COLLECTIONS_PATH=$repo/ansible ANSIBLE_COLLECTIONS_SCAN_SYS_PATH=false
# Each host's task result as JSON in a folder per run (the tree callback of ansible-core).
export ANSIBLE_CALLBACKS_ENABLED=tree ANSIBLE_RETRY_FILES_ENABLED=false ANSIBLE_FORKS=4
ANSIBLE_PYTHON_INTERPRETER=$(command -v python3)
export ANSIBLE_PYTHON_INTERPRETER

# Two sites: one unit by port, one by MAC among two ports (the decoy is read and left alone).
cat >"$work/sites.yml" <<EOF
vqx_sites:
  vars: { ansible_connection: local, vqx_vqxctl: "$vqxctl", vqx_reboot_wait: 1.5 }
  hosts:
    test-north:
      vqx_units:
        - { port: "$north", settings: { name: North-1, voipPort: 2001, vocoder: 5 } }
    test-south:
      vqx_ports: ["$decoy", "$south"]
      vqx_units:
        - { mac: "00-50-c2-00-00-02", settings: { name: South-1 } }
EOF
# The faults: a unit that never answers, and a port whose unit has another MAC.
cat >"$work/faults.yml" <<EOF
vqx_sites:
  vars: { ansible_connection: local, vqx_vqxctl: "$vqxctl", vqx_reboot_wait: 1.5 }
  hosts:
    test-north:
      vqx_units: [{ port: "$silent", settings: { name: North-9 } }]
    test-south:
      vqx_units: [{ port: "$decoy", mac: "00:50:C2:00:00:02", settings: { name: South-9 } }]
EOF

# play INVENTORY NAME [options...]: each host's result in $work/NAME/HOST, the output in
# $work/NAME.out.
play() {
  local inventory=$1 name=$2
  shift 2
  local status=0
  ANSIBLE_CALLBACK_TREE_DIR=$work/$name ansible-playbook -i "$work/$inventory" "$repo/ansible/examples/site.yml" \
    "$@" >"$work/$name.out" 2>&1 || status=$?
  echo "$status"
}
# check NAME PYTHON-EXPRESSIONS: each line an assertion on r(host) = the unit's result.
check() {
  python3 - "$work/$1" "$2" <<'EOF' || { failures=$((failures + 1)); cat "$work/$1.out" >&2; }
import json, os, sys
def r(host):
    with open(os.path.join(sys.argv[1], host)) as f:
        return json.load(f)["results"][0]
bad = 0
for line in sys.argv[2].strip().splitlines():
    try:
        ok = eval(line)
    except Exception as e:
        print("%s: %r" % (line.strip(), e), file=sys.stderr)
        ok = False
    if not ok:
        bad += 1
        print("FAIL: %s" % line.strip(), file=sys.stderr)
sys.exit(1 if bad else 0)
EOF
}

status=$(play sites.yml check --check --diff)
[ "$status" = 0 ] || fail "the check run ended with $status: $(cat "$work/check.out")"
check check '
r("test-north")["changed"] is True and r("test-south")["changed"] is True
r("test-north")["diff"]["before"] == "Name: VQX-2\nVoIP Port: 2000\nGateway IP: 192.168.1.1\nSubnet Mask: 255.255.255.0\nAccess via telnet: Yes\nVocoder: GSM 13Kbps\n" or print(r("test-north")["diff"])
"Name: North-1\n" in r("test-north")["diff"]["after"] and "VoIP Port: 2001\n" in r("test-north")["diff"]["after"]
"Vocoder: PCM 64Kbps\n" in r("test-north")["diff"]["after"] and "Vocoder: ADPCM 32Kbps\n" in r("test-south")["diff"]["after"]
"Name: South-1\n" in r("test-south")["diff"]["after"] and r("test-south")["port"] == "'"$south"'"
r("test-north")["lines"][-1] == "SAVE" and r("test-north")["verified"] is False
'
for unit in north south decoy; do
  [ -z "$(set_lines $unit)" ] || fail "the check run sent $unit settings: $(set_lines $unit | tr '\n' ' ')"
done

status=$(play sites.yml apply --diff)
[ "$status" = 0 ] || fail "the run that writes ended with $status: $(cat "$work/apply.out")"
check apply '
r("test-north")["changed"] is True and r("test-south")["changed"] is True
r("test-north")["verified"] is True and r("test-south")["verified"] is True
"Name: North-1\n" in r("test-north")["diff"]["after"]
'
set_lines north | grep -qx 'NAME North-1' || fail "North-1 was not sent: $(set_lines north | tr '\n' ' ')"
set_lines south | grep -qx 'NAME South-1' || fail "South-1 was not sent: $(set_lines south | tr '\n' ' ')"
[ -z "$(set_lines decoy)" ] || fail "the unit with another MAC was written to: $(set_lines decoy | tr '\n' ' ')"

status=$(play sites.yml again)
[ "$status" = 0 ] || fail "the second run ended with $status: $(cat "$work/again.out")"
check again '
r("test-north")["changed"] is False and r("test-south")["changed"] is False
r("test-north")["changes"] == [] and r("test-north")["verified"] is True
'
[ "$(saves north)" = 1 ] || fail "north was saved $(saves north) times; the second run must only read"
[ "$(saves south)" = 1 ] || fail "south was saved $(saves south) times; the second run must only read"

status=$(play faults.yml faults)
[ "$status" = 2 ] || fail "the run with faulty units ended with $status, not 2 (a failed task)"
check faults '
r("test-north")["failed"] is True and r("test-north")["rc"] == 4 and r("test-north")["changed"] is False
"not responding" in r("test-north")["msg"] and r("test-north")["msg"].startswith("vqxctl: ")
r("test-north")["msg"] in r("test-north")["stderr"]
r("test-south")["failed"] is True and "has MAC 00:50:C2:00:00:03, not 00:50:C2:00:00:02" in r("test-south")["msg"]
'
[ -z "$(set_lines decoy)" ] || fail "the unit with another MAC was written to: $(set_lines decoy | tr '\n' ' ')"

[ "$failures" -eq 0 ] || exit 1
echo "the vqx_unit module reads, writes only what differs, and reports vqxctl's failures"
