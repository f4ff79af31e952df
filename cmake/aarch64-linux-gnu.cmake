# Cross-compiling the Linux program for 64-bit ARM (Raspberry Pi 3, 4, 5 and
# Zero 2 W under 64-bit Raspberry Pi OS) with Debian's aarch64 cross
# compiler. The libraries are Debian's own arm64 packages installed beside
# the amd64 ones (multiarch, in /usr/lib/aarch64-linux-gnu), so no sysroot:
# the compiler and CMake both look there for arm64, and the cross
# toolchain's private copies in /usr/aarch64-linux-gnu serve only as the
# compiler's own runtime. tools/install-deps.sh installs all of it.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
# The wrapper that reads the arm64 .pc files, not the host's.
find_program(PKG_CONFIG_EXECUTABLE aarch64-linux-gnu-pkg-config)
# The package's architecture, and the one dpkg-shlibdeps reads libraries for.
set(KORU_DEBIAN_ARCHITECTURE arm64)

# CTest runs the test programs through qemu's user-mode emulator, which finds
# the arm64 dynamic loader and libraries in their multiarch places. It
# emulates a Cortex-A53, the core of the Raspberry Pi 3 and Zero 2 W, the
# oldest this build is for (ARMv8.0: an instruction such a core lacks, an
# LSE atomic say, faults there). qemu's default "max" processor would also
# authenticate every return address in software: the screen tests took 38 s
# instead of 2. Without qemu, a binfmt_misc registration may still run them.
find_program(KORU_QEMU_AARCH64 NAMES qemu-aarch64 qemu-aarch64-static)
if(KORU_QEMU_AARCH64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${KORU_QEMU_AARCH64} -cpu cortex-a53)
endif()
