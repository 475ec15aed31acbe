#!/usr/bin/env bash
# Runs a Windows program under Wine in the project's own prefix: no debug
# output, no offers to download add-ons, no desktop windows.
here="$(cd "$(dirname "$0")/.." && pwd)"
export WINEPREFIX="${WINEPREFIX:-$here/build/wine-prefix}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
mkdir -p "$(dirname "$WINEPREFIX")"
exec wine "$@"
