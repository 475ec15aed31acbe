#!/usr/bin/env bash
# Makes the Windows release zip: the .exe, the player's readme and the .exe's
# SHA-256. Prints the zip's path.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/ensure-packages.sh cmake ninja-build g++-mingw-w64-x86-64 >&2
cmake --preset mingw >/dev/null
cmake --build --preset mingw --target ZembrelLib2Test checksum >/dev/null
(cd build/mingw && cpack -G ZIP >/dev/null)
zip=$(ls -t build/mingw/zembrel-save-converter-*-win64.zip | head -n 1)

# The zip must hold the three files, and the checksum must match the .exe.
check=$(mktemp -d)
trap 'rm -rf "$check"' EXIT
(cd "$check" && cmake -E tar xf "$OLDPWD/$zip")
(cd "$check"/*/ && ls ZembrelLib2Test.exe README.txt >/dev/null && sha256sum -c --quiet ZembrelLib2Test.exe.sha256) >&2
echo "$zip"
