#!/usr/bin/env bash
# Sets up 32-bit Wine (Debian 12 "bookworm") for running the cross-built
# i686-w64-mingw32 test programs.  Run as root, or as a user with sudo (the
# prefix then belongs to that user).  Idempotent.
#
# Usage: tools/setup-wine.sh [PREFIX_DIR]
#   PREFIX_DIR  Wine prefix to create/initialise (default: /tmp/wineprefix-setup).
#
# Afterwards:  WINEPREFIX=PREFIX_DIR WINEDEBUG=-all wine prog.exe
#
# Some VMs run a 64-bit-only kernel (i386 execve returns ENOEXEC, "Exec format
# error").  There, 32-bit ELF binaries (wine32, wineserver32) are run through
# qemu-i386 registered in binfmt_misc.  Findings behind the choices below:
#  * qemu 7.2 (bookworm's qemu-user-static) is unusable for Wine: every Wine
#    process spends ~60-100 s in an mmap loop at start-up and then fails at
#    random ("failed to map the shared user data: c0000018", "could not load
#    kernel32.dll", qemu SIGSEGV).  qemu 10.0 from bookworm-backports (a Debian
#    archive suite) works: prefix creation ~25-35 s, a console exe ~1-5 s.
#  * wine64 must NOT be installed: with /usr/lib/wine/wineserver64 present,
#    /usr/bin/wineserver uses the native 64-bit server, 32-bit clients switch
#    to WoW64 mode and fail (seen with qemu 7.2: c0000018 as above).
set -euo pipefail

PREFIX_DIR="${1:-/tmp/wineprefix-setup}"
export DEBIAN_FRONTEND=noninteractive
QEMU_BIN=/usr/bin/qemu-i386
BINFMT_LINE=':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'"$QEMU_BIN"':F'

log() { printf '[setup-wine] %s\n' "$*"; }
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    SUDO="sudo env DEBIAN_FRONTEND=noninteractive"
fi
# Writes its standard input to a file only root may write.
write_root() { $SUDO tee "$1" >/dev/null; }

# ---------------------------------------------------------------- packages
need_update=0
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    log "enabling i386 multiarch"
    $SUDO dpkg --add-architecture i386
    need_update=1
fi
missing=()
for p in wine wine32:i386 xvfb x11-apps imagemagick; do
    installed "$p" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] || need_update=1
[ "$need_update" = 0 ] || $SUDO apt-get update -q
if [ ${#missing[@]} -gt 0 ]; then
    log "installing: ${missing[*]}"
    $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# ------------------------------------------ can 32-bit ELF execute natively?
binfmt_dir=/proc/sys/fs/binfmt_misc
probe_native32() {
    # /lib/ld-linux.so.2 (libc6:i386, pulled in by wine32) is an i386 ELF.  Turn
    # a qemu-i386 binfmt entry off while probing so the answer is the kernel's.
    local entry=$binfmt_dir/qemu-i386 was_enabled=0 rc=1
    if [ -e "$entry" ] && head -n1 "$entry" | grep -qx enabled; then
        was_enabled=1
        echo 0 | write_root "$entry"
    fi
    /lib/ld-linux.so.2 --version >/dev/null 2>&1 && rc=0
    [ "$was_enabled" = 0 ] || echo 1 | write_root "$entry"
    return $rc
}

native32=0
if probe_native32; then
    native32=1
    log "32-bit ELF executes natively: no emulation needed"
else
    log "kernel cannot execute i386 ELF: using qemu-i386 (>= 10, bookworm-backports) via binfmt_misc"
    if installed wine64; then
        log "removing wine64 (native wineserver64 breaks emulated 32-bit Wine)"
        $SUDO apt-get remove -y -q wine64
    fi
    qemu_ok=0
    if [ -x "$QEMU_BIN" ]; then
        v=$("$QEMU_BIN" --version 2>/dev/null | sed -n 's/^qemu-i386 version \([0-9]*\)\..*/\1/p')
        [ -n "$v" ] && [ "$v" -ge 10 ] && qemu_ok=1
    fi
    if [ "$qemu_ok" = 0 ]; then
        src=/etc/apt/sources.list.d/bookworm-backports.sources
        if ! grep -rqs 'bookworm-backports' /etc/apt/sources.list /etc/apt/sources.list.d/; then
            log "adding Debian bookworm-backports to apt sources"
            write_root "$src" <<'EOF'
Types: deb
URIs: http://deb.debian.org/debian
Suites: bookworm-backports
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
        fi
        $SUDO apt-get update -q
        # qemu-user-static (10.x) pulls qemu-user, which ships the static binary
        # /usr/bin/qemu-i386.
        $SUDO apt-get install -y -q -t bookworm-backports qemu-user-static
    fi
    if ! mountpoint -q "$binfmt_dir"; then
        $SUDO mount -t binfmt_misc binfmt_misc "$binfmt_dir"
    fi
    entry=$binfmt_dir/qemu-i386
    # Replace any other registration (e.g. one pointing at qemu 7.2's
    # /usr/bin/qemu-i386-static, or made by binfmt-support).
    if [ -e "$entry" ] && ! grep -qx "interpreter $QEMU_BIN" "$entry"; then
        echo -1 | write_root "$entry"
    fi
    [ -e "$entry" ] || echo "$BINFMT_LINE" | write_root "$binfmt_dir/register"
    head -n1 "$entry" | grep -qx enabled || echo 1 | write_root "$entry"
    # Persist across reboots (systemd-binfmt; qemu-user-binfmt skips i386 on amd64).
    printf '%s\n' "$BINFMT_LINE" | write_root /etc/binfmt.d/qemu-i386-wine.conf
    /lib/ld-linux.so.2 --version >/dev/null 2>&1 \
        || { echo "i386 ELF still not executable through qemu" >&2; exit 1; }
fi

# ------------------------------------------------------------ prefix
export WINEPREFIX="$PREFIX_DIR"
export WINEARCH=win32
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="     # no Mono/Gecko install prompts

if [ -f "$WINEPREFIX/system.reg" ] && [ -f "$WINEPREFIX/drive_c/windows/system32/kernel32.dll" ]; then
    log "prefix $WINEPREFIX already initialised"
else
    rm -rf "$WINEPREFIX"
    mkdir -p "$(dirname "$WINEPREFIX")"  # Wine makes the prefix, not its parent
    log "creating prefix $WINEPREFIX"
    start=$(date +%s)
    wine wineboot.exe -i
    wineserver -w
    log "prefix creation took $(( $(date +%s) - start )) s"
fi
unset WINEARCH WINEDLLOVERRIDES

# --------------------------------------------------------- smoke test
if command -v i686-w64-mingw32-gcc >/dev/null 2>&1; then
    tmpd=$(mktemp -d)
    trap 'rm -rf "$tmpd"' EXIT
    echo 'int main(void){return 3;}' > "$tmpd/t.c"
    i686-w64-mingw32-gcc -O2 "$tmpd/t.c" -o "$tmpd/t.exe"
    start=$(date +%s)
    set +e; wine "$tmpd/t.exe"; rc=$?; set -e
    log "smoke test: exit code $rc (expected 3), $(( $(date +%s) - start )) s"
    [ "$rc" = 3 ] || { echo "Wine smoke test failed" >&2; exit 1; }
fi
log "done (native32=$native32).  Use: WINEPREFIX=$WINEPREFIX WINEDEBUG=-all wine prog.exe"
