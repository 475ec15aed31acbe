#!/usr/bin/env bash
# Builds the tool and converts the saves in a folder: the one given, or, with
# none given, a demo folder of generated saves under build/demo.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/ensure-packages.sh cmake ninja-build g++
cmake --preset tool >/dev/null
cmake --build --preset tool >/dev/null
tool="$PWD/build/tool/ZembrelLib2Test"

# One source save: magic, carried value, payload size, 260-byte name, payload.
make_save() {  # number name payload
  local le
  le=$(printf '\\x%02x\\x00\\x00\\x00' "${#3}")
  {
    printf 'CDX\0\x2a\x00\x00\x00'
    printf "$le"
    printf '%s' "$2"
    head -c $((260 - ${#2})) /dev/zero
    printf '%s' "$3"
  } >"$(printf '0x%x.sav' "$1")"
}

folder="${1:-}"
if [ -z "$folder" ]; then
  folder=build/demo
  rm -rf "$folder" && mkdir -p "$folder"
  (cd "$folder" && make_save 1 "First steps" "a small payload" &&
    make_save 2 "Second save" "another payload" && make_save 3 "Third" "the last one")
  echo "Demo folder: $folder (give a folder of saves to convert those instead)"
fi
cd "$folder"
"$tool"
ls -l
