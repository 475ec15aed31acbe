#!/usr/bin/env bash
# Installs what the tests need and runs them all: the Linux build's tests, the
# Windows build's tests under Wine, the end-to-end suite against both builds,
# and the release zip.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/ensure-packages.sh cmake ninja-build g++ libgtest-dev googletest \
  g++-mingw-w64-x86-64 wine wine64

# Wine's first start makes its prefix, which takes a while: do it once, here,
# rather than inside a test with a time limit.
[ -f build/wine-prefix/system.reg ] || scripts/wine-run.sh wineboot -i

cmake --preset mingw
cmake --build --preset mingw
ctest --preset mingw
bash scripts/release.sh

cmake --preset release -DZEMBREL_WINDOWS_EXE="$PWD/build/mingw/ZembrelLib2Test.exe"
cmake --build --preset release
ctest --preset release
