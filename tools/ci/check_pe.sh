#!/usr/bin/env bash
# Checks Windows programs without running them:
#
#   tools/ci/check_pe.sh --machine PROGRAM.exe
#       prints the PE machine field: 8664 (x86-64) or 014c (x86)
#   tools/ci/check_pe.sh x86-64|i386 PROGRAM.exe...
#       fails unless each program is a PE program for that machine, a console
#       program, and imports no DLL outside the Windows system set, so that
#       each .exe runs alone; needs the mingw-w64 objdump of that machine
# SPDX-License-Identifier: MIT
set -euo pipefail

machine_of() {
  local pe
  pe=$(od -An -t u4 -j 60 -N 4 "$1" | tr -d ' ')
  [ -n "$pe" ] || return 0
  od -An -t x2 -j $((pe + 4)) -N 2 "$1" | tr -d ' '
}

if [ "${1:-}" = --machine ] && [ $# -eq 2 ]; then
  machine_of "$2"
  exit 0
fi
case "${1:-}" in
  x86-64) machine=8664 format=pei-x86-64 objdump=x86_64-w64-mingw32-objdump ;;
  i386) machine=014c format=pei-i386 objdump=i686-w64-mingw32-objdump ;;
  *)
    echo "usage: tools/ci/check_pe.sh --machine PROGRAM.exe | tools/ci/check_pe.sh x86-64|i386 PROGRAM.exe..." >&2
    exit 2
    ;;
esac
shift
if ! command -v "$objdump" >/dev/null; then
  echo "check_pe.sh: $objdump not found; install binutils-mingw-w64" >&2
  exit 1
fi

# The DLLs every Windows installation has; mingw-w64's static runtime needs
# no more than kernel32 and msvcrt.
system_dlls='^(kernel32|msvcrt|user32|advapi32|shell32|ntdll|gdi32|ole32|oleaut32|ws2_32|bcrypt|ucrtbase|api-ms-win-[a-z0-9-]+)\.dll$'

status=0
for exe in "$@"; do
  found=$(machine_of "$exe")
  if [ "$found" != "$machine" ]; then
    echo "check_pe.sh: $exe is for machine ${found:-?}, not $machine" >&2
    status=1
    continue
  fi
  bad=0
  headers=$("$objdump" -p "$exe")
  if ! grep -q "file format $format\$" <<<"$headers"; then
    echo "check_pe.sh: $exe is not in the $format format" >&2
    bad=1
  fi
  if ! grep -Eq '^Subsystem[[:space:]]+0*3[[:space:]]+\(Windows CUI\)' <<<"$headers"; then
    echo "check_pe.sh: $exe is not a console program" >&2
    bad=1
  fi
  dlls=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers" | tr -d '\r' | sort -fu)
  foreign=$(grep -Eiv "$system_dlls" <<<"$dlls" || true)
  if [ -n "$foreign" ]; then
    echo "check_pe.sh: $exe needs DLLs that Windows does not have: $(tr '\n' ' ' <<<"$foreign")" >&2
    bad=1
  fi
  if ((bad)); then
    status=1
  else
    echo "$exe: $format, console program, imports only $(tr '\n' ' ' <<<"$dlls")"
  fi
done
exit "$status"
