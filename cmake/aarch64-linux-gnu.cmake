# 64-bit Arm Linux, built on another Debian machine with its cross tools
# (g++-aarch64-linux-gnu, or clang) against multiarch libraries such as
# libgtest-dev:arm64, and run under user-mode emulation.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
# Read by clang only; the cross g++ targets aarch64 by itself.
set(CMAKE_C_COMPILER_TARGET aarch64-linux-gnu)
set(CMAKE_CXX_COMPILER_TARGET aarch64-linux-gnu)

# Binaries run under qemu, which must load the multiarch C library (libc6:arm64)
# with its own loader, from /. With the cross toolchain's loader instead
# (-L /usr/aarch64-linux-gnu) a program hangs as soon as it starts a thread.
find_program(QEMU_AARCH64 qemu-aarch64 REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${QEMU_AARCH64} -L /)

# Debian's name for the architecture, for the package.
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE arm64)
