# Shared by the service-control scripts: a prefix with the test service
# registered as "ZorvaService", the driver that calls StopSvc and StartSvc,
# and checks of the log and of the service's state.
source "$(dirname "${BASH_SOURCE[0]}")/../lib.sh"

# Sets up prefix NAME. The work folder lives in the prefix, so that it goes
# with it: svc/ holds the service, run/ is the driver's current folder and
# Log.txt lands beside them.
service_setup() {
    use_prefix "$1"
    WORK=$WINEPREFIX/drive_c/svctest
    mkdir -p "$WORK/svc" "$WORK/run"
    cp "$BIN/wd_testsvc.exe" "$WORK/svc/"
    if [ -n "${PIPE_TIMEOUT:-}" ]; then
        # How long the manager waits for a control handler; read when it starts.
        "$WINE" reg add 'HKLM\System\CurrentControlSet\Control' /v ServicesPipeTimeout /t REG_SZ \
            /d "$PIPE_TIMEOUT" /f >/dev/null 2>&1
        "$WINESERVER" -k 2>/dev/null || true
        "$WINESERVER" -w
    fi
    # Wine ends its service manager, and every service with it, once no
    # ordinary process is left in the prefix: keep one alive meanwhile.
    touch "$WORK/run/hold"
    (cd "$WORK/run" && exec "$WINE" "$BIN/wd_svcdriver.exe" hold >/dev/null 2>&1) &
    HOLD_PID=$!
    LOG_DONE=0
}

service_create() {
    "$WINE" sc create ZorvaService binpath= "$(winpath "$WORK/svc/wd_testsvc.exe")" >/dev/null 2>&1 \
        || fail "sc create"
}

# What the service does at its next start, e.g. "start=quick stop=slow:3000".
behaviour() { echo "$*" > "$WORK/svc/behaviour.txt"; }

# Runs the driver's steps ("stop", "start", "dependents") in run/.
drive() {
    note "driver: $*"
    DRIVER_OUT=$(cd "$WORK/run" && "$WINE" "$BIN/wd_svcdriver.exe" "$@" 2>/dev/null | tr -d '\r')
    echo "$DRIVER_OUT" | sed "s/^/    /"
}

expect_state() {
    local state
    state=$(service_state ZorvaService)
    [ "$state" = "$1" ] || fail "service state: expected $1, got ${state:-none}"
}

# Waits up to $2 seconds for state $1.
wait_state() {
    wait_service_state ZorvaService "$1" "$2" \
        || fail "service not $1 within $2 s (is $(service_state ZorvaService))"
}

# Compares the log lines written since the previous call (stamps removed, a
# run of one repeated line folded into one) with the arguments, in order; an
# argument that begins with "~" is an extended regular expression for the
# whole line. NEW_LOG keeps those lines unfolded.
check_log() {
    local -a lines=() got=()
    if [ -f "$WORK/Log.txt" ]; then
        mapfile -t lines < <(tr -d '\r' < "$WORK/Log.txt" | sed -E 's/^\[[0-9]{2}\/[0-9]{2}\/[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\] //')
    fi
    got=("${lines[@]:$LOG_DONE}")
    LOG_DONE=${#lines[@]}
    NEW_LOG=$(printf '%s\n' "${got[@]}")
    [ ${#got[@]} -eq 0 ] || mapfile -t got < <(printf '%s\n' "${got[@]}" | uniq)
    local ok=1 i
    [ ${#got[@]} -eq $# ] || ok=0
    for ((i = 1; ok && i <= $#; i++)); do
        local want=${!i} line=${got[i - 1]}
        if [[ $want == "~"* ]]; then
            [[ $line =~ ^${want:1}$ ]] || ok=0
        else
            [ "$line" = "$want" ] || ok=0
        fi
    done
    if [ $ok -eq 0 ]; then
        printf 'expected log:\n' >&2
        printf '  %s\n' "$@" >&2
        printf 'got:\n%s\n' "$NEW_LOG" >&2
        fail "log lines differ"
    fi
}

# How many of the lines of the last check equal $1.
count_new() { printf '%s\n' "$NEW_LOG" | grep -cxF -- "$1" || true; }

# Ends the service's process if it still runs, deletes the service and lets
# the keep-alive go; the prefix's exit trap ends whatever is left.
service_cleanup() {
    local pid
    pid=$(tr -d '\r\n' < "$WORK/svc/pid.txt" 2>/dev/null || true)
    [ -n "$pid" ] && "$WINE" taskkill /F /PID "$pid" >/dev/null 2>&1 || true
    "$WINE" sc delete ZorvaService >/dev/null 2>&1 || true
    [ -z "$(service_state ZorvaService)" ] || fail "service still registered"
    rm -f "$WORK/run/hold"
    wait "$HOLD_PID" || true
    note "took $SECONDS s"
}
