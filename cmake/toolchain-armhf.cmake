# Cross build for the television: 32-bit ARM Linux, hard float, every
# executable linked statically (libsparse from the archive scripts/bootstrap
# builds, since Debian ships it only as a shared library). Test suites run
# under qemu-arm-static.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(CMAKE_C_COMPILER arm-linux-gnueabihf-gcc)
set(CMAKE_CXX_COMPILER arm-linux-gnueabihf-g++)
set(CMAKE_LIBRARY_ARCHITECTURE arm-linux-gnueabihf)

set(CRV_ARMHF_SYSROOT "$ENV{ARMHF_SYSROOT}")
if(NOT CRV_ARMHF_SYSROOT)
  set(CRV_ARMHF_SYSROOT /var/cache/crv-armhf-sysroot)
endif()

set(CRV_ARMHF_LIBSPARSE "$ENV{ARMHF_LIBSPARSE}")
if(NOT CRV_ARMHF_LIBSPARSE)
  set(CRV_ARMHF_LIBSPARSE /var/cache/crv-armhf-libsparse)
endif()

set(CMAKE_FIND_ROOT_PATH / ${CRV_ARMHF_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# The executables carry everything they need: cmake/deps.cmake takes
# archives only.
set(CRV_STATIC_LINK ON)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-arm-static)
