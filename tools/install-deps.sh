#!/usr/bin/env bash
# Installs what KORU BENCH needs on Debian 12, in tiers, as its caller asks:
#   --run   building and running the Linux program (its toolchain, SDL2,
#           FreeType/fontconfig, the Japanese font, the picture renderer, and
#           the private X display and screenshots for a machine without one),
#           and, where it can be had, the Windows cross compiler; it adds no
#           architecture, apt source, emulator or binfmt registration
#   --test  (the default) all of that and what the tests need: the test
#           framework, 32-bit Wine, the arm64 cross build (its compiler, the
#           arm64 libraries and qemu), the tools that make and check the
#           packages; where the kernel runs no 32-bit x86 programs, a
#           user-mode emulator for them, so that 32-bit Wine still runs
#   --measuring  with --test's, what tools/performance.sh uses too
# Idempotent: installs only what is missing. Run as root, or with sudo.
# The one place that installs anything.
set -euo pipefail

TIER=test
MEASURING=0
for argument in "$@"; do
    case $argument in
        --run) TIER=run ;;
        --test) TIER=test ;;
        --measuring) TIER=test; MEASURING=1 ;;
        *) echo "usage: install-deps.sh [--run | --test | --measuring]" >&2; exit 2 ;;
    esac
done

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    SUDO="sudo env DEBIAN_FRONTEND=noninteractive"
fi
export DEBIAN_FRONTEND=noninteractive
log() { printf 'install-deps: %s\n' "$*"; }
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
write_root() { $SUDO tee "$1" >/dev/null; }  # its standard input to a file only root may write
# shellcheck source=tools/apt-install.sh
. "$(dirname "$0")/apt-install.sh"

RUN_PACKAGES=(
    build-essential cmake ninja-build pkg-config python3 python3-pil librsvg2-bin librsvg2-common
    libsdl2-dev libfreetype-dev libfontconfig-dev libx11-dev fonts-ipafont-gothic
    xvfb openbox python3-xlib python3-numpy
)
WINDOWS_COMPILER=(g++-mingw-w64-i686)
TEST_PACKAGES=(googletest libgtest-dev x11-utils x11-apps imagemagick wine wine32:i386)
# The arm64 build links against the arm64 libraries installed beside the
# amd64 ones (multiarch: these -dev packages are Multi-Arch: same, at the
# amd64 ones' version), not against a copied sysroot; pkgconf:arm64 gives
# aarch64-linux-gnu-pkg-config. qemu-user runs its tests (qemu-aarch64,
# called by CTest, no binfmt registration); where the i386 emulator below is
# needed, its bookworm-backports qemu-user-static brings qemu-user 10 in
# place of this one, and both give qemu-aarch64.
ARM64_PACKAGES=(g++-aarch64-linux-gnu libsdl2-dev:arm64 libfreetype-dev:arm64 libfontconfig-dev:arm64
                libx11-dev:arm64 pkgconf:arm64 qemu-user)
PACKAGE_CHECK_PACKAGES=(dpkg-dev lintian desktop-file-utils appstream unzip)
MEASURING_PACKAGES=(gdb)

missing_of() { local package; for package in "$@"; do installed "$package" || echo "$package"; done; }

if [ "$TIER" = run ]; then
    mapfile -t missing < <(missing_of "${RUN_PACKAGES[@]}")
    mapfile -t missing_compiler < <(missing_of "${WINDOWS_COMPILER[@]}")
    if [ $((${#missing[@]} + ${#missing_compiler[@]})) -gt 0 ]; then
        log "installing $(echo "${missing[*]} ${missing_compiler[*]}")"
        update_package_lists
    fi
    if [ ${#missing[@]} -gt 0 ]; then install_packages "${missing[@]}"; fi
    # The Windows executable is a bonus here: without its compiler the Linux
    # program still builds and runs (the caller says so).
    if [ ${#missing_compiler[@]} -gt 0 ]; then install_packages "${missing_compiler[@]}" 2>/dev/null || true; fi
    exit 0
fi

wanted=("${RUN_PACKAGES[@]}" "${WINDOWS_COMPILER[@]}" "${TEST_PACKAGES[@]}" "${ARM64_PACKAGES[@]}"
        "${PACKAGE_CHECK_PACKAGES[@]}")
[ "$MEASURING" = 0 ] || wanted+=("${MEASURING_PACKAGES[@]}")
mapfile -t missing < <(missing_of "${wanted[@]}")
if [ ${#missing[@]} -gt 0 ]; then
    log "installing ${missing[*]}"
    # Wine's 32-bit half comes from the i386 architecture, the arm64
    # build's libraries from arm64.
    for architecture in i386 arm64; do
        if ! dpkg --print-foreign-architectures | grep -qx "$architecture"; then
            $SUDO dpkg --add-architecture "$architecture"
        fi
    done
    update_package_lists
    install_packages "${missing[@]}"
fi

# ---- 32-bit programs on a kernel that cannot run them ----------------------
# Some virtual machines run a 64-bit-only kernel (an i386 exec fails with
# "Exec format error"). There, 32-bit programs (wine32, its wineserver) run
# through qemu-i386, registered with binfmt_misc. Findings behind the choices:
#  * qemu 7.2 (bookworm's qemu-user-static) is unusable for Wine: every Wine
#    process spends 60-100 s in an mmap loop at start-up and then fails at
#    random. qemu 10 from bookworm-backports works: prefix creation 25-35 s,
#    a console program 1-5 s.
#  * wine64 must not be installed: with /usr/lib/wine/wineserver64 present,
#    32-bit clients switch to WoW64 mode and fail.
QEMU_BIN=/usr/bin/qemu-i386
BINFMT_DIR=/proc/sys/fs/binfmt_misc
BINFMT_LINE=':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'"$QEMU_BIN"':F'

# /lib/ld-linux.so.2 (from libc6:i386, which wine32 brings) is an i386 ELF.
# A qemu registration is turned off while probing, so the answer is the
# kernel's own.
runs_i386_natively() {
    local entry=$BINFMT_DIR/qemu-i386 was_enabled=0 status=1
    if [ -e "$entry" ] && head -n1 "$entry" | grep -qx enabled; then
        was_enabled=1
        echo 0 | write_root "$entry"
    fi
    /lib/ld-linux.so.2 --version >/dev/null 2>&1 && status=0
    [ "$was_enabled" = 0 ] || echo 1 | write_root "$entry"
    return $status
}

if ! runs_i386_natively; then
    log "the kernel runs no i386 programs: setting up qemu-i386 (10 or later, bookworm-backports)"
    if installed wine64; then
        $SUDO apt-get remove -y -q wine64
    fi
    version=$("$QEMU_BIN" --version 2>/dev/null | sed -n 's/^qemu-i386 version \([0-9]*\)\..*/\1/p' || true)
    if [ -z "$version" ] || [ "$version" -lt 10 ]; then
        if ! grep -rqs 'bookworm-backports' /etc/apt/sources.list /etc/apt/sources.list.d/; then
            write_root /etc/apt/sources.list.d/bookworm-backports.sources <<'SOURCES'
Types: deb
URIs: http://deb.debian.org/debian
Suites: bookworm-backports
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
        fi
        update_package_lists
        # qemu-user-static pulls qemu-user, which ships /usr/bin/qemu-i386.
        install_packages -t bookworm-backports qemu-user-static
    fi
    mountpoint -q "$BINFMT_DIR" || $SUDO mount -t binfmt_misc binfmt_misc "$BINFMT_DIR"
    entry=$BINFMT_DIR/qemu-i386
    # Replace any other registration (one pointing at qemu 7.2's
    # qemu-i386-static, say, or made by binfmt-support).
    if [ -e "$entry" ] && ! grep -qx "interpreter $QEMU_BIN" "$entry"; then
        echo -1 | write_root "$entry"
    fi
    [ -e "$entry" ] || echo "$BINFMT_LINE" | write_root "$BINFMT_DIR/register"
    head -n1 "$entry" | grep -qx enabled || echo 1 | write_root "$entry"
    # Kept across reboots (systemd-binfmt; qemu-user-binfmt skips i386 on amd64).
    printf '%s\n' "$BINFMT_LINE" | write_root /etc/binfmt.d/qemu-i386-wine.conf
    /lib/ld-linux.so.2 --version >/dev/null 2>&1 || { echo "install-deps: i386 programs still do not run through qemu" >&2; exit 1; }
fi
