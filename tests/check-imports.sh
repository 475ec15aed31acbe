#!/usr/bin/env bash
# Fails when a Windows program imports a DLL that Windows itself does not ship:
# a player's machine has no compiler runtime to offer it.
set -euo pipefail
exe="$1"
objdump="${OBJDUMP:-x86_64-w64-mingw32-objdump}"
dlls=$("$objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p')
if [ -z "$dlls" ]; then
  echo "no import table read from $exe" >&2
  exit 1
fi
status=0
while read -r dll; do
  case "${dll,,}" in
    kernel32.dll | msvcrt.dll | ntdll.dll | user32.dll | advapi32.dll) echo "ok: $dll" ;;
    *) echo "not shipped with Windows: $dll" >&2; status=1 ;;
  esac
done <<<"$dlls"
exit $status
