# A stop that outlasts the 30000 ms budget of StopSvc and completes while
# StartSvc waits for it: the start follows (the sweep's restart path).
source "$(dirname "$0")/svc_lib.sh"
service_setup service-outlast
service_create

behaviour "start=quick stop=slow:34000"
drive start
check_log "WARNING: [WD] Iniciar el servicio pendiente..." "INFO: [WD] Servicio iniciado correctamente"

drive stop start
check_log "INFO: [WD] Wait timed out" "WARNING: [WD] Iniciar el servicio pendiente..." \
    "INFO: [WD] Servicio iniciado correctamente"
expect_state RUNNING
grep -c "^start in process" "$WORK/svc/trace.txt" | grep -qx 2 || fail "expected two starts of the service"

service_cleanup
