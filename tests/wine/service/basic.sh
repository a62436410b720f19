# StopSvc and StartSvc against Wine's service manager, short cases in one
# prefix: a missing service, quick and slow starts and stops, stops already
# pending, a control handler that answers late, a failed and a stalled start.
source "$(dirname "$0")/svc_lib.sh"
PIPE_TIMEOUT=3000 service_setup service-basic

note "no service installed"
drive stop start
check_log "ERROR: [WD] OpenService en StopSvc, error: 1060" "ERROR: [WD] OpenService en StartSvc, error: 1060"

service_create
note "already stopped: nothing to do, nothing logged"
drive stop
check_log
expect_state STOPPED

note "start from stopped, refused while running"
behaviour "start=quick stop=quick"
drive start start
check_log "WARNING: [WD] Iniciar el servicio pendiente..." "INFO: [WD] Servicio iniciado correctamente" \
    "WARNING: [WD] No se puede iniciar el servicio por que esta en ejecución"
expect_state RUNNING

note "dependents: Wine's enumeration answers an empty list"
drive dependents
grep -qx "enum 1 error 0 .* count 0" <<<"$DRIVER_OUT" || fail "enumeration: $DRIVER_OUT"
grep -qx "StopDependents 1" <<<"$DRIVER_OUT" || fail "StopDependents: $DRIVER_OUT"
check_log

note "quick stop"
drive stop
check_log "INFO: [WD] Servicio detenido correctamente"
expect_state STOPPED

note "slow start whose check point keeps rising past its wait hint, slow stop"
behaviour "start=slow:2500 stop=slow:3000"
drive start stop
check_log "WARNING: [WD] Iniciar el servicio pendiente..." "INFO: [WD] Servicio iniciado correctamente" \
    "INFO: [WD] Servicio detenido correctamente"
expect_state STOPPED

note "StopSvc finds a stop already pending"
"$WINE" sc start ZorvaService >/dev/null 2>&1
wait_state RUNNING 10
"$WINE" sc stop ZorvaService >/dev/null 2>&1
drive stop
check_log "WARNING: [WD] Detener el servicio pendiente..." "INFO: [WD] Servicio detenido correctamente"
[ "$(count_new "WARNING: [WD] Detener el servicio pendiente...")" -ge 2 ] || fail "expected several pending passes"
expect_state STOPPED

note "StartSvc finds a stop pending; it ends at check point 0 and the start follows"
"$WINE" sc start ZorvaService >/dev/null 2>&1
wait_state RUNNING 10
"$WINE" sc stop ZorvaService >/dev/null 2>&1
behaviour "start=quick stop=deaf:5000"
drive start
check_log "WARNING: [WD] Iniciar el servicio pendiente..." "INFO: [WD] Servicio iniciado correctamente"
expect_state RUNNING

note "a control handler that answers too late"
drive stop
check_log "ERROR: [WD] ControlService, error: 1053"
wait_state STOPPED 15

note "a start that falls back to stopped"
behaviour "start=fail"
drive start
check_log "WARNING: [WD] Iniciar el servicio pendiente..." "ERROR: [WD] Service ZorvaService no iniciado " \
    " Current State: 1" " Exit Code: 1066" " Check Point: 0" " Wait Hint: 0"
expect_state STOPPED

note "a start that stalls, then a stop it cannot accept"
behaviour "start=stall"
drive start stop
# Windows refuses the control with 1061; Wine answers 1052.
check_log "WARNING: [WD] Iniciar el servicio pendiente..." "ERROR: [WD] Service ZorvaService no iniciado " \
    " Current State: 2" " Exit Code: 0" " Check Point: 1" " Wait Hint: 2000" \
    "~ERROR: \[WD\] ControlService, error: (1052|1061)"
expect_state START_PENDING

service_cleanup
