#!/usr/bin/env bash
# package.sh SOURCE_DIR OUT_DIR PRODUCT VERSION EXE...: writes
# OUT_DIR/PRODUCT-VERSION.zip holding, in a folder PRODUCT-VERSION/, the
# executables (Authenticode-signed when SIGN_CERT and SIGN_KEY are set), the
# deployment guide and SHA256SUMS over them.
# Environment: SIGN_CERT (PEM certificate, intermediates may follow), SIGN_KEY
# (PEM key), SIGN_PASS (the key's password, optional); SOURCE_DATE_EPOCH (the
# date of every entry and the signing time; default: the commit's time);
# WINDRES (to check the version resources).
set -euo pipefail
src=$1 out=$2 product=$3 version=$4
shift 4
name=$product-$version
fail() { echo "release: $*" >&2; exit 1; }

# One date for everything, so that two builds of one commit are identical.
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    SOURCE_DATE_EPOCH=$(git -C "$src" log -1 --format=%ct 2>/dev/null) ||
        fail "no commit time: set SOURCE_DATE_EPOCH"
fi
[[ $SOURCE_DATE_EPOCH =~ ^[0-9]+$ ]] || fail "SOURCE_DATE_EPOCH is not a number: $SOURCE_DATE_EPOCH"

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir "$stage/$name"

# A stale executable must not ship under a new version.
commas="${version//./, }, 0"
for exe in "$@"; do
    info=$("${WINDRES:-i686-w64-mingw32-windres}" -i "$exe" -O rc)
    grep -q "FILEVERSION $commas\$" <<<"$info" && grep -q "\"ProductVersion\", \"$version\"" <<<"$info" ||
        fail "$(basename "$exe") does not carry version $version"
    cp "$exe" "$stage/$name/"
done

# The guide belongs in every release.
guide=$src/docs/deployment.md
[ -f "$guide" ] || fail "no deployment guide at docs/deployment.md"
cp "$guide" "$stage/$name/deployment.md"

if [ -n "${SIGN_CERT:-}${SIGN_KEY:-}" ]; then
    [ -f "${SIGN_CERT:-}" ] || fail "SIGN_CERT is not a file: ${SIGN_CERT:-}"
    [ -f "${SIGN_KEY:-}" ] || fail "SIGN_KEY is not a file: ${SIGN_KEY:-}"
    pass=()
    # Through a pipe, so that the password shows in no process list.
    [ -z "${SIGN_PASS:-}" ] || pass=(-readpass /dev/stdin)
    for exe in "$stage/$name"/*.exe; do
        # A fixed signing time keeps signed builds reproducible; Windows
        # checks the certificate against the current time anyway.
        printf %s "${SIGN_PASS:-}" |
            osslsigncode sign -certs "$SIGN_CERT" -key "$SIGN_KEY" "${pass[@]}" -h sha256 \
                -n "$product $version" -time "$SOURCE_DATE_EPOCH" -in "$exe" -out "$exe.signed" \
                >"$stage/sign.log" 2>&1 || { cat "$stage/sign.log" >&2; fail "signing $(basename "$exe") failed"; }
        mv "$exe.signed" "$exe"
    done
    echo "release: signed (Authenticode SHA-256) by $(openssl x509 -noout -subject -in "$SIGN_CERT")"
else
    echo "release: UNSIGNED (no SIGN_CERT and SIGN_KEY given)"
fi

(cd "$stage/$name" && LC_ALL=C sha256sum -- * >SHA256SUMS)

# Sorted entries with one fixed date, fixed attributes and no extra fields.
mkdir -p "$out"
rm -f "$out/$product"-*.zip
python3 - "$stage" "$name" "$out/$name.zip" "$SOURCE_DATE_EPOCH" <<'EOF'
import os, sys, time, zipfile
stage, name, target, epoch = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
date = time.gmtime(max(epoch, 315532800))[:6]  # zip dates begin in 1980
with zipfile.ZipFile(target + ".part", "w") as archive:
    for entry in sorted(os.listdir(os.path.join(stage, name))):
        info = zipfile.ZipInfo(name + "/" + entry, date)
        info.create_system = 3
        info.external_attr = 0o644 << 16
        info.compress_type = zipfile.ZIP_DEFLATED
        with open(os.path.join(stage, name, entry), "rb") as f:
            archive.writestr(info, f.read(), compresslevel=9)
os.replace(target + ".part", target)
EOF
echo "release: $out/$name.zip, $(stat -c %s "$out/$name.zip") bytes, sha256 $(sha256sum "$out/$name.zip" | cut -d' ' -f1)"
