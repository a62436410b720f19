# Shared by the Wine-tier scripts. The caller sets (CMake does, for ctest):
#   WINE     the Wine loader for the build's architecture
#   BIN      the folder of the cross-built executables
#   PREFIXES the folder that holds this build's Wine prefixes
# `use_prefix NAME` gives the script a prefix of its own, copied from a
# template that is made once, and ends that prefix's processes on exit.
# Prefixes are 64-bit (a 32-bit program runs there under WoW64, as on most
# Windows machines) unless the script sets WINEARCH=win32 first.
set -euo pipefail
export WINEDEBUG=-all
WINESERVER=${WINESERVER:-wineserver}

fail() { echo "FAIL: $*" >&2; exit 1; }

# A 32-bit build on a machine whose kernel cannot run 32-bit code: Wine's
# loader itself fails, so the script is skipped (ctest's SKIP_RETURN_CODE).
if ! "$WINE" --version >/dev/null 2>&1; then
    echo "SKIP: $WINE cannot run on this machine"
    exit 77
fi
note() { echo "--- $*"; }

export WINEARCH=${WINEARCH:-win64}

make_template() {
    local template=$PREFIXES/template-$WINEARCH
    [ -f "$template/.ready" ] && return 0
    rm -rf "$template"
    mkdir -p "$template"
    WINEPREFIX=$template "$WINE" wineboot -i >/dev/null 2>&1 || true
    # Hidden windows, timers and message boxes need a graphics driver: the
    # null one works without a display.
    WINEPREFIX=$template "$WINE" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1 || true
    WINEPREFIX=$template "$WINESERVER" -w
    grep -q '"Graphics"="null"' "$template/user.reg" 2>/dev/null || fail "$WINE could not make a Wine prefix"
    touch "$template/.ready"
}

stop_prefix() {
    [ -n "${WINEPREFIX:-}" ] && "$WINESERVER" -k 2>/dev/null || true
    [ -n "${WINEPREFIX:-}" ] && "$WINESERVER" -w 2>/dev/null || true
}

use_prefix() {
    mkdir -p "$PREFIXES"
    (flock 9; make_template) 9>"$PREFIXES/.lock"
    export WINEPREFIX=$PREFIXES/$1
    stop_prefix
    rm -rf "$WINEPREFIX"
    cp -a "$PREFIXES/template-$WINEARCH" "$WINEPREFIX"
    trap 'stop_prefix; rm -rf "$WINEPREFIX"' EXIT
}

# Windows form of a Unix path.
winpath() { "$WINE" winepath -w "$1" 2>/dev/null; }

# The service manager of the prefix. Wine's sc prints CR LF and says little.
sc() { "$WINE" sc "$@" 2>&1 | tr -d '\r'; }
service_state() { sc query "$1" | sed -n 's/.*STATE *: *[0-9]* *//p'; }
# wait_service_state NAME STATE [SECONDS]
wait_service_state() {
    local deadline=$((SECONDS + ${3:-10}))
    while [ "$(service_state "$1")" != "$2" ]; do
        [ $SECONDS -lt $deadline ] || return 1
        sleep 0.2
    done
}
# register_service NAME BINPATH: created and started (a first start under Wine
# sometimes fails, hence the retries).
register_service() {
    sc create "$1" binpath= "$2" >/dev/null || fail "sc create $1"
    local _
    for _ in 1 2 3; do
        sc start "$1" >/dev/null && break
        sleep 1
    done
    wait_service_state "$1" RUNNING || fail "$1 did not reach RUNNING: $(sc query "$1")"
}
remove_service() {
    sc stop "$1" >/dev/null || true
    wait_service_state "$1" STOPPED 30 || true
    sc delete "$1" >/dev/null || true
}

# wait_for SECONDS COMMAND...: polls every half second until COMMAND succeeds.
wait_for() {
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        [ $SECONDS -lt $deadline ] || return 1
        sleep 0.5
    done
}
