#!/usr/bin/env bash
# Installs what building, running and testing KORU BENCH needs on Debian 12:
# the native and cross toolchains, SDL2/FreeType/fontconfig, the Japanese
# font, the picture renderer, Xvfb, a window manager and screenshot tools,
# 32-bit Wine, and the tools that make and check the packages; with
# --measuring, also what tools/performance.sh uses.
# Idempotent: installs only what is missing. Run as root, or with sudo.
set -euo pipefail

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    SUDO="sudo env DEBIAN_FRONTEND=noninteractive"
fi

NATIVE_PACKAGES=(
    build-essential cmake ninja-build pkg-config python3 googletest
    libsdl2-dev libfreetype-dev libfontconfig-dev fonts-ipafont-gothic librsvg2-bin
    xvfb openbox x11-utils x11-apps imagemagick libx11-dev python3-numpy python3-pil python3-xlib
)
WINDOWS_PACKAGES=(g++-mingw-w64-i686 wine wine32:i386)
PACKAGE_CHECK_PACKAGES=(dpkg-dev lintian desktop-file-utils appstream unzip)
MEASURING_PACKAGES=()
if [ "${1:-}" = --measuring ]; then
    MEASURING_PACKAGES=(gdb)
fi

missing=()
for package in "${NATIVE_PACKAGES[@]}" "${WINDOWS_PACKAGES[@]}" "${PACKAGE_CHECK_PACKAGES[@]}" \
               ${MEASURING_PACKAGES[@]+"${MEASURING_PACKAGES[@]}"}; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done

if [ ${#missing[@]} -gt 0 ]; then
    echo "install-deps: installing ${missing[*]}"
    # Wine's 32-bit half comes from the i386 architecture.
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        $SUDO dpkg --add-architecture i386
    fi
    $SUDO apt-get update -q
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
