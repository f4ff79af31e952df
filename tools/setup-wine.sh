#!/usr/bin/env bash
# Makes a 32-bit Wine prefix for running the cross-built test programs, and
# checks that a Windows program runs in it. Wine itself (and, where the
# kernel needs one, the emulator for 32-bit programs) comes from
# tools/install-deps.sh. Idempotent.
#
# Usage: tools/setup-wine.sh PREFIX_DIR
# Afterwards:  WINEPREFIX=PREFIX_DIR WINEDEBUG=-all wine prog.exe
set -euo pipefail

PREFIX_DIR=${1:?usage: setup-wine.sh PREFIX_DIR}
log() { printf '[setup-wine] %s\n' "$*"; }

export WINEPREFIX="$PREFIX_DIR"
export WINEARCH=win32
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="     # no Mono/Gecko install prompts

if [ -f "$WINEPREFIX/system.reg" ] && [ -f "$WINEPREFIX/drive_c/windows/system32/kernel32.dll" ]; then
    log "prefix $WINEPREFIX already made"
else
    rm -rf "$WINEPREFIX"
    mkdir -p "$(dirname "$WINEPREFIX")"  # Wine makes the prefix, not its parent
    log "making prefix $WINEPREFIX"
    start=$(date +%s)
    wine wineboot.exe -i
    wineserver -w
    log "prefix made in $(( $(date +%s) - start )) s"
fi
unset WINEARCH WINEDLLOVERRIDES

# A console program that says 3, built with the cross compiler.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
echo 'int main(void){return 3;}' > "$work/t.c"
i686-w64-mingw32-gcc -O2 "$work/t.c" -o "$work/t.exe"
set +e; wine "$work/t.exe"; status=$?; set -e
[ "$status" = 3 ] || { echo "setup-wine: a Windows program does not run under Wine (exit $status, expected 3)" >&2; exit 1; }
log "a Windows program runs"
