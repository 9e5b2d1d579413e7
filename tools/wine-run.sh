#!/usr/bin/env bash
# Runs a Windows program of a cross build under Wine, in a private prefix
# beside the build's bin folder (made once, on first use).
set -euo pipefail
exe=$1
shift
bindir=$(cd "$(dirname "$exe")" && pwd)
build=$(dirname "$bindir")
export WINEPREFIX="$build/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/.ready" ]; then
  exec 9>"$build/wineprefix.lock"
  flock 9
  if [ ! -f "$WINEPREFIX/.ready" ]; then
    rm -rf "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1
    wineserver -w
    touch "$WINEPREFIX/.ready"
  fi
  flock -u 9
fi
exec wine "$exe" "$@"
