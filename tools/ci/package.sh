#!/usr/bin/env bash
# Builds the release packages into build/packages/:
#   namescourer-zxraster-VERSION-linux-x86_64.tar.gz  (native build)
#   namescourer-zxraster_VERSION_amd64.deb            (the same build, for Debian)
#   namescourer-zxraster-VERSION-windows.zip          (64-bit and 32-bit programs)
# Each build has its own folder (build/pkg-native, build/pkg-win64,
# build/pkg-win32), without tests. With --linux or --windows only the Linux
# or the Windows packages are made. JOBS sets the build's parallelism
# (default 2). The .deb needs dpkg-deb and dpkg-shlibdeps (Debian dpkg-dev);
# without them it is skipped, which with CI=true is a failure.
# tools/ci/check_deb.sh then checks it (with lintian when installed).
# SPDX-License-Identifier: MIT
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
jobs=${JOBS:-2}
out=build/packages

make_linux=1
make_windows=1
case "${1:-}" in
  "") ;;
  --linux) make_windows=0 ;;
  --windows) make_linux=0 ;;
  *)
    echo "usage: tools/ci/package.sh [--linux|--windows]" >&2
    exit 2
    ;;
esac

need() {
  if ! command -v "$1" >/dev/null 2>&1; then
    echo "package.sh: $1 not found; $2" >&2
    exit 1
  fi
}
need cmake "install CMake 3.25 or later"
need cpack "it comes with CMake"

# Configures and builds the two programs; extra arguments go to the configure step.
build() {
  local preset=$1 dir=$2
  shift 2
  cmake --preset "$preset" -B "$dir" -DZX_TESTS=OFF -DZX_FUZZ=OFF "$@" >/dev/null
  cmake --build "$dir" --target namescourer zxraster -j "$jobs"
}

# Fails unless the package lists every path given (relative to its top folder).
check() {
  local package=$1 listing missing=0 top path
  shift
  listing=$(cmake -E tar tf "$package")
  top=$(basename "$package")
  top=${top%.tar.gz}
  top=${top%.zip}
  for path in "$@"; do
    if ! grep -qxF "$top/$path" <<<"$listing"; then
      echo "package.sh: $package lacks $top/$path" >&2
      missing=1
    fi
  done
  return "$missing"
}

# Runs cpack in a build folder and moves the package (*.EXT) to build/packages/.
pack() {
  local dir=$1 generator=$2 ext=$3 file
  rm -rf "$dir/_CPack_Packages"
  rm -f "$dir"/*."$ext"
  (cd "$dir" && cpack -G "$generator" >/dev/null)
  for file in "$dir"/*."$ext"; do
    mv -f "$file" "$out/"
    echo "made $out/${file##*/}"
  done
}

mkdir -p "$out"
version=$(sed -n 's/^project([^)]* VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
palettes=(README.md palette_192.txt palette_205.txt palette_215_hex.txt palette_216.txt)
rules=(README.md windows-safe.txt web-safe.txt ascii.txt)

if ((make_linux)); then
  need g++ "install g++"
  build native build/pkg-native
  pack build/pkg-native TGZ tar.gz
  check "$out/namescourer-zxraster-$version-$(uname -s | tr "[:upper:]" "[:lower:]")-$(uname -m).tar.gz" \
    bin/namescourer bin/zxraster share/man/man1/namescourer.1 share/man/man1/zxraster.1 \
    share/doc/namescourer-zxraster/README.md share/doc/namescourer-zxraster/LICENSE \
    "${palettes[@]/#/share/doc/namescourer-zxraster/palettes/}" "${rules[@]/#/share/namescourer/rules/}"
  if command -v dpkg-deb >/dev/null && command -v dpkg-shlibdeps >/dev/null; then
    pack build/pkg-native DEB deb
    tools/ci/check_deb.sh "$out/namescourer-zxraster_${version}_$(dpkg --print-architecture).deb"
  else
    echo "SKIPPED: the .deb needs dpkg-deb and dpkg-shlibdeps (apt-get install dpkg-dev)"
    if [ "${CI:-}" = true ]; then exit 1; fi
  fi
fi

if ((make_windows)); then
  need x86_64-w64-mingw32-g++-posix "install mingw-w64 g++-mingw-w64-x86-64 g++-mingw-w64-i686"
  need i686-w64-mingw32-g++-posix "install mingw-w64 g++-mingw-w64-i686"
  need mandoc "install mandoc: the zip carries the manual pages rendered as HTML"
  build win32 build/pkg-win32
  # The 32-bit programs, stripped by their own toolchain, for the 64-bit package.
  rm -rf build/pkg-win32/stage
  cmake --install build/pkg-win32 --strip --prefix build/pkg-win32/stage >/dev/null
  build win64 build/pkg-win64 -DZX_WIN32_BIN_DIR="$root/build/pkg-win32/stage/win32"
  cmake --build build/pkg-win64 --target manual_html
  tools/ci/check_pe.sh i386 build/pkg-win32/stage/win32/namescourer.exe build/pkg-win32/stage/win32/zxraster.exe
  tools/ci/check_pe.sh x86-64 build/pkg-win64/bin/namescourer.exe build/pkg-win64/bin/zxraster.exe
  pack build/pkg-win64 ZIP zip
  check "$out/namescourer-zxraster-$version-windows.zip" \
    win64/namescourer.exe win64/zxraster.exe win32/namescourer.exe win32/zxraster.exe \
    README.md LICENSE namescourer.html zxraster.html "${palettes[@]/#/palettes/}" "${rules[@]/#/rules/}"
fi
