#!/usr/bin/env bash
# cmake --install into a fresh prefix: the programs, the sample flight, the desktop entry and the
# icon land where a Debian system looks for them; the installed nimbra-decode decodes the
# installed sample, and the installed nimbra starts (offscreen) and stays up.
#   install_test.sh BUILD_DIR
set -euo pipefail
build=$1
prefix=$(mktemp -d /tmp/nimbra-install.XXXXXX)
trap 'rm -rf "$prefix"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null
for f in bin/nimbra bin/nimbra-decode share/nimbra/sample-flight.wav share/nimbra/sample-flight.expected.csv \
         share/applications/nimbra.desktop share/icons/hicolor/scalable/apps/nimbra.svg \
         share/icons/hicolor/48x48/apps/nimbra.png share/icons/hicolor/128x128/apps/nimbra.png \
         share/doc/nimbra/README.md; do
  [ -e "$prefix/$f" ] || fail "missing $f"
done
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$prefix/share/applications/nimbra.desktop" || fail "desktop entry"
fi
grep -q '^Exec=nimbra$' "$prefix/share/applications/nimbra.desktop" || fail "Exec line"
grep -q '^Icon=nimbra$' "$prefix/share/applications/nimbra.desktop" || fail "Icon line"

lines=$("$prefix/bin/nimbra-decode" --quiet "$prefix/share/nimbra/sample-flight.wav" 2>/dev/null | wc -l)
fixes=$(($(wc -l <"$prefix/share/nimbra/sample-flight.expected.csv") - 1))
[ "$lines" -eq "$fixes" ] || fail "installed nimbra-decode gave $lines lines for $fixes fixes"

runtime=$(mktemp -d /tmp/nimbra-runtime.XXXXXX)
chmod 700 "$runtime"
HOME="$runtime" XDG_RUNTIME_DIR="$runtime" XDG_CONFIG_HOME="$runtime/config" QT_QPA_PLATFORM=offscreen \
  "$prefix/bin/nimbra" >"$runtime/trace" 2>&1 &
pid=$!
sleep 3
kill -0 "$pid" 2>/dev/null || { cat "$runtime/trace"; fail "the installed nimbra did not stay up"; }
kill "$pid"
wait "$pid" 2>/dev/null || true
grep -q "DemodGraphicsView::DemodGraphicsView" "$runtime/trace" || fail "no window was built"
rm -rf "$runtime"
echo "installed into $prefix: programs, sample, desktop entry, icons; nimbra-decode decoded $lines fixes; nimbra started"
