#!/usr/bin/env bash
# Builds and tests everything this machine can: the native Linux build, the
# same tests under AddressSanitizer and UndefinedBehaviorSanitizer, static
# analysis (clang-tidy, cppcheck, mandoc, shellcheck), a short run of every fuzz target,
# and the two Windows builds under Wine with the release packages. A stage
# whose tools are missing is skipped with a plain message; with CI=true a
# skipped stage is a failure.
#
# On a host that cannot execute 32-bit x86 programs (tools/ci/i386_probe.sh;
# ZX_NO_32BIT_HOST=1 forces that answer) the win32 build is made and its
# programs are checked without running them, and its tests are left out
# with one line that says so; that alone is no failure, with CI=true too.
#
#   tools/test.sh            every stage
#   tools/test.sh native     only the named stages (native, asan, lint,
#                            fuzz, windows)
#   FUZZ_SECONDS=60 tools/test.sh fuzz    longer fuzzing (default 20 s each)
# SPDX-License-Identifier: MIT
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)
stages=("$@")
[ ${#stages[@]} -gt 0 ] || stages=(native asan lint fuzz windows)
passed=()
skipped=()

# cmake, a compiler, make, zlib, GoogleTest and python3 come first: installed
# here on Debian or Ubuntu, or named in one line elsewhere.
tools/native_prerequisites.sh --tests

# CI builds with warnings as errors.
werror=OFF
[ "${CI:-}" != true ] || werror=ON

build_preset() {
  cmake --preset "$1" -DZX_WERROR="$werror" >/dev/null
  cmake --build --preset "$1" -j "$jobs"
}

run_preset() {
  echo "=== $1: configure, build, test"
  build_preset "$1"
  local retry=()
  # Under load, Wine now and then fails to start a child process (error
  # 1359) before any test code runs; a Windows test program that fails is
  # run once more, and fails for good only when it fails twice.
  case $1 in win64 | win32) retry=(--repeat until-pass:2) ;; esac
  ctest --preset "$1" -j "$jobs" "${retry[@]}"
}

# Whether this host executes 32-bit x86 programs, probed once per run.
runs_i386=no
if [[ " ${stages[*]} " == *" windows "* ]] && tools/ci/i386_probe.sh; then
  runs_i386=yes
fi
host_runs_i386() { [ "$runs_i386" = yes ]; }

# Prints the packages missing for a stage; nothing when all are there.
missing_for() {
  local missing=()
  case $1 in
    lint)
      command -v clang-tidy-14 >/dev/null || command -v clang-tidy >/dev/null || missing+=(clang-tidy)
      command -v cppcheck >/dev/null || missing+=(cppcheck)
      command -v mandoc >/dev/null || missing+=(mandoc)
      command -v shellcheck >/dev/null || missing+=(shellcheck)
      ;;
    fuzz)
      if command -v "${ZX_FUZZ_CXX:-clang++-14}" >/dev/null; then
        [ -e "$("${ZX_FUZZ_CXX:-clang++-14}" -print-runtime-dir)/libclang_rt.fuzzer-x86_64.a" ] ||
          missing+=(libclang-rt-14-dev)
      else
        missing+=(clang-14)
      fi
      ;;
    windows)
      command -v x86_64-w64-mingw32-g++-posix >/dev/null || missing+=(g++-mingw-w64-x86-64)
      command -v i686-w64-mingw32-g++-posix >/dev/null || missing+=(g++-mingw-w64-i686)
      command -v i686-w64-mingw32-objdump >/dev/null || missing+=(binutils-mingw-w64-i686)
      command -v wine >/dev/null || missing+=(wine)
      command -v dpkg-shlibdeps >/dev/null || missing+=(dpkg-dev)
      command -v lintian >/dev/null || missing+=(lintian)
      if host_runs_i386 && [ ! -e /usr/lib/wine/i386-windows/kernel32.dll ] &&
        [ ! -e /usr/lib/i386-linux-gnu/wine/i386-windows/kernel32.dll ]; then
        missing+=(wine32:i386)
      fi
      ;;
  esac
  echo "${missing[*]}"
}

for stage in "${stages[@]}"; do
  lacking=$(missing_for "$stage")
  if [ -n "$lacking" ]; then
    echo "SKIPPED: the $stage stage needs $lacking; see docs/DEVELOPING.md"
    skipped+=("$stage")
    continue
  fi
  case $stage in
    native) run_preset native ;;
    asan) run_preset native-asan ;;
    lint)
      echo "=== lint: clang-tidy, cppcheck, manual pages, shell scripts"
      tools/ci/lint.sh
      mandoc -T lint -W warning man/*.1
      shellcheck tools/*.sh tools/ci/*.sh .ci/run
      ;;
    fuzz) tools/ci/fuzz.sh "${FUZZ_SECONDS:-20}" ;;
    windows)
      run_preset win64
      if host_runs_i386; then
        run_preset win32
      else
        echo "=== win32: configure, build"
        build_preset win32
        echo "win32: this host cannot execute 32-bit x86 programs; the win32 tests did not run"
      fi
      echo "=== Windows programs: machine, console subsystem, imported DLLs"
      tools/ci/check_pe.sh x86-64 build/win64/bin/namescourer.exe build/win64/bin/zxraster.exe
      tools/ci/check_pe.sh i386 build/win32/bin/namescourer.exe build/win32/bin/zxraster.exe
      echo "=== packages"
      tools/ci/package.sh
      ;;
    *)
      echo "unknown stage $stage (native, asan, lint, fuzz, windows)" >&2
      exit 2
      ;;
  esac
  passed+=("$stage")
done

# The last line: the stages that passed, then apart the ones skipped.
summary="passed: ${passed[*]:-none}"
[ ${#skipped[@]} -eq 0 ] || summary+="; skipped for lack of a tool: ${skipped[*]}"
if [ ${#skipped[@]} -ne 0 ] && [ "${CI:-}" = true ]; then
  echo "CI must run every stage: failing" >&2
  echo "$summary"
  exit 1
fi
echo "$summary"
