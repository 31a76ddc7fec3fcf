#!/usr/bin/env bash
# The Windows build (cmake --preset windows) and its tests under Wine: a throwaway
# Wine prefix made with wineboot, a wineserver kept running for the whole run, an
# Xvfb display for the window test, all stopped and removed at the end. The
# shared verdict table also runs the Linux build's programs (PELLICOR_LINUX_BIN,
# default build/bin), so build that first.
set -euo pipefail
cd "$(dirname "$0")/.."
linux_bin=${PELLICOR_LINUX_BIN:-$PWD/build/bin}

cmake --preset windows -DCMAKE_COMPILE_WARNING_AS_ERROR=ON -DPELLICOR_LINUX_BIN="$linux_bin" >/dev/null
cmake --build --preset windows --parallel "$(nproc)"
# The 32-bit pair is only built: Debian's Wine here runs 64-bit programs alone.
cmake --preset windows-x86 -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >/dev/null
cmake --build --preset windows-x86 --parallel "$(nproc)"

export WINEDEBUG=-all WINEARCH=win64
# No offers to install Mono or Gecko into the throwaway prefix.
export WINEDLLOVERRIDES="mscoree,mshtml="
WINEPREFIX=$(mktemp -d /tmp/pellicor-wine.XXXXXX)
export WINEPREFIX
displayfile=$(mktemp)
xvfb=""
cleanup() {
  wineserver -k 2>/dev/null || true
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
  rm -rf "$WINEPREFIX" "$displayfile"
}
trap cleanup EXIT

# The display comes first: Wine picks its graphics driver in its first process.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$displayfile" 2>/dev/null &
xvfb=$!
for _ in $(seq 50); do [ -s "$displayfile" ] && break; sleep 0.1; done
[ -s "$displayfile" ] || { echo "Xvfb did not start"; exit 1; }
export DISPLAY=":$(head -n 1 "$displayfile")"

wineserver -p
wineboot -i >/dev/null 2>&1
ctest --test-dir build-windows -L windows --output-on-failure
