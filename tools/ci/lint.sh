#!/usr/bin/env bash
# Static analysis of platform/, renamer/, converter/ and tests/: clang-tidy
# with the checks in .clang-tidy (tests/.clang-tidy relaxes a few), then
# cppcheck. First it checks that every tracked source file, script, CMake
# file and manual page carries the line "SPDX-License-Identifier: MIT".
# Exits non-zero on any finding and prints how long each tool took.
#
# The native compile database (build/lint) covers every source the Linux
# build compiles. The Windows-only sources, and the shared ones with Windows
# branches, get a second clang-tidy pass through a win64 compile database
# (build/lint-win64) when mingw-w64 is installed; with CI=true its absence is
# a failure. The libFuzzer targets in tests/fuzz get a third pass through
# the compile database of the fuzz preset (build/lint-fuzz) when clang++-14
# is installed, likewise. cppcheck checks the Windows sources with its
# windows library and needs no cross compiler.
#
# Needs cmake, g++, libgtest-dev, python3, clang-tidy-14 (run-clang-tidy-14
# is used when present) and cppcheck; for the Windows pass also
# g++-mingw-w64-x86-64 and googletest (the sources in /usr/src/googletest);
# for the fuzz targets clang-14.
# SPDX-License-Identifier: MIT
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
jobs=2
status=0

tidy_bin=$(command -v clang-tidy-14 || command -v clang-tidy || true)
run_tidy=$(command -v run-clang-tidy-14 || true)
if [ -z "$tidy_bin" ] || ! command -v cppcheck >/dev/null; then
  echo "lint needs clang-tidy-14 and cppcheck (apt-get install clang-tidy cppcheck)" >&2
  exit 2
fi
echo "using $("$tidy_bin" --version | grep -m1 -i version | sed 's/^ *//'), $(cppcheck --version)"

# The sources of a compile database that lie in the four checked folders.
sources() {
  python3 - "$1" "$root" <<'EOF'
import json, os, sys
db, root = sys.argv[1], sys.argv[2]
folders = tuple(os.path.join(root, d) + os.sep for d in ("platform", "renamer", "converter", "tests"))
files = set()
for entry in json.load(open(db)):
    name = os.path.normpath(os.path.join(entry["directory"], entry["file"]))
    if name.startswith(folders):
        files.add(name)
print("\n".join(sorted(files)))
EOF
}

# clang-tidy over the given files of one compile database, $jobs at a time.
# g++ 12 compiles C++17 without an -std flag, which would leave clang at its
# own default of C++14: the standard is named explicitly.
tidy() {
  local db=$1
  shift
  [ $# -gt 0 ] || return 0
  local args=(-std=gnu++17 "${tidy_args[@]}")
  if [ -n "$run_tidy" ]; then
    local regex
    regex=$(printf '%s\n' "$@" | python3 -c \
      'import re, sys; print("|".join("^" + re.escape(l.strip()) + "$" for l in sys.stdin if l.strip()))')
    "$run_tidy" -clang-tidy-binary "$tidy_bin" -p "$db" -j "$jobs" -quiet \
      "${args[@]/#/-extra-arg=}" "$regex"
  else
    printf '%s\n' "$@" | xargs -d '\n' -P "$jobs" -n 1 "$tidy_bin" -p "$db" --quiet "${args[@]/#/--extra-arg=}"
  fi 2>&1 | sed -E -e $'s/\x1b\\[[0-9;]*m//g' -e '/^[0-9]+ warnings?( and [0-9]+ errors?)? generated\.$/d' \
    -e "\#^$tidy_bin |^$(basename "$tidy_bin") #d"
}

# --------------------------------------------------------------- licence lines
# Every tracked source file, script, CMake file and manual page carries the
# docs/ARCHITECTURE.md names every source file of the programs and the layer
# in the first column of its file table, and names no file that is not there.
echo "=== the file table of docs/ARCHITECTURE.md"
# shellcheck disable=SC2016 # the program is python, its backquotes are Markdown
git ls-files -- 'platform/*.cpp' 'platform/*.h' 'renamer/*.cpp' 'renamer/*.h' \
  'converter/*.cpp' 'converter/*.h' | python3 -c '
import re, sys
tree = set(sys.stdin.read().split())
rows = set()
for line in open("docs/ARCHITECTURE.md", encoding="utf-8"):
    if line.startswith("| `"):
        first = line.split("|")[1]
        rows.update(re.findall(r"`((?:platform|renamer|converter)/[^`]+\.(?:cpp|h))`", first))
for name in sorted(tree - rows):
    print(f"docs/ARCHITECTURE.md: {name} has no row in the file table")
for name in sorted(rows - tree):
    print(f"docs/ARCHITECTURE.md: a row for {name}, which is not in the tree")
sys.exit(1 if tree != rows else 0)
' || status=1

# SPDX line of the project's licence.
echo "=== SPDX-License-Identifier lines"
mapfile -t licensed < <(git ls-files -- '*.cpp' '*.h' '*.sh' '*.py' '*.cmake' '*CMakeLists.txt' \
  'man/*.1' .ci/run)
if [ ${#licensed[@]} -eq 0 ]; then
  echo "lint: no tracked sources found (not a git checkout?)" >&2
  status=1
fi
for file in "${licensed[@]}"; do
  if ! grep -qx '\(//\|#\|\.\\"\) SPDX-License-Identifier: MIT' "$file"; then
    echo "$file: no line \"SPDX-License-Identifier: MIT\" (put it under the opening comment)"
    status=1
  fi
done

# ------------------------------------------------------------------ clang-tidy
start=$SECONDS
cmake --preset native -B build/lint -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
mapfile -t native_files < <(sources build/lint/compile_commands.json)
echo "=== clang-tidy: ${#native_files[@]} native sources"
tidy_args=()
tidy build/lint "${native_files[@]}" || status=1

mingw=$(command -v x86_64-w64-mingw32-g++-posix || true)
windows_files=()
if [ -n "$mingw" ] && [ -d "${ZX_GTEST_SOURCE_DIR:-/usr/src/googletest}" ]; then
  cmake --preset win64 -B build/lint-win64 -DCMAKE_EXPORT_COMPILE_COMMANDS=ON \
    -DZX_GTEST_SOURCE_DIR="${ZX_GTEST_SOURCE_DIR:-/usr/src/googletest}" >/dev/null
  # What the native pass cannot see: Windows-only files, and Windows branches.
  while IFS= read -r file; do
    if ! printf '%s\n' "${native_files[@]}" | grep -qxF "$file" || grep -q '_WIN32' "$file"; then
      windows_files+=("$file")
    fi
  done < <(sources build/lint-win64/compile_commands.json)
  # clang finds the mingw-w64 headers itself, but not the C++ library of the
  # posix-thread compiler the build uses; take its directories from g++.
  tidy_args=(--target=x86_64-w64-mingw32 -nostdinc++)
  while IFS= read -r dir; do
    tidy_args+=("-isystem$dir")
  done < <("$mingw" -xc++ -E -v /dev/null 2>&1 |
    sed -n '/^#include <...>/,/^End of search list/p' | grep '/c++' | sed 's/^ *//')
  echo "=== clang-tidy: ${#windows_files[@]} sources as win64"
  tidy build/lint-win64 "${windows_files[@]}" || status=1
else
  echo "SKIPPED: clang-tidy of the Windows sources needs g++-mingw-w64-x86-64 and googletest"
  [ "${CI:-}" = true ] && status=1
fi

fuzz_cxx=${ZX_FUZZ_CXX:-clang++-14}
if command -v "$fuzz_cxx" >/dev/null; then
  cmake --preset fuzz -B build/lint-fuzz -DCMAKE_CXX_COMPILER="$fuzz_cxx" -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
  mapfile -t fuzz_files < <(sources build/lint-fuzz/compile_commands.json | grep '/tests/fuzz/')
  echo "=== clang-tidy: ${#fuzz_files[@]} fuzz targets"
  tidy_args=()
  tidy build/lint-fuzz "${fuzz_files[@]}" || status=1
else
  echo "SKIPPED: clang-tidy of the fuzz targets needs clang-14"
  [ "${CI:-}" = true ] && status=1
fi
tidy_seconds=$((SECONDS - start))

# -------------------------------------------------------------------- cppcheck
start=$SECONDS
# The commas inside --enable belong to the option.
# shellcheck disable=SC2054
cppcheck_args=(
  --enable=warning,style,performance,portability --std=c++17 --library=googletest
  --inline-suppr --error-exitcode=1 --quiet -j "$jobs"
  --template='{file}:{line}: {severity}: {message} [{id}]'
  # "Consider using std::any_of/transform/..." is a matter of taste: a plain
  # loop that fills or scans a container reads as well here.
  --suppress=useStlAlgorithm
)
echo "=== cppcheck: native sources"
cppcheck "${cppcheck_args[@]}" --project=build/lint/compile_commands.json || status=1
echo "=== cppcheck: Windows sources"
mapfile -t win_only < <(ls platform/win32.cpp tests/*win32*.cpp tests/support/*win32*.cpp \
  tests/support/console_probe.cpp 2>/dev/null)
cppcheck "${cppcheck_args[@]}" --library=windows --platform=win64 -D_WIN32 -DUNICODE -D_UNICODE \
  -DWIN32_LEAN_AND_MEAN -DNOMINMAX -I . "${win_only[@]}" || status=1
echo "=== cppcheck: fuzz targets"
cppcheck "${cppcheck_args[@]}" -I . tests/fuzz/*.cpp || status=1
cppcheck_seconds=$((SECONDS - start))

echo "clang-tidy: ${tidy_seconds} s; cppcheck: ${cppcheck_seconds} s"
if [ "$status" -ne 0 ]; then
  echo "lint: findings above" >&2
else
  echo "lint: clean"
fi
exit "$status"
