#!/bin/bash
# Soak on real kernel objects (wd_soak.exe): the service and its clients run,
# the driver sweeps back to back with chaos, and prints its figures. Short by
# default; KELM_SOAK_LONG=1 runs at least 1000 sweeps; KELM_SOAK_SEED replays.
. "$(dirname "$0")/../lib.sh"
use_prefix soak
work=$WINEPREFIX/drive_c/soak
mkdir -p "$work/run"
cd "$work/run" # the watchdog's log is ../Log.txt from here
keeper=
cleanup() {
    [ -n "$keeper" ] && kill "$keeper" 2>/dev/null || true
    remove_service ZorvaService
    stop_prefix
    rm -rf "$WINEPREFIX"
}
trap cleanup EXIT

# Wine ends its services once no ordinary process is left: this one keeps them,
# holding no handle of the segment, which must be able to go away.
"$WINE" "$BIN/wd_soak.exe" --keep 3600000 &
keeper=$!
register_service ZorvaService "$(winpath "$BIN/zorva-server.exe") --interval 2 --log $(winpath "$work/server.log")"

if [ "${KELM_SOAK_LONG:-}" = 1 ]; then args=(--sweeps 1000 --seconds 240); else args=(--sweeps 100 --seconds 130); fi
[ -n "${KELM_SOAK_SEED:-}" ] && args+=(--seed "$KELM_SOAK_SEED")
status=0
"$WINE" "$BIN/wd_soak.exe" "${args[@]}" | tr -d '\r' || status=$?
[ $status -eq 0 ] || fail "wd_soak ended with $status; the log's end: $(tail -n 15 "$work/Log.txt" 2>/dev/null | tr -d '\r')"
