# Shared by the Wine-tier scripts. The caller sets (CMake does, for ctest):
#   WINE     the Wine loader for the build's architecture
#   BIN      the folder of the cross-built executables
#   PREFIXES the folder that holds this build's Wine prefixes
# `use_prefix NAME` gives the script a prefix of its own, copied from a
# template that is made once, and ends that prefix's processes on exit.
set -euo pipefail
export WINEDEBUG=-all
WINESERVER=${WINESERVER:-wineserver}

fail() { echo "FAIL: $*" >&2; exit 1; }
note() { echo "--- $*"; }

make_template() {
    local template=$PREFIXES/template
    [ -f "$template/.ready" ] && return 0
    rm -rf "$template"
    mkdir -p "$template"
    WINEPREFIX=$template "$WINE" wineboot -i >/dev/null 2>&1 || true
    # Hidden windows, timers and message boxes need a graphics driver: the
    # null one works without a display.
    WINEPREFIX=$template "$WINE" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
    WINEPREFIX=$template "$WINESERVER" -w
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
    cp -a "$PREFIXES/template" "$WINEPREFIX"
    trap 'stop_prefix; rm -rf "$WINEPREFIX"' EXIT
}

# Windows form of a Unix path.
winpath() { "$WINE" winepath -w "$1" 2>/dev/null; }
