# Sourced by vqxsu-suites-under-wine faults: the options, and what the Linux program's
# suites do to the unit and the port, each with a fresh vqxsu.exe.

# A program for the desktop has no console here: it answers in a box, with the Linux
# vqxsu's texts and exit codes, and no main window.
option_answers() {  # OPTION TEXT EXIT_CODE
  start_vqxsu "$1"
  run_probe wait-box-text "$2" $start_limit_ms no-main-shown ok-box || fail "vqxsu.exe $1 did not answer \"$2\" alone"
  wait_exit $((2 * reply_ms))
  [ "$exit_code" -eq "$3" ] || fail "vqxsu.exe $1 ended with $exit_code, not $3"
}
option_answers --help "  --demo     talk to a simulated VQX-2" 0
option_answers --version "vqxsu 1.3.7 - VQX Setup Utility Version 1.3 (Build 7)" 0
option_answers --port=COM1 "vqxsu: unknown option '--port=COM1'" 2
echo "options: --help, --version and an unknown option answered as the Linux vqxsu, exit codes 0, 0, 2"

# The stored port cannot be opened (nothing is mapped to it): the warning comes before the
# main window; Attention then says why it cannot act.
write_prefs
start_vqxsu
run_probe wait-box-text "The serial port could not be opened" $start_limit_ms no-main-shown ok-box ||
  fail "no warning before the main window of a port that cannot be opened"
run_probe wait-main $start_limit_ms sleep 500 click 1107 \
  wait-box-text "The serial port is not open. Choose a port with File, Select Serial Port..." $reply_ms ok-box ||
  fail "Attention without a port did not say the port is not open"
close_and_check "$(log_mark)" 0
echo "port that fails at start: warned before the window; Attention says the port is not open; exit 0"

# The adapter pulled out mid-read: the loss is warned of once, and no "not responding"
# follows however long one waits.
start_unit '{"NAME": "Tower 7"}' --stat con
mark=$(log_mark)
start_vqxsu
run_probe wait-main $start_limit_ms || fail "vqxsu.exe showed no main window"
wait_line "$mark" MAC $read_limit_ms || fail "the read did not reach MAC"
stop_unit
rm -f "$link"
run_probe wait-box-text "was lost" $((2 * reply_ms)) ok-box || fail "the pulled adapter was not warned of"
run_probe no-box $((reply_ms + 500)) || fail "a second box followed the pulled adapter's warning"
# The unit was pulled in command mode and nothing can reach it now: the close says so.
run_probe close wait-box-text "may still be in command mode" $leave_limit_ms ok-box ||
  fail "the close after the pulled adapter did not say the unit may be left in command mode"
wait_exit $leave_limit_ms
[ "$exit_code" -eq 0 ] || fail "vqxsu.exe ended with $exit_code after the adapter was pulled"
echo "pulled adapter: warned once; the close says the unit may be in command mode; exit 0"

# A unit that talks without pause and without line breaks: the output window fills, the
# window keeps answering within a reply time-out, and the close still sends ECHO ON and
# TRAN (the unit may have heard the escape) within the leave's bound, without a box.
start_unit '{}' --babble
start_vqxsu
run_probe wait-main $start_limit_ms || fail "vqxsu.exe showed no main window"
run_probe wait-text-length 1008 10000 $((2 * guard_ms + 3 * reply_ms + 2000)) ||
  fail "the unit's talk did not fill the output window"
# In the stored view (Settings) the window answers within a reply time-out, as the Linux
# program's window must.
run_probe responsive $reply_ms || fail "the flooded window did not answer"
# Switched to the Terminal view, the flooded output window is shown and keeps taking the
# flood: the window still answers within the close's bound at once, and within a reply
# time-out once shown (an edit control that took every character of the flood fell ever
# further behind and stopped answering for more than 24 s).
run_probe click 1085 responsive $leave_limit_ms sleep 500 responsive $leave_limit_ms sleep 500 \
  responsive $leave_limit_ms sleep 500 responsive $leave_limit_ms || fail "the flooded Terminal view froze"
run_probe sleep 1000 responsive $reply_ms sleep 500 responsive $reply_ms || fail "the shown Terminal view kept freezing"
close_and_check "$(log_mark)" 1
stop_unit
echo "flood: the window answered, closed with ECHO ON and TRAN, exit 0"

# A unit that answers ERR to TRAN: the close says it may still be in command mode.
start_unit '{"NAME": "Tower 7"}' --unsupported TRAN
mark=$(log_mark)
start_vqxsu
run_probe wait-main $start_limit_ms || fail "vqxsu.exe showed no main window"
wait_read_done "$mark"
mark=$(log_mark)
run_probe menu 40001 wait-box-text "may still be in command mode" $leave_limit_ms ok-box ||
  fail "the refused TRAN was not reported"
wait_exit $leave_limit_ms
[ "$exit_code" -eq 0 ] || fail "vqxsu.exe ended with $exit_code after the refused TRAN"
[ "$(lines_since "$mark" | tail -n 2 | tr '\n' '|')" = "ECHO ON|TRAN|" ] ||
  fail "the unit's last lines were $(lines_since "$mark" | tr '\n' '|')"
stop_unit
echo "TRAN not confirmed: the box said so, exit 0"
echo "vqxsu-suites-under-wine faults: passed"
