#!/usr/bin/env bash
# Runs a Windows program under Wine in a prefix of the project's own: no debug
# output, no offers to download add-ons, no desktop windows.
#
# Wine run as root ignores a missing write bit where Windows refuses a
# read-only file. So when root names an unprivileged user in ZEMBREL_RUN_AS,
# Wine runs as that user; otherwise, as root, the programs are told through
# ZEMBREL_NO_READONLY to skip what depends on it.
set -e
here="$(cd "$(dirname "$0")/.." && pwd)"
if [ "$(id -u)" -eq 0 ] && [ -n "${ZEMBREL_RUN_AS:-}" ]; then
  # The user's prefix must be the user's own, and build/ is root's.
  install -d -o "$ZEMBREL_RUN_AS" -g "$(id -g "$ZEMBREL_RUN_AS")" "$here/build/wine-prefix-$ZEMBREL_RUN_AS"
  exec setpriv --reuid="$ZEMBREL_RUN_AS" --regid="$(id -g "$ZEMBREL_RUN_AS")" --clear-groups "$0" "$@"
fi
if [ "$(id -u)" -eq 0 ]; then
  export WINEPREFIX="${WINEPREFIX:-$here/build/wine-prefix}"
  export ZEMBREL_NO_READONLY="Wine run as root ignores a missing write bit"
else
  export WINEPREFIX="${WINEPREFIX:-$here/build/wine-prefix-$(id -un)}"
  export HOME="$WINEPREFIX"
fi
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
mkdir -p "$WINEPREFIX"
exec wine "$@"
