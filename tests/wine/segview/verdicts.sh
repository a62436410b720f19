#!/bin/bash
# segview's verdicts against what the real watchdog then does at its first
# sweep. Planted beside a live client's fresh record: a stale record naming
# that client (its pid reused since), a stale one of a pid no process holds, a
# pid that is no number, a stamp that does not parse (naming the client, which
# is really killed) and a stamp ahead of the clock. The log lines the JSON
# names, in bloq order, must be the whole log of the sweep; the bloqs of the
# stale records must be cleared and the others left. Also the exit codes.
. "$(dirname "$0")/../watchdog/common.sh"
use_prefix segview-verdicts
server=; client=
cleanup() {
    for pid in $client $server ${wd:-}; do kill "$pid" 2>/dev/null || true; done
    stop_prefix
    rm -rf "$WINEPREFIX"
}
trap cleanup EXIT
setup_product
inspect() { "$WINE" "$BIN/segview.exe" "$@" 2>"$prod/stderr" | tr -d '\r'; }
expect_exit() { # expect_exit CODE MESSAGE-PART ARGS...
    local want=$1 text=$2 code=0
    shift 2
    inspect "$@" >/dev/null || code=$?
    [ "$code" -eq "$want" ] || fail "segview $* ended with $code, not $want: $(cat "$prod/stderr")"
    grep -q "$text" "$prod/stderr" || fail "segview $*: no '$text' in: $(cat "$prod/stderr")"
}

note "exit codes: a usage error, no segment, an abandoned mutex"
expect_exit 1 "seconds from 1" --watch 0
expect_exit 2 "does not exist"
touch "$WINEPREFIX/drive_c/hung"
"$WINE" "$BIN/zorva-server.exe" --console --hang-file 'C:\hung' 2>/dev/null & server=$!
wait_for 30 bash -c "'$WINE' '$BIN/segview.exe' >/dev/null 2>&1" || fail "the server made no segment"
"$WINE" "$BIN/plant.exe" --abandon
expect_exit 4 "abandoned"
inspect >/dev/null || fail "the abandoned mutex was not released: $(cat "$prod/stderr")"

note "a live client, then the planted records"
"$WINE" "$BIN/zorva-client.exe" --hang >/dev/null 2>&1 & client=$!
client_in_3() { bloq 3 | grep -q 'TYP:CLI'; }
wait_for 20 client_in_3 || fail "the client has no record: $(segview)"
client_pid=$(bloq 3 | cut -c5-10)
old='INI:01/01/20 00:00:00'
for record in "PID:$client_pid TYP:CLI $old" "PID:999996 TYP:CLI $old" "PID:12ab34 TYP:CLI $old" \
              "PID:$client_pid TYP:CLI INI:no stamp" "PID:000124 TYP:CLI INI:$(date -d '+10 min' '+%d/%m/%y %T')"; do
    "$WINE" "$BIN/plant.exe" "$record" >/dev/null || fail "cannot plant $record"
done
json=$(inspect --json)
start_watchdog
inspect
judged=$(jq -r '.bloqs[] | select(.bloq >= 3) | "\(.bloq) \(.verdict) \(.action)"' <<<"$json")
expected_verdicts="3 FRESH none
4 STALE kill-omitted-pid-reused
5 STALE kill
6 STALE kill-omitted-pid-not-valid
7 NO STAMP kill
8 FUTURE none"
[ "$judged" = "$expected_verdicts" ] || fail "verdicts: $judged"
[ "$(jq -c .count.judges <<<"$json")" = "[3,8]" ] || fail "count: $(jq -c .count <<<"$json")"

note "the first sweep, 60 s after the start, writes exactly the lines the inspector named"
expected=$(jq -r '(.bloqs[] | .log // empty), .count.log[]' <<<"$json")
swept() { [ "$(log_lines | wc -l)" -ge "$(wc -l <<<"$expected")" ]; }
wait_for 100 swept || fail "no sweep: $(log_lines)"
sleep 2
[ "$(log_lines)" = "$expected" ] || fail "the log: $(log_lines)
the inspector expected: $expected"
after=$(inspect --json)
for bloq in $(jq -r '.bloqs[] | select(.bloq >= 3) | .bloq' <<<"$json"); do
    was=$(jq -r ".bloqs[] | select(.bloq == $bloq) | .action" <<<"$json")
    now=$(jq -r "[.bloqs[] | select(.bloq == $bloq)] | length" <<<"$after")
    if [ "$was" = none ]; then want=1; else want=0; fi
    [ "$now" = "$want" ] || fail "bloq $bloq (action $was) after the sweep: $(inspect)"
done
wait_for 10 bash -c "! kill -0 $client 2>/dev/null" \
    || fail "the client named by the unparseable stamp still runs"
jq -e '.watchdog.record and (.watchdog.silent | not)' <<<"$after" >/dev/null || fail "watchdog: $(jq -c .watchdog <<<"$after")"
inspect
wdmsg close >/dev/null
expect_watchdog_exit
note "done"
