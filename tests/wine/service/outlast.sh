# A stop that outlasts the 30000 ms budget of StopSvc and completes while
# StartSvc waits for it: the start follows (the sweep's restart path). Also
# with a service that reports an INFINITE wait hint while it stops: StopSvc
# still leaves once its budget has run out.
source "$(dirname "$0")/svc_lib.sh"
service_setup service-outlast
service_create

hints=(2000 4294967295)
slow() { behaviour "start=quick stop=slow:34000 stophint=$1"; }
slow "${hints[0]}"
drive start
check_log "WARNING: [WD] Iniciar el servicio pendiente..." "INFO: [WD] Servicio iniciado correctamente"

for i in "${!hints[@]}"; do
    hint=${hints[i]}
    note "stop-pending for 34 s with wait hint $hint"
    # The restart reads the next row's behaviour.
    slow "${hints[i + 1]:-2000}"
    drive stop start
    check_log "INFO: [WD] Wait timed out" "WARNING: [WD] Iniciar el servicio pendiente..." \
        "INFO: [WD] Servicio iniciado correctamente"
    expect_state RUNNING
    took=$(sed -n 's/^stop took \([0-9]*\) ms$/\1/p' <<<"$DRIVER_OUT")
    [ -n "$took" ] && [ "$took" -ge 30000 ] && [ "$took" -le 40000 ] || fail "StopSvc took ${took:-?} ms"
    grep -q "^state 3 cp 1 hint $hint " "$WORK/svc/trace.txt" || fail "no stop-pending report with hint $hint"
    grep -c "^start in process" "$WORK/svc/trace.txt" | grep -qx $((i + 2)) || fail "expected $((i + 2)) starts"
done

service_cleanup
