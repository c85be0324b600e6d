# Sourced by vqxsu-suites-under-wine update: Update Settings, History, Attention and Reset
# in one run of vqxsu.exe (each start of Wine costs seconds).

[ -f "$wire_lines" ] || fail "no wire lines file at $wire_lines"
# The Linux program's test unit: the simulated unit as it starts, named Tower 2; it
# reboots in a second.
start_unit '{"NAME": "Tower 2"}' --reboot-ms 1000
write_prefs
start_vqxsu
run_probe wait-main $start_limit_ms || fail "vqxsu.exe showed no main window"
wait_read_done 0
run_probe wait-text 1015 "Tower 2" $reply_ms || fail "the unit's name did not reach the form"

# rebooted_and_read MARK: the unit took nothing after the SAVE that followed MARK (as
# typed, in any case) until the reboot wait was over, and then was read in full.
rebooted_and_read() {
  local mark=$1 saved_at next_at after_save waited=0
  local save=' <- [Ss][Aa][Vv][Ee]$'
  saved_at=$(log_since "$mark" | sed -n "s/^vqxsim *\([0-9]*\) ms$save/\1/p" | head -n 1)
  [ -n "$saved_at" ] || fail "SAVE never went out"
  until after_save=$(log_since "$mark" | sed -n "/$save/,\$p" | tail -n +2) &&
        printf '%s\n' "$after_save" | grep -- ' <- ' >/dev/null; do
    [ $waited -le $((reboot_wait_ms + read_limit_ms)) ] || fail "the unit was not read after the reboot wait"
    sleep 0.05
    waited=$((waited + 50))
  done
  next_at=$(printf '%s\n' "$after_save" | sed -n 's/^vqxsim *\([0-9]*\) ms <- .*/\1/p' | head -n 1)
  [ $((next_at - saved_at)) -ge $reboot_wait_ms ] ||
    fail "the unit took a line $((next_at - saved_at)) ms after SAVE, within the reboot wait"
  # Only the changed rows went out before SAVE: the first VSENSE since MARK is the new read's.
  wait_read_done "$mark"
}

# Update Settings: the same change as the Linux program's test, the same lines on the wire.
run_probe set-text 1015 Relay-7 choose 1120 "ADPCM 32Kbps" set-text 1017 41 set-text 1022 150 click 1127 sleep 300 ||
  fail "could not change the form"
mark=$(log_mark)
run_probe click 1088 || fail "could not click Update Settings"
wait_line "$mark" SAVE $read_limit_ms || fail "Update Settings sent no SAVE"
lines_since "$mark" | sed '/^SAVE$/q' >"$work/update.lines"
diff "$wire_lines" "$work/update.lines" >&2 ||
  fail "Update Settings sent other lines than the Linux vqxsu (above: < Linux, > vqxsu.exe)"
rebooted_and_read "$mark"
run_probe wait-text 1015 Relay-7 $reply_ms wait-text 1120 "ADPCM 32Kbps" $reply_ms wait-text 1017 41 $reply_ms \
  wait-text 1022 150 $reply_ms ||
  fail "the read after the reboot did not show the settings saved"
echo "update: $(wc -l <"$work/update.lines") lines as the Linux vqxsu's, SAVE last; the reboot wait kept; read anew"

# History: two entries of the unit as read; "(All)" shows the report of both.
run_probe click 1086 sleep 300 click 1108 sleep 300 click 1108 wait-list-count 1114 3 $reply_ms ||
  fail "two Adds did not make two History entries"
[ "$(prefs_history_count)" = 2 ] || fail "the preferences file holds $(prefs_history_count) History entries, not 2"
run_probe select-list 1114 0 wait-text-has 1145 "Relay-7" $reply_ms || fail "selecting (All) showed no report"
run_probe print-text 1145 >"$work/pane.txt" || fail "could not read the report pane"
[ "$(grep -c 'Relay-7' "$work/pane.txt")" -ge 2 ] || fail "the report does not show both entries"
[ "$(grep -c '' "$work/pane.txt")" -ge 20 ] || fail "the report has fewer than 20 lines"
# History.txt holds the pane's lines as the edit control counts them, each ended by CR LF:
# the pane's text ends with a line break, so its last, empty line adds one more.
run_probe click 1116 wait-box-text 'Output window saved as "History.txt"' $reply_ms ok-box ||
  fail "Save did not say History.txt was written"
[ -f "$work/History.txt" ] || fail "no History.txt in the working directory"
{ cat "$work/pane.txt"; printf '\r\n'; } >"$work/History.expected"
cmp "$work/History.expected" "$work/History.txt" >&2 || fail "History.txt is not the report with CR LF line ends"
[ "$(tr -d '\n' <"$work/History.txt" | tr -cd '\r' | wc -c)" = "$(grep -c '' "$work/History.txt")" ] ||
  fail "History.txt has a line break other than CR LF"
grep -q $'\r\r' "$work/History.txt" && fail "History.txt has a doubled CR"
run_probe select-list 1114 1 sleep 300 click 1110 wait-list-count 1114 2 $reply_ms || fail "Remove left the entry"
[ "$(prefs_history_count)" = 1 ] || fail "the removal was not stored at once ($(prefs_history_count) entries)"
echo "history: two Adds stored, the report shown and saved as History.txt ($(wc -c <"$work/History.txt") bytes), Remove stored"

# Attention: the unit is read again.
mark=$(log_mark)
run_probe click 1085 sleep 300 click 1107 || fail "could not click Attention"
wait_read_done "$mark"
run_probe wait-text 1015 Relay-7 $reply_ms || fail "the read by Attention did not reach the form"
echo "attention: read again"

# Reset during the reboot wait after a typed SAVE: the port is opened anew at 9600 8N1,
# and the unit is read only once the wait is over.
mark=$(log_mark)
run_probe type 1009 save enter 1009 || fail "could not type SAVE"
wait_line "$mark" save $((2 * reply_ms)) || fail "the typed SAVE did not go out"
run_probe sleep 500 menu 40015 || fail "could not choose Reset"
rebooted_and_read "$mark"
echo "reset: the reboot wait kept, then read"

close_and_check "$(log_mark)" 0
echo "vqxsu-suites-under-wine update: passed"
