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

# -L: where qemu finds the target's dynamic loader and libraries.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-arm -L /usr/${TARVO_ARM_TRIPLE})
set(TARVO_E2E_LAUNCHER "qemu-arm -L /usr/${TARVO_ARM_TRIPLE}" CACHE STRING
    "Command put in front of the tarvo executable by the end-to-end tests")
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE armhf)
