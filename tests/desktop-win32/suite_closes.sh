# Sourced by vqxsu-suites-under-wine closes: vqxsu.exe closed at random moments of a
# read, as the Linux program's random close test does. VQX_RANDOM_CLOSES sets the count
# (10 by default), VQX_SEED the seed.

closes=${VQX_RANDOM_CLOSES:-10}
seed=${VQX_SEED:-20261208}
RANDOM=$seed
# One unit for every run, as one unit stays on its port while the program is started and
# closed again: each close must leave it transparent for the next.
start_unit '{"NAME": "Tower 7"}' --stat con --reboot-ms 1000
write_prefs

# How long a read takes here, from the main window to the read's end.
start_vqxsu
run_probe wait-main $start_limit_ms || fail "vqxsu.exe showed no main window"
started=$(date +%s%3N)
wait_read_done 0
read_span_ms=$(($(date +%s%3N) - started))
close_and_check "$(log_mark)" 0
echo "closes: a read takes $read_span_ms ms here; $closes closes from seed $seed"

for i in $(seq 1 "$closes"); do
  # Most reads start with the program; one in ten is started by Attention, and the last
  # follows the reboot wait after a typed SAVE.
  kind="the first read"
  [ $((i % 10)) -eq 5 ] && kind="a read by Attention"
  [ "$i" -eq "$closes" ] && [ "$closes" -gt 1 ] && kind="the read after the reboot wait"
  mark=$(log_mark)
  start_vqxsu
  run_probe wait-main $start_limit_ms || fail "close $i: vqxsu.exe showed no main window"
  case "$kind" in
    "a read by Attention")
      wait_read_done "$mark"
      mark=$(log_mark)
      run_probe click 1107 || fail "close $i: could not click Attention"
      ;;
    "the read after the reboot wait")
      wait_read_done "$mark"
      mark=$(log_mark)
      run_probe click 1085 sleep 300 type 1009 SAVE enter 1009 || fail "close $i: could not type SAVE"
      wait_line "$mark" SAVE $((2 * reply_ms)) || fail "close $i: the typed SAVE did not go out"
      # The wait is over once the unit is addressed again.
      waited=0
      until lines_since "$mark" | sed '0,/^SAVE$/d' | grep . >/dev/null; do
        [ $waited -le $((reboot_wait_ms + read_limit_ms)) ] || fail "close $i: the unit was not read after the reboot wait"
        sleep 0.05
        waited=$((waited + 50))
      done
      mark=$(log_mark)
      ;;
  esac
  delay_ms=$(( (RANDOM * 32768 + RANDOM) % (read_span_ms + 1) ))
  sleep "$(printf '%d.%03d' $((delay_ms / 1000)) $((delay_ms % 1000)))"
  way=$((i % 3))
  echo "close $i of $closes: $delay_ms ms into $kind, by $(case $way in 0) echo the close box;; 1) echo File/Exit;; *) echo Alt+F4;; esac)"
  close_and_check "$mark" "$way"
done
echo "vqxsu-suites-under-wine closes: passed"
