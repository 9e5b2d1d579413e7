#!/usr/bin/env bash
# Runs a Windows program of a cross build under Wine, in a private prefix
# beside the build's bin folder, made once (on first use) by the loader that
# then runs the programs.
#
# The loader follows the program's PE machine field. A 64-bit program runs on
# Wine's 64-bit loader, called directly: Debian's `wine` wrapper starts the
# 32-bit loader whenever wine32 is installed, and on a host that cannot
# execute 32-bit x86 programs that fails for 64-bit programs too. A 32-bit
# program runs on the 32-bit loader. Where Debian's loader paths are missing,
# plain `wine` runs both.
# SPDX-License-Identifier: MIT
set -euo pipefail
exe=$1
shift
tools=$(cd "$(dirname "$0")" && pwd)
bindir=$(cd "$(dirname "$exe")" && pwd)
build=$(dirname "$bindir")

case $("$tools/check_pe.sh" --machine "$exe") in
  8664) loader=/usr/lib/wine/wine64 ;;
  014c) loader=/usr/lib/wine/wine ;;
  *)
    echo "wine-run.sh: $exe is no PE program for x86-64 or x86" >&2
    exit 2
    ;;
esac
if [ -x "$loader" ]; then
  export WINELOADER=$loader
  wine=("$loader")
else
  wine=(wine)
fi

export WINEPREFIX="$build/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
# .ready names the loader that made the prefix; another one makes it anew.
if [ "$(cat "$WINEPREFIX/.ready" 2>/dev/null)" != "${wine[*]}" ]; then
  exec 9>"$build/wineprefix.lock"
  flock 9
  if [ "$(cat "$WINEPREFIX/.ready" 2>/dev/null)" != "${wine[*]}" ]; then
    rm -rf "$WINEPREFIX"
    if ! "${wine[@]}" wineboot -i >"$build/wineboot.log" 2>&1; then
      echo "wine-run.sh: ${wine[*]} wineboot -i failed; see $build/wineboot.log" >&2
      exit 1
    fi
    wineserver -w
    echo "${wine[*]}" >"$WINEPREFIX/.ready"
  fi
  flock -u 9
  exec 9>&-
fi
exec "${wine[@]}" "$exe" "$@"
