#!/usr/bin/env bash
# Exits 0 when this host executes 32-bit x86 programs, 1 when it does not.
#
# Some kernels run without IA-32 emulation: there every i386 program, Wine's
# 32-bit loader included, fails with "Exec format error", so the win32 tests
# cannot run. The probe is a 96-byte static i386 ELF program that only calls
# exit(7); it needs no 32-bit library and no Wine, so it answers before
# anything 32-bit is installed. It is written into build/, since /tmp may be
# mounted noexec.
#
# ZX_NO_32BIT_HOST=1 forces the answer "no", to try that path on a host that
# can run 32-bit programs.
# SPDX-License-Identifier: MIT
set -euo pipefail
[ "${ZX_NO_32BIT_HOST:-}" != 1 ] || exit 1
dir="$(cd "$(dirname "$0")/../.." && pwd)/build"
mkdir -p "$dir"
probe=$(mktemp "$dir/i386-probe.XXXXXX")
trap 'rm -f "$probe"' EXIT
# ELF header (52 bytes), one PT_LOAD program header (32 bytes) mapping the
# whole file at 0x08048000, then the code at 0x08048054:
# mov eax, 1 (exit); mov ebx, 7; int 0x80.
printf '%b' \
  '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00' \
  '\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00' \
  '\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00' \
  '\x00\x00\x00\x00' \
  '\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08' \
  '\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00' \
  '\xb8\x01\x00\x00\x00\xbb\x07\x00\x00\x00\xcd\x80' >"$probe"
chmod +x "$probe"
status=0
"$probe" 2>/dev/null || status=$?
[ "$status" -eq 7 ]
