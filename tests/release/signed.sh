#!/usr/bin/env bash
# signed.sh PACKAGE_SH VERSION EXE...: packages the built executables with a
# throwaway self-signed code-signing certificate made here, and without one.
# Signed: every executable's signature verifies against that certificate,
# SHA256SUMS verify, and signing twice gives the same zip. Unsigned: it says
# so and nothing verifies. A wrong key password: an error and no zip.
set -euo pipefail
package=$1 version=$2
src=$(cd "$(dirname "$0")/../.." && pwd)
shift 2
exes=("$@")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
export SOURCE_DATE_EPOCH=1700000000

openssl req -x509 -newkey rsa:2048 -days 2 -subj "/CN=Kelm throwaway signer" \
    -addext extendedKeyUsage=codeSigning -addext keyUsage=digitalSignature \
    -keyout "$work/key.pem" -passout pass:throwaway -out "$work/cert.pem" 2>/dev/null

# case  SIGN_KEY  SIGN_PASS  expected: packaging outcome, its line, signatures
cases=(
    "signed    key.pem  throwaway  ok    'release: signed'    verify"
    "again     key.pem  throwaway  ok    'release: signed'    verify"
    "unsigned  -        -          ok    'release: UNSIGNED'  none"
    "badpass   key.pem  wrong      fail  'signing .* failed'  -"
)
for row in "${cases[@]}"; do
    eval "set -- $row"
    name=$1 key=$2 pass=$3 outcome=$4 line=$5 signatures=$6
    out=$work/$name
    env=()
    [ "$key" = - ] || env=(SIGN_CERT="$work/cert.pem" SIGN_KEY="$work/$key" SIGN_PASS="$pass")
    status=ok
    env "${env[@]}" bash "$package" "$src" "$out" kelm "$version" "${exes[@]}" >"$out.log" 2>&1 || status=fail
    [ $status = "$outcome" ] || { cat "$out.log"; fail "$name: packaging gave $status, not $outcome"; }
    grep -q "$line" "$out.log" || { cat "$out.log"; fail "$name: no line '$line'"; }
    if [ "$outcome" = fail ]; then
        [ ! -e "$out/kelm-$version.zip" ] || fail "$name: a zip was left"
        continue
    fi
    mkdir "$out/x"
    (cd "$out/x" && unzip -q "../kelm-$version.zip" && cd "kelm-$version" && sha256sum -c --quiet SHA256SUMS) ||
        fail "$name: SHA256SUMS do not verify"
    for exe in "$out/x/kelm-$version"/*.exe; do
        verified=none
        osslsigncode verify -CAfile "$work/cert.pem" -in "$exe" >"$exe.verify" 2>&1 && verified=verify
        [ $verified = "$signatures" ] || { cat "$exe.verify"; fail "$name: $(basename "$exe") signature: $verified"; }
    done
    echo "$name: $(grep '^release: ' "$out.log" | tail -1 | cut -d, -f2-)"
done
cmp "$work/signed/kelm-$version.zip" "$work/again/kelm-$version.zip" || fail "signing twice gave two zips"
