#!/usr/bin/env bash
# Installs what the tests need and runs them all.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/ensure-packages.sh cmake ninja-build g++ libgtest-dev

cmake --preset release
cmake --build --preset release
ctest --preset release
