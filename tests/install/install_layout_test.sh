#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks the layout, the
# desktop entry and the man page.
set -euo pipefail
build="$1"
prefix="$(mktemp -d)"
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

fail=0
expect() {
  if [ ! -e "$prefix/$1" ]; then echo "missing: $1"; fail=1; fi
}
for p in tarnel tarnel-cli Oculo32; do
  expect "bin/$p"
  [ -x "$prefix/bin/$p" ] || { echo "not executable: bin/$p"; fail=1; }
done
expect libexec/tarnel/tarnel-cli-export
expect share/applications/tarnel.desktop
expect share/mime/packages/tarnel.xml
expect share/icons/hicolor/scalable/apps/tarnel.svg
for s in 48 128 256; do expect "share/icons/hicolor/${s}x${s}/apps/tarnel.png"; done
expect share/man/man1/tarnel-cli.1
if [ -e "$build/bin/TARNEL32.chm" ]; then expect share/tarnel/TARNEL32.chm; fi

if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$prefix/share/applications/tarnel.desktop" || fail=1
else
  echo "desktop-file-validate is not installed"; fail=1
fi
grep -q '^Exec=tarnel %f$' "$prefix/share/applications/tarnel.desktop" || { echo "Exec line"; fail=1; }
if command -v man >/dev/null; then
  warnings="$(man --warnings -l "$prefix/share/man/man1/tarnel-cli.1" 2>&1 >/dev/null || true)"
  [ -z "$warnings" ] || { echo "man page: $warnings"; fail=1; }
fi
# The installed command line tool runs from its new place.
"$prefix/bin/tarnel-cli" --help | grep -q '^usage: tarnel-cli' || { echo "installed tarnel-cli does not run"; fail=1; }
# export runs in its helper program, found from the installed tarnel-cli.
helped="$("$prefix/bin/tarnel-cli" export 2>&1 || true)"
grep -q '^usage: tarnel-cli export' <<<"$helped" || { echo "installed tarnel-cli does not find its export helper: $helped"; fail=1; }

if [ "$fail" -ne 0 ]; then echo "install layout: FAILED"; exit 1; fi
echo "install layout: ok"
