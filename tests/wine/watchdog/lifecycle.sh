#!/bin/bash
# The real tolvane.exe from start to end: start-up without a segment and its
# recovery, the heartbeat in bloq 1 at every tick, the single-instance rule,
# the first sweep over planted records (only the system's taskkill runs, and
# only for a plain number of a process not newer than its record; a corrupt
# count logs one range line), and the messages that end it or that it only
# logs.
. "$(dirname "$0")/common.sh"
use_prefix wd-lifecycle
client=
hung=
cleanup() {
    for pid in $client $hung; do kill "$pid" 2>/dev/null || true; done
    cleanup_watchdog_run
}
trap cleanup EXIT
setup_product
# Decoys in the watchdog's working folder: cmd would run either for a bare
# "taskkill"; each notes that it ran in planted-ran.txt.
cp "$BIN/plant.exe" taskkill.exe
printf '@echo %%* >>planted-ran.txt\r\n' >taskkill.bat
"$WINE" cmd /c taskkill /PID 0 >/dev/null 2>&1 || true
[ -e planted-ran.txt ] || fail "a bare taskkill does not find the decoys here"
rm planted-ran.txt

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
# Server and healthy client beat once a minute (each tidies the count), so
# that the count planted below stands at the sweep. The client, between two
# watchdogs, keeps Wine from ending the service.
start_server --interval 60
"$WINE" "$BIN/zorva-client.exe" --interval 60 &
client=$!
client_in() { bloq "$1" | grep -q 'TYP:CLI'; }
wait_for 20 client_in 3 || fail "the client has no record"
"$WINE" "$BIN/zorva-client.exe" --hang &
hung=$!
wait_for 20 client_in 4 || fail "the hung client has no record"
client_pid=$(bloq 3 | cut -c5-10)
hung_pid=$(bloq 4 | cut -c5-10)
# For the first sweep: the hung client's record with a stamp that does not
# parse; a record naming the live client, created long after the record's
# stamp (its number was reused); one whose pid text is a command; a corrupt
# count.
planted=$("$WINE" "$BIN/plant.exe" --at 4 "PID:$hung_pid TYP:CLI INI:99/99/99 99:99:99" \
    "PID:$client_pid TYP:CLI INI:01/01/20 00:00:00" "PID:0&md x TYP:CLI INI:01/01/20 00:00:00" \
    --count 99999 | tr -d '\r' | xargs)
[ "$planted" = "4 5 6" ] || fail "planted records in bloqs $planted"
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

note "the first sweep: the hung client killed by the system's taskkill, nothing run for the others"
# The sweep follows the heartbeat within the same tick and ends with the range
# line of count 99999; emulated, it takes a while.
wait_for 60 log_has "ERROR: ReadBloqFromSharedMemory: offset 256 fuera de rango" || fail "no whole sweep: $(log_lines)"
log_has "WARNING: [WD] TASKKILL Pid: $hung_pid" || fail "no kill of the hung client: $(log_lines)"
wait_for 10 bash -c "! kill -0 $hung 2>/dev/null" || fail "the hung client still runs"
hung=
log_has "WARNING: [WD] TASKKILL omitido, Pid reutilizado: $client_pid" || fail "no line for the reused pid: $(log_lines)"
log_has "WARNING: [WD] TASKKILL omitido, Pid no válido: 0&md x" || fail "no line for the command pid text: $(log_lines)"
kill -0 "$client" || fail "the live client whose number was reused got killed"
[ ! -e planted-ran.txt ] || fail "a planted taskkill ran: $(cat planted-ran.txt)"
[ ! -e x ] && [ ! -e ../x ] || fail "the pid text reached the command interpreter"
[ "$(log_count "ERROR: ReadBloqFromSharedMemory: offset 256 fuera de rango")" = 1 ] \
    && [ "$(log_lines | grep -c 'fuera de rango')" = 1 ] || fail "count 99999: $(log_lines | grep -c 'fuera de rango') range lines"
segview | grep -Eq "INI:01/01/20|INI:99/99/99" && fail "a planted record was not cleared"
log_lines | grep -F -e TASKKILL -e 'fuera de rango'

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
