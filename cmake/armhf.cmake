# Cross build for 32-bit ARM Linux, hard-float (armv7-a: the default of
# Debian's armhf cross compiler, g++-arm-linux-gnueabihf). Tests run under
# qemu-arm user mode (Debian's qemu-user).
#
#   cmake -S . -B build-armhf -DCMAKE_TOOLCHAIN_FILE=cmake/armhf.cmake
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR armv7l)

set(TARVO_ARM_TRIPLE arm-linux-gnueabihf)
set(CMAKE_C_COMPILER ${TARVO_ARM_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${TARVO_ARM_TRIPLE}-g++)
set(CMAKE_STRIP ${TARVO_ARM_TRIPLE}-strip)

set(CMAKE_FIND_ROOT_PATH /usr/${TARVO_ARM_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The tests run against Debian's own armhf runtimes (libc6:armhf and
# libstdc++6:armhf from the multiarch archive, what the package depends on)
# where they are installed, and otherwise against the cross toolchain's
# copies (-L: where qemu finds the loader and libraries). Never a mix of
# the two: the loader of one with the C library of the other crashes.
if(EXISTS /lib/ld-linux-armhf.so.3 AND
   EXISTS /usr/lib/${TARVO_ARM_TRIPLE}/libstdc++.so.6)
  set(TARVO_QEMU qemu-arm)
else()
  set(TARVO_QEMU qemu-arm -L /usr/${TARVO_ARM_TRIPLE})
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR ${TARVO_QEMU})
list(JOIN TARVO_QEMU " " TARVO_QEMU_WORDS)
set(TARVO_E2E_LAUNCHER "${TARVO_QEMU_WORDS}" CACHE STRING
    "Command put in front of the tarvo executable by the end-to-end tests" FORCE)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE armhf)
set(CMAKE_CXX_FLAGS_INIT "-Wno-psabi")  # notes on an ABI change of GCC 7.1, not about this code
