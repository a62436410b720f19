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
