# Shared by the watchdog's end-to-end runs: a product folder in the prefix with
# tolvane.exe in Start\, so that its log is Log.txt of the product folder.
. "$(dirname "$0")/../lib.sh"

setup_product() {
    prod=$WINEPREFIX/drive_c/Kelm
    mkdir -p "$prod/Start"
    cp "$BIN/tolvane.exe" "$prod/Start/"
    log=$prod/Log.txt
    cd "$prod/Start"
}

segview() { "$WINE" "$BIN/segview.exe" | tr -d '\r'; }
# The bytes of bloq N as segview shows them, without its verdict columns.
bloq() { segview | sed -n "s/^bloq *$1: \(.*\) | [^|]* | [^|]*\$/\1/p"; }
wdmsg() { "$WINE" "$BIN/wdmsg.exe" "$@" | tr -d '\r'; }
log_lines() { [ -f "$log" ] && sed 's/^\[[0-9\/: ]*\] //' "$log" | tr -d '\r' || true; }
log_has() { log_lines | grep -Fxq -- "$1"; }
log_count() { log_lines | grep -Fxc -- "$1" || true; }

# Starts the watchdog in the background (wd: its Unix pid) and waits for its
# window.
start_watchdog() {
    "$WINE" tolvane.exe &
    wd=$!
    wait_for 20 "$WINE" "$BIN/wdmsg.exe" find || fail "the watchdog's window did not appear"
}

# Waits for the watchdog to end and checks its exit code.
expect_watchdog_exit() {
    local code=0
    wait_for 20 bash -c "! kill -0 $wd 2>/dev/null" || fail "the watchdog did not end"
    wait "$wd" || code=$?
    [ "$code" -eq 0 ] || fail "the watchdog ended with exit code $code"
    wd=
}

start_server() {
    register_service ZorvaService "$(winpath "$BIN/zorva-server.exe") $*"
}

cleanup_watchdog_run() {
    [ -n "${wd:-}" ] && kill "$wd" 2>/dev/null || true
    remove_service ZorvaService
    stop_prefix
    rm -rf "$WINEPREFIX"
}
