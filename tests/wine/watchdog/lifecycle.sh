#!/bin/bash
# The real tolvane.exe from start to end: start-up without a segment and its
# recovery, the heartbeat in bloq 1 at every tick, the single-instance rule,
# and the messages that end it or that it only logs.
. "$(dirname "$0")/common.sh"
use_prefix wd-lifecycle
client=
cleanup() {
    [ -n "$client" ] && kill "$client" 2>/dev/null || true
    cleanup_watchdog_run
}
trap cleanup EXIT
setup_product

note "start-up with no segment: both ERROR lines, and the window runs"
start_watchdog
no_segment=("ERROR: [WD] Could not create file mapping object, error: 2" "ERROR: Memoria compartida no disponible")
[ "$(log_lines)" = "$(printf '%s\n' "${no_segment[@]}")" ] || fail "start-up log: $(log_lines)"

note "a second copy, and copies under other names, end at once with code 0 and no trace"
cp tolvane.exe watchdog.exe
before=$(cat "$log")
for copy in tolvane.exe watchdog.exe; do
    code=0
    timeout 30 "$WINE" "$copy" || code=$?
    [ "$code" -eq 0 ] || fail "$copy ended with exit code $code"
done
mkdir -p upper && cp tolvane.exe upper/Tolvane.exe
code=0
timeout 30 "$WINE" upper/Tolvane.exe || code=$?
[ "$code" -eq 0 ] || fail "Tolvane.exe ended with exit code $code"
[ "$(cat "$log")" = "$before" ] || fail "a copy wrote to the log"

note "WM_COPYDATA from another process is logged and answered with 0"
[ "$(wdmsg copydata)" = 0 ] || fail "WM_COPYDATA was not answered with 0"
log_has "INFO: [WD] WM_COPYDATA: 74" || fail "no WM_COPYDATA line"

note "still no segment at the first tick, 30 s later: the same two lines again"
ticked_without_segment() { [ "$(log_count "ERROR: Memoria compartida no disponible")" -eq 2 ]; }
wait_for 40 ticked_without_segment || fail "no second open attempt: $(log_lines)"
[ "$(log_lines | grep -v COPYDATA)" = "$(printf '%s\n' "${no_segment[@]}" "${no_segment[@]}")" ] \
    || fail "first tick: $(log_lines)"

note "the segment appears: the next tick opens it and writes bloq 1"
start_server --interval 2
# A healthy client: between two watchdogs it keeps Wine from ending the service.
"$WINE" "$BIN/zorva-client.exe" --interval 2 &
client=$!
# Two stale records that the first sweep must not act on beyond its log line
# and the clearing: one names the live client, created long after the record's
# stamp (its number was reused); one holds a pid text that is a command.
client_recorded() { [ -n "$(bloq 3)" ]; }
wait_for 20 client_recorded || fail "the client has no record"
client_pid=$(bloq 3 | cut -c5-10)
planted=$("$WINE" "$BIN/plant.exe" "PID:$client_pid TYP:CLI INI:01/01/20 00:00:00" | tr -d '\r')
[ "$planted" = 4 ] || fail "planted record in bloq $planted"
"$WINE" "$BIN/plant.exe" "PID:0&md x TYP:CLI INI:01/01/20 00:00:00" >/dev/null || fail "second planted record"
record_pattern='^PID:[0-9]{6} TYP:WDG INI:[0-9]{2}/[0-9]{2}/[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}$'
bloq1_written() { [ -n "$(bloq 1)" ]; }
wait_for 40 bloq1_written || fail "no heartbeat in bloq 1 after the first tick"
first=$(bloq 1)
grep -Eq "$record_pattern" <<<"$first" || fail "bloq 1 holds '$first'"
[ "$(log_count "ERROR: Memoria compartida no disponible")" -eq 2 ] || fail "the open failed again: $(log_lines)"
bloq1_refreshed() { [ "$(bloq 1)" != "$first" ]; }
wait_for 40 bloq1_refreshed || fail "bloq 1 not refreshed 30 s later"
second=$(bloq 1)
grep -Eq "$record_pattern" <<<"$second" || fail "bloq 1 holds '$second'"
[ "${first:0:10}" = "${second:0:10}" ] || fail "another pid in bloq 1: $first / $second"
seconds() { local t=${1:32:8}; echo $((10#${t:0:2} * 3600 + 10#${t:3:2} * 60 + 10#${t:6:2})); }
gap=$(( ($(seconds "$second") - $(seconds "$first") + 86400) % 86400 ))
[ "$gap" -ge 28 ] && [ "$gap" -le 33 ] || fail "heartbeats $gap s apart"
echo "heartbeats: $first, then $second"

note "the first sweep: both planted records logged and cleared, nothing run for them"
# The sweep follows the heartbeat within the same tick; emulated, it takes a while.
wait_for 30 log_has "WARNING: [WD] TASKKILL Pid: 0&md x" || fail "no sweep: $(log_lines)"
log_has "WARNING: [WD] TASKKILL Pid: $client_pid" || fail "no line for the reused pid: $(log_lines)"
log_has "WARNING: [WD] TASKKILL Pid: 0&md x" || fail "no line for the command pid text: $(log_lines)"
kill -0 "$client" || fail "the live client whose number was reused got killed"
[ ! -e x ] && [ ! -e ../x ] || fail "the pid text reached the command interpreter"
segview | grep -q 'INI:01/01/20' && fail "a planted record was not cleared"

note "log-off: WM_QUERYENDSESSION is logged, not vetoed, and ends the watchdog with bloq 1 cleared"
[ "$(wdmsg queryendsession)" != 0 ] || fail "WM_QUERYENDSESSION vetoed the log-off"
expect_watchdog_exit
log_has "INFO: [WD] WM_LOGINOFF: 17" || fail "no WM_LOGINOFF 17 line"
[ -z "$(bloq 1)" ] || fail "bloq 1 not cleared: $(bloq 1)"

note "shut-down: WM_ENDSESSION alone"
start_watchdog
grep -Eq "$record_pattern" <<<"$(bloq 1)" || fail "no heartbeat at start-up"
wdmsg endsession >/dev/null
expect_watchdog_exit
log_has "INFO: [WD] WM_LOGINOFF: 22" || fail "no WM_LOGINOFF 22 line"
[ -z "$(bloq 1)" ] || fail "bloq 1 not cleared"

note "WM_CLOSE: ends it silently"
start_watchdog
lines=$(log_lines | wc -l)
wdmsg close >/dev/null
expect_watchdog_exit
[ -z "$(bloq 1)" ] || fail "bloq 1 not cleared"
[ "$(log_lines | wc -l)" -eq "$lines" ] || fail "WM_CLOSE wrote to the log"

note "the log, CR LF on disk"
cat "$log"
grep -c $'\r$' "$log" | grep -qx "$(wc -l <"$log")" || fail "a line without CR LF"
note "done"
