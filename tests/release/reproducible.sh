#!/usr/bin/env bash
# reproducible.sh SOURCE_DIR WORK_DIR: copies the tree (as git sees it) into
# two folders of different names and depths, runs the release build in each
# and requires byte-identical executables and zip.
set -euo pipefail
src=$1
work=$(mktemp -d "$2/reproducible.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
export SOURCE_DATE_EPOCH=$(git -C "$src" log -1 --format=%ct)
unset SIGN_CERT SIGN_KEY SIGN_PASS

trees=("$work/a/kelm" "$work/second/copy/of/the/tree")
for tree in "${trees[@]}"; do
    mkdir -p "$tree"
    (cd "$src" && git ls-files -z -co --exclude-standard |
        tar --null -T - --ignore-failed-read -cf - 2>/dev/null) | tar -C "$tree" -xf -
    start=$SECONDS
    (cd "$tree" && cmake --preset win && cmake --build --preset win --target release) \
        >"$tree.log" 2>&1 || { tail -30 "$tree.log"; fail "release build in $tree"; }
    echo "built in $tree: $((SECONDS - start)) s"
done

a=${trees[0]} b=${trees[1]}
zip=dist/$(cd "$a/dist" && ls *.zip)
for file in build/win/bin/tolvane.exe build/win/bin/pellmar.exe build/win/bin/segview.exe "$zip"; do
    cmp "$a/$file" "$b/$file" || fail "$file differs between the two builds"
    echo "$(sha256sum "$a/$file" | cut -c1-16)  $(stat -c %s "$a/$file")  $file: identical"
done
