#!/bin/bash
# The segment protocol between real processes under Wine: the reference server
# registered and run as the service "ZorvaService", reference clients, the
# watchdog's segment code (in segment_protocol_test.exe) and segview.
. "$(dirname "$0")/../lib.sh"
use_prefix segment

work=$WINEPREFIX/segment-test
mkdir -p "$work/run"
cd "$work/run" # the watchdog's log is "../Log.txt" from here
test_exe=$BIN/segment_protocol_test.exe
server_log=$work/server.log

keeper=
cleanup() {
    if [ -n "$keeper" ]; then
        sc stop ZorvaService >/dev/null || true
        sc delete ZorvaService >/dev/null || true
        kill "$keeper" 2>/dev/null || true
    fi
    stop_prefix
    rm -rf "$WINEPREFIX"
}
trap cleanup EXIT

note "logic of the client table, and failures before any server exists"
"$WINE" "$test_exe" --gtest_filter='ClientTable.*:ClientPid.*:ClientCount.*:VisibleBloqText.*:NoServer.*' \
    || fail "segment tests without a server"

# Wine ends its services once no ordinary process is left in the prefix.
"$WINE" "$test_exe" --idle 600 &
keeper=$!

note "register and start ZorvaService"
binpath="$(winpath "$BIN/zorva-server.exe") --interval 1 --stop-delay 1500 --log $(winpath "$server_log")"
register_service ZorvaService "$binpath"

note "segview shows the server's record and the count"
view=$("$WINE" "$BIN/segview.exe" | tr -d '\r')
echo "$view"
grep -Eq '^bloq   0: PID:[0-9]{6} TYP:SVR INI:[0-9]{2}/[0-9]{2}/[0-9]{2} [0-9:]{8} \| .* \| FRESH$' <<<"$view" \
    || fail "segview shows no server record"
grep -Fxq 'bloq   2: 0    \0 x 35 | count | NOT JUDGED: client count field' <<<"$view" || fail "segview shows no count bloq"
grep -Fxq 'client count: 0 (field "0    ", compacted "0"): next sweep judges no client bloq' <<<"$view" || fail "segview shows no client count"

note "the protocol between the service, clients and the watchdog's code"
"$WINE" "$test_exe" --gtest_filter='Service.*' || fail "segment tests with the service"

note "stop and delete ZorvaService"
sc stop ZorvaService >/dev/null || fail "sc stop"
wait_service_state ZorvaService STOPPED || fail "ZorvaService did not stop"
tail -n 1 "$server_log" | grep -q '\] stopped'$'\r''$' || fail "the server log does not end with a clean stop"
sc delete ZorvaService >/dev/null || fail "sc delete"
sc query ZorvaService | grep -q STATE && fail "ZorvaService still registered"
kill "$keeper" 2>/dev/null || true
keeper=
note "done"
