#!/usr/bin/env bash
# Builds the release packages into build/packages/:
#   namescourer-zxraster-VERSION-linux-x86_64.tar.gz  (native build)
#   namescourer-zxraster-VERSION-windows.zip          (64-bit and 32-bit programs)
# Each build has its own folder (build/pkg-native, build/pkg-win64,
# build/pkg-win32), without tests. With --linux or --windows only that
# package is made. JOBS sets the build's parallelism (default 2).
set -euo pipefail
cd "$(dirname "$0")/.."
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
    echo "usage: tools/package.sh [--linux|--windows]" >&2
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

if ((make_linux)); then
  need g++ "install g++"
  build native build/pkg-native
  pack build/pkg-native TGZ tar.gz
fi

if ((make_windows)); then
  need x86_64-w64-mingw32-g++-posix "install mingw-w64 g++-mingw-w64-x86-64 g++-mingw-w64-i686"
  need i686-w64-mingw32-g++-posix "install mingw-w64 g++-mingw-w64-i686"
  build win32 build/pkg-win32
  # The 32-bit programs, stripped by their own toolchain, for the 64-bit package.
  rm -rf build/pkg-win32/stage
  cmake --install build/pkg-win32 --strip --prefix build/pkg-win32/stage >/dev/null
  build win64 build/pkg-win64 -DZX_WIN32_BIN_DIR="$root/build/pkg-win32/stage/win32"
  pack build/pkg-win64 ZIP zip
fi
