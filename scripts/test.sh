#!/usr/bin/env bash
# Installs what the tests need and runs them all: the Windows build's tests
# under Wine and its release zip; the whole suite again under the address and
# undefined-behaviour sanitizers, with a bounded run of each fuzzer; the Linux
# build's tests and the end-to-end suite against both builds.
set -euo pipefail
cd "$(dirname "$0")/.."
umask 022  # the build must stay readable to the unprivileged user below
bash scripts/ensure-packages.sh cmake ninja-build g++ libgtest-dev googletest \
  g++-mingw-w64-x86-64 wine wine64 clang libclang-rt-14-dev llvm

# Wine run as root ignores a missing write bit, where Windows refuses a
# read-only file. Run as root, the tests run Wine and the tool as an
# unprivileged user instead, when that user can reach this tree; otherwise
# the read-only cases are skipped under Wine, and say so.
mkdir -p build
if [ "$(id -u)" -eq 0 ] && id nobody >/dev/null 2>&1 &&
  setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups test -x "$PWD/scripts/wine-run.sh"; then
  export ZEMBREL_RUN_AS=nobody
fi

# Wine's first start makes its prefix, which takes a while: do it here rather
# than inside a test with a time limit. On a prefix made before, it takes a
# second.
scripts/wine-run.sh wineboot -i

cmake --preset mingw
cmake --build --preset mingw
ctest --preset mingw
bash scripts/release.sh

cmake --preset asan
cmake --build --preset asan
ctest --preset asan

cmake --preset release -DZEMBREL_WINDOWS_EXE="$PWD/build/mingw/ZembrelLib2Test.exe"
cmake --build --preset release
ctest --preset release
