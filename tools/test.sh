#!/usr/bin/env bash
# Builds and tests every build this machine can make: the native Linux build
# always, the two Windows builds (under Wine) when mingw-w64 and Wine are
# installed. With CI=true a missing Windows toolchain is a failure.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)

run_preset() {
  local preset=$1
  echo "=== $preset: configure, build, test"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" -j "$jobs"
}

run_preset native

missing=()
command -v x86_64-w64-mingw32-g++-posix >/dev/null || missing+=(g++-mingw-w64-x86-64)
command -v i686-w64-mingw32-g++-posix >/dev/null || missing+=(g++-mingw-w64-i686)
command -v wine >/dev/null || missing+=(wine)
if [ ${#missing[@]} -eq 0 ] && [ ! -e /usr/lib/wine/i386-windows/kernel32.dll ] &&
   [ ! -e /usr/lib/i386-linux-gnu/wine/i386-windows/kernel32.dll ]; then
  missing+=(wine32:i386)
fi
if [ ${#missing[@]} -ne 0 ]; then
  echo "SKIPPED: the Windows builds (win64, win32) need ${missing[*]}; see README.md"
  if [ "${CI:-}" = true ]; then
    echo "CI must run the Windows builds: failing" >&2
    exit 1
  fi
  exit 0
fi
run_preset win64
run_preset win32
echo "all builds passed"
