# Checks a shipped executable: a 32-bit GUI program that imports only system
# DLLs, carries icon group 101 and a manifest with the given execution level.
# Usage: check-deliverable.sh FILE.exe asInvoker|requireAdministrator
#        (OBJDUMP and WINDRES from the environment)
set -euo pipefail
exe=$1
level=$2
OBJDUMP=${OBJDUMP:-objdump}
WINDRES=${WINDRES:-i686-w64-mingw32-windres}
fail() { echo "FAIL: $*" >&2; exit 1; }

headers=$("$OBJDUMP" -p "$exe")
grep -q 'file format pei-i386' <<<"$headers" || fail "not an i386 PE file"
grep -Eq '^Magic[[:space:]]+010b[[:space:]]+\(PE32\)' <<<"$headers" || fail "not PE32"
grep -Eq '^Subsystem[[:space:]]+00000002[[:space:]]+\(Windows GUI\)' <<<"$headers" ||
    fail "not the Windows GUI subsystem"

# Operators copy the file alone: no runtime DLLs of the compiler may be needed.
system_dlls=" kernel32.dll user32.dll msvcrt.dll advapi32.dll gdi32.dll ntdll.dll shell32.dll "
dlls=$(sed -n 's/^[[:space:]]*DLL Name:[[:space:]]*//p' <<<"$headers" | tr 'A-Z' 'a-z')
[ -n "$dlls" ] || fail "no imports found"
for dll in $dlls; do
    case "$system_dlls" in
    *" $dll "*) ;;
    *) case "$dll" in api-ms-win-*) ;; *) fail "imports $dll, not a system DLL" ;; esac ;;
    esac
done
echo "imports: $(echo $dlls)"

resources=$("$WINDRES" -i "$exe" -O rc)
grep -Eq '^101 14 /\* RT_GROUP_ICON \*/' <<<"$resources" || fail "no icon group 101"
manifest=$(sed -n '/^1 24 \/\* RT_MANIFEST \*\//,/^END/p' <<<"$resources")
[ -n "$manifest" ] || fail "no manifest of id 1"
grep -q "requestedExecutionLevel level=\"\"$level\"\" uiAccess=\"\"false\"\"" <<<"$manifest" ||
    fail "manifest does not request $level without UI access"
[ "$(grep -c 'requestedExecutionLevel' <<<"$manifest")" -eq 1 ] || fail "more than one execution level"
echo "$(basename "$exe"): PE32 GUI, icon group 101, $level manifest: ok"
