# pellmar.exe under Wine, in product layouts under C:\ of a prefix of its own:
#   <product>\Start\pellmar.exe, <product>\Bin32\dravik.exe, <product>\Bin64\dravik.exe
# The stand-in dravik.exe appends its command line, current directory and own
# path to dravik.log next to itself, so each Bin folder tells whether its build
# was started. Message boxes are read and dismissed by pellmar_box.exe.
source "$(dirname "$0")/../lib.sh"
use_prefix "launcher-$WINEARCH"

for exe in pellmar.exe dravik.exe pellmar_box.exe; do
    [ -f "$BIN/$exe" ] || fail "$BIN/$exe is missing"
done
drive_c=$WINEPREFIX/drive_c

# The PE machine field of $1: 014c (i386) or 8664 (x86-64).
pe_machine() {
    local pe
    pe=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
    od -An -tx2 -j$((pe + 4)) -N2 "$1" | tr -d ' '
}

# Only a 32-bit launcher on 64-bit Windows (WoW64) is meant to pick Bin64; the
# 64-bit build of the same sources is told FALSE and picks Bin32.
case $(pe_machine "$BIN/pellmar.exe") in
014c)
    if [ -d "$drive_c/windows/syswow64" ]; then
        expected=Bin64 other=Bin32
    else
        expected=Bin32 other=Bin64
    fi
    note "32-bit pellmar.exe: expecting $expected" ;;
8664)
    expected=Bin32 other=Bin64
    note "64-bit pellmar.exe (no WoW64): expecting $expected" ;;
*) fail "pellmar.exe is neither i386 nor x86-64" ;;
esac

# make_product DIR BUILD...: the launcher in DIR/Start and dravik in each BUILD.
make_product() {
    local dir=$1
    shift
    rm -rf "$dir"
    mkdir -p "$dir/Start"
    cp "$BIN/pellmar.exe" "$dir/Start/"
    for build in "$@"; do
        mkdir -p "$dir/$build"
        cp "$BIN/dravik.exe" "$dir/$build/"
    done
}

# launch PATH [ARG...]: runs the launcher, bounded, and checks its exit code.
launch() {
    local rc=0
    timeout 60 "$WINE" "$@" || rc=$?
    [ "$rc" -eq 0 ] || fail "$1 exited with $rc"
}

# launch_with_box PATH [ARG...]: runs the launcher, which must show a box; the
# box is read, closed with OK, and its report left in $box.
launch_with_box() {
    local rc=0 box_rc=0 pid
    timeout 60 "$WINE" "$@" &
    pid=$!
    box=$(timeout 60 "$WINE" "$BIN/pellmar_box.exe" 30000 | tr -d '\r') || box_rc=$?
    wait "$pid" || rc=$?
    echo "$box" | sed 's/^/    box: /'
    [ "$box_rc" -eq 0 ] || fail "no message box handled (pellmar_box exit $box_rc)"
    [ "$rc" -eq 0 ] || fail "$1 exited with $rc"
}

# record DIR: dravik's record in DIR once it is complete (bounded wait).
record() {
    local log=$1/dravik.log
    for _ in $(seq 300); do
        if grep -q '^Module=' "$log" 2>/dev/null; then
            tr -d '\r' <"$log"
            return 0
        fi
        sleep 0.1
    done
    fail "no dravik.exe started in $1"
}

# field TEXT KEY: the value of KEY=... in TEXT.
field() { sed -n "s/^$2=//p" <<<"$1"; }

expect_eq() {
    [ "$2" = "$3" ] || fail "$1: expected [$3], got [$2]"
}

# expect_started DIR WINDIR: the chosen build in DIR\$expected ran once, with
# exactly its quoted path as command line and WINDIR as current directory.
expect_started() {
    local got
    got=$(record "$1/$expected")
    echo "$got" | sed 's/^/    dravik: /'
    expect_eq "records" "$(grep -c '^CommandLine=' <<<"$got")" 1
    expect_eq "command line" "$(field "$got" CommandLine)" "\"$2\\$expected\\dravik.exe\""
    expect_eq "current directory" "$(field "$got" CurrentDirectory)" "$3"
    [ ! -e "$1/$other/dravik.log" ] || fail "$other was started too"
}

# expect_box TEXT: the box had caption "Error", the error icon, OK only, TEXT.
expect_box() {
    expect_eq "box class" "$(field "$box" class)" "#32770"
    expect_eq "box caption" "$(field "$box" caption)" "Error"
    expect_eq "box text" "$(field "$box" text)" "$1"
    expect_eq "box icon" "$(field "$box" icon)" yes
    expect_eq "box OK button" "$(field "$box" ok)" yes
    expect_eq "box Cancel button" "$(field "$box" cancel)" no
}

# expect_nothing_started DIR...: no dravik.log in any DIR, after a moment in
# which a wrongly started build would have written one.
expect_nothing_started() {
    sleep 2
    for dir in "$@"; do
        [ ! -e "$dir/dravik.log" ] || fail "$dir/dravik.exe was started: $(tr -d '\r' <"$dir/dravik.log")"
    done
}

note "product folder C:\\Prod\\"
make_product "$drive_c/Prod" Bin32 Bin64
launch 'C:\Prod\Start\pellmar.exe'
expect_started "$drive_c/Prod" 'C:\Prod' 'C:\Prod'

note "arguments to the launcher are not passed on"
rm -f "$drive_c/Prod/$expected/dravik.log"
launch 'C:\Prod\Start\pellmar.exe' /x "two words" 'C:\Prod\file.txt'
expect_started "$drive_c/Prod" 'C:\Prod' 'C:\Prod'

note "product folder with spaces"
make_product "$drive_c/Mi Producto Kelm" Bin32 Bin64
launch 'C:\Mi Producto Kelm\Start\pellmar.exe'
expect_started "$drive_c/Mi Producto Kelm" 'C:\Mi Producto Kelm' 'C:\Mi Producto Kelm'

note "application missing: box, and the other build is not tried"
make_product "$drive_c/Missing" "$other"
launch_with_box 'C:\Missing\Start\pellmar.exe'
expect_box "Error al ejecutar el archivo."
expect_nothing_started "$drive_c/Missing/$other"

# long_product N: a product folder under C:\ whose launcher's path,
# C:\<100 a>\<N b>\Start\pellmar.exe, is 122 + N characters long; sets $long
# (under drive_c) and $win_long (its Windows form).
long_product() {
    long=$(printf 'a%.0s' $(seq 100))/$(printf 'b%.0s' $(seq "$1"))
    win_long='C:\'${long//\//\\}
    make_product "$drive_c/$long" Bin32 Bin64
    expect_eq "module path length" "${#win_long}" $((122 + $1 - 18))
}

note "module path of 259 characters: started"
long_product 137
launch "$win_long\\Start\\pellmar.exe"
expect_started "$drive_c/$long" "$win_long" "$win_long"

note "module path of 260 characters: box, nothing started"
long_product 138
launch_with_box "$win_long\\Start\\pellmar.exe"
expect_box "No se pudo determinar la carpeta del programa."
expect_nothing_started "$drive_c/$long/Bin32" "$drive_c/$long/Bin64"

# Drive Q: is a folder of its own, so that the launcher can sit in a drive root.
qroot=$WINEPREFIX/qroot
make_product "$qroot" Bin32 Bin64
cp "$BIN/pellmar.exe" "$qroot/"
rm -f "$WINEPREFIX/dosdevices/q:"
ln -s "$qroot" "$WINEPREFIX/dosdevices/q:"

note "launcher in the root of a drive: box, nothing started"
launch_with_box 'Q:\pellmar.exe'
expect_box "No se pudo determinar la carpeta del programa."
expect_nothing_started "$qroot/Bin32" "$qroot/Bin64"

note "launcher one folder below a drive root: the drive root is the product folder"
launch 'Q:\Start\pellmar.exe'
expect_started "$qroot" 'Q:' 'Q:\'

note "all cases passed"
