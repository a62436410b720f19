# A stop that never completes, already pending when StopSvc comes: StopSvc
# gives up after 30000 ms without sending a control, and StartSvc gives up
# once the check point has not risen for longer than the wait hint.
source "$(dirname "$0")/svc_lib.sh"
service_setup service-hang
service_create

behaviour "start=quick stop=hang"
drive start
check_log "WARNING: [WD] Iniciar el servicio pendiente..." "INFO: [WD] Servicio iniciado correctamente"
"$WINE" sc stop ZorvaService >/dev/null 2>&1
expect_state STOP_PENDING

drive stop
check_log "WARNING: [WD] Detener el servicio pendiente..." \
    "WARNING: [WD] Tiempo de espera agotado para detener el servicio"
# One pass a second (a tenth of the 1000 ms hint, raised to 1000) for 30 s.
passes=$(count_new "WARNING: [WD] Detener el servicio pendiente...")
[ "$passes" -ge 28 ] && [ "$passes" -le 31 ] || fail "$passes pending passes"
grep -c "^stop control" "$WORK/svc/trace.txt" | grep -qx 1 || fail "StopSvc sent a control of its own"

drive start
check_log "WARNING: [WD] Tiempo de espera agotado para detener el servicio"
expect_state STOP_PENDING
grep -c "^start in process" "$WORK/svc/trace.txt" | grep -qx 1 || fail "the service was started again"

service_cleanup
