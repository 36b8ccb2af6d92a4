#!/usr/bin/env bash
# Checks the Debian package the build makes: builds it into a temporary folder, compares its file
# list, validates the menu entry, looks at its dependencies, unpacks it (dpkg-deb -x, nothing is
# installed on this machine) and starts the unpacked tool (--version) and simulator (--help).
#
#   test-package.sh BUILD_DIR VERSION
set -euo pipefail

build=$1
version=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
    echo "package test: $*" >&2
    exit 1
}

cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log" >&2; fail "cpack failed"; }
debs=("$work"/out/dosaris-service-tool_"$version"_*.deb)
[ -f "${debs[0]}" ] || fail "no dosaris-service-tool_${version}_*.deb in $(ls "$work/out")"
deb=${debs[0]}

# Exactly these files, and no others.
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { sub(/^\./, "", $6); print $6 }' | sort >"$work/files"
cat >"$work/expected" <<'EOF'
/usr/bin/dosaris-pump-sim
/usr/bin/dosaris-service-tool
/usr/share/applications/dosaris-service-tool.desktop
/usr/share/icons/hicolor/scalable/apps/dosaris-service-tool.svg
EOF
diff -u "$work/expected" "$work/files" || fail "the file list differs"

[ "$(dpkg-deb -f "$deb" Package)" = dosaris-service-tool ] || fail "wrong package name"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "wrong version"
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6widgets6 libqt6serialbus6 libqt6charts6; do
    case "$depends" in
        *"$lib"*) ;;
        *) fail "Depends lacks $lib: $depends" ;;
    esac
done

dpkg-deb -x "$deb" "$work/root"
entry="$work/root/usr/share/applications/dosaris-service-tool.desktop"
desktop-file-validate "$entry" || fail "the menu entry is not valid"
grep -qx 'Exec=dosaris-service-tool' "$entry" || fail "the menu entry does not start the tool"
grep -qx 'Icon=dosaris-service-tool' "$entry" || fail "the menu entry names another icon"
grep -q '<svg' "$work/root/usr/share/icons/hicolor/scalable/apps/dosaris-service-tool.svg" ||
    fail "the icon is no SVG"

# The unpacked binaries start. The version needs no display.
out=$(env -u DISPLAY "$work/root/usr/bin/dosaris-service-tool" --version) ||
    fail "dosaris-service-tool --version failed"
[ "$out" = "Dosaris Service Tool (J1939) $version (Full edition)" ] ||
    fail "dosaris-service-tool --version says: $out"
# The simulator has no version of its own: its help shows that it starts.
out=$(QT_QPA_PLATFORM=offscreen "$work/root/usr/bin/dosaris-pump-sim" --help 2>&1) ||
    fail "dosaris-pump-sim --help failed: $out"
case "$out" in
    *Usage:*dosaris-pump-sim*) ;;
    *) fail "dosaris-pump-sim --help says: $out" ;;
esac
echo "package test: $(basename "$deb") holds $(wc -l <"$work/files") files, both binaries start"
