#!/usr/bin/env bash
# Makes sure the native Linux build can run before tools/demo.sh or
# tools/test.sh starts it: cmake, a C++ compiler, make and zlib, and with
# --tests also GoogleTest and python3. On Debian or Ubuntu whatever is missing
# is installed with apt-get (as root, or through sudo, said first); elsewhere,
# or when that fails, one line names the packages and the script exits 1.
#
#   tools/native_prerequisites.sh            what the programs need
#   tools/native_prerequisites.sh --tests    what the native tests need too
# SPDX-License-Identifier: MIT
set -euo pipefail

want_tests=no
[ "${1:-}" != --tests ] || want_tests=yes

# True when the C++ compiler finds the header $1.
has_header() {
  local cxx
  cxx=$(command -v c++ || command -v g++ || true)
  [ -n "$cxx" ] && printf '#include <%s>\n' "$1" | "$cxx" -E -x c++ - >/dev/null 2>&1
}

# Prints the Debian packages that are missing, one line.
missing_packages() {
  local lacking=()
  command -v cmake >/dev/null || lacking+=(cmake)
  command -v c++ >/dev/null || command -v g++ >/dev/null || lacking+=(g++)
  command -v make >/dev/null || lacking+=(make)
  has_header zlib.h || lacking+=(zlib1g-dev)
  if [ "$want_tests" = yes ]; then
    has_header gtest/gtest.h || lacking+=(libgtest-dev)
    command -v python3 >/dev/null || lacking+=(python3)
  fi
  echo "${lacking[*]}"
}

missing=$(missing_packages)
[ -n "$missing" ] || exit 0

# A compiler installed in this run is what finds the headers, so the list
# is made again after the install.
install_with_apt() {
  local -a packages
  read -r -a packages <<<"$1"
  local -a as_root=()
  if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || return 1
    as_root=(sudo)
    echo "installing with sudo apt-get: ${packages[*]}"
  else
    echo "installing with apt-get: ${packages[*]}"
  fi
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q &&
    "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${packages[@]}"
}

if [ -r /etc/debian_version ] && command -v apt-get >/dev/null &&
  install_with_apt "$missing"; then
  missing=$(missing_packages)
  [ -n "$missing" ] || exit 0
fi
echo "the native build needs these packages (Debian names): $missing" >&2
exit 1
