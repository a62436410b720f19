#!/bin/bash
# The watchdog's whole job, for real: a hung client that wrote its own record
# is killed with taskkill and its bloq cleared while a healthy one is left
# alone; a hung server gets its service stopped and started again, every minute
# while its record stays stale; "../wdnokill.txt" is emptied before each restart.
. "$(dirname "$0")/common.sh"
use_prefix wd-sweep
clients=()
cleanup() {
    for pid in "${clients[@]}"; do kill "$pid" 2>/dev/null || true; done
    cleanup_watchdog_run
}
trap cleanup EXIT
setup_product
hang_file=$WINEPREFIX/drive_c/server-hung

note "server and two clients; then the second client and the server hang"
"$WINE" "$BIN/zorva-client.exe" --interval 2 & clients+=($!)
start_server --interval 2 --hang-file "$(winpath "$hang_file")"
client_in() { bloq "$1" | grep -q 'TYP:CLI'; }
wait_for 20 client_in 3 || fail "the healthy client has no record: $(segview)"
"$WINE" "$BIN/zorva-client.exe" --interval 2 --hang & clients+=($!)
hung_client=${clients[1]}
wait_for 20 client_in 4 || fail "the hung client has no record: $(segview)"
healthy_pid=$(bloq 3 | cut -c5-10)
hung_pid=$(bloq 4 | cut -c5-10)
touch "$hang_file"
printf 'left by the server\r\n' >"$prod/wdnokill.txt"
segview

# Let the records age, so that the first sweep, 60 s after the watchdog
# starts, finds them stale.
sleep 35
start_watchdog
segview

note "the first sweep kills the hung client and restarts the service"
killed() { log_has "WARNING: [WD] TASKKILL Pid: $hung_pid"; }
wait_for 90 killed || fail "no kill of $hung_pid: $(log_lines)"
segview
wait_for 10 bash -c "! kill -0 $hung_client 2>/dev/null" || fail "the hung client still runs"
segview | grep -q "PID:$hung_pid" && fail "the hung client's record is still there"
kill -0 "${clients[0]}" || fail "the healthy client was killed"
segview | grep -q "PID:$healthy_pid" || fail "the healthy client's record is gone"
log_has "WARNING: [WD] TASKKILL Pid: $healthy_pid" && fail "the healthy client was judged stale"
[ -f "$prod/wdnokill.txt" ] && [ ! -s "$prod/wdnokill.txt" ] || fail "wdnokill.txt missing or not emptied"

restart=("INFO: [WD] STOP START SERVER" "INFO: [WD] Servicio detenido correctamente"
         "WARNING: [WD] Iniciar el servicio pendiente..." "INFO: [WD] Servicio iniciado correctamente")
expected=$(printf '%s\n' "${restart[@]}" "WARNING: [WD] TASKKILL Pid: $hung_pid")
[ "$(log_lines)" = "$expected" ] || fail "first sweep: $(log_lines)"
[ "$(service_state ZorvaService)" = RUNNING ] || fail "the service is not running again"

note "the restarted server is still hung: the next sweep restarts it again"
printf 'again\r\n' >"$prod/wdnokill.txt"
restarted_twice() { [ "$(log_count "INFO: [WD] STOP START SERVER")" -ge 2 ]; }
wait_for 75 restarted_twice || fail "no second restart: $(log_lines)"
wait_for 30 bash -c "[ \$(grep -c 'Servicio iniciado correctamente' '$log') -ge 2 ]" || fail "second start not reported"
[ ! -s "$prod/wdnokill.txt" ] || fail "wdnokill.txt not emptied again"
grep -Eq '^PID:[0-9]{6} TYP:WDG' <<<"$(bloq 1)" || fail "no watchdog heartbeat in bloq 1"

note "the log"
cat "$log"
wdmsg close >/dev/null
expect_watchdog_exit
note "done"
