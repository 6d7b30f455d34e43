# Shared part of the cross toolchain files. The including file sets
# NORVEK_CROSS_TRIPLE (GNU triple of the Debian cross compiler),
# NORVEK_CROSS_PROCESSOR and NORVEK_CROSS_QEMU (emulator command line).
#
# OpenSSL and GoogleTest for the target live in a private tree made by
# cmake/toolchains/cross_deps.sh: Debian's target libssl packages unpacked
# with dpkg -x (they can't be co-installed with the host's), and GoogleTest
# built from /usr/src/googletest with this toolchain.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ${NORVEK_CROSS_PROCESSOR})
set(CMAKE_C_COMPILER ${NORVEK_CROSS_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${NORVEK_CROSS_TRIPLE}-g++)

if(DEFINED ENV{NORVEK_CROSS_DEPS})
  set(NORVEK_CROSS_DEPS $ENV{NORVEK_CROSS_DEPS})
else()
  get_filename_component(NORVEK_CROSS_DEPS
    "${CMAKE_CURRENT_LIST_DIR}/../../build/cross-deps/${NORVEK_CROSS_TRIPLE}" ABSOLUTE)
endif()
set(NORVEK_CROSS_SYSROOT ${NORVEK_CROSS_DEPS}/sysroot)
set(NORVEK_CROSS_LIBDIR ${NORVEK_CROSS_SYSROOT}/usr/lib/${NORVEK_CROSS_TRIPLE})

# Target libraries and headers come only from the private tree (and the
# cross compiler's own /usr/<triple>); programs and packages may be the host's.
set(CMAKE_FIND_ROOT_PATH ${NORVEK_CROSS_SYSROOT} ${NORVEK_CROSS_DEPS}/gtest)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
# Debian puts opensslconf's per-architecture headers in a multiarch folder.
set(CMAKE_CXX_STANDARD_INCLUDE_DIRECTORIES ${NORVEK_CROSS_SYSROOT}/usr/include/${NORVEK_CROSS_TRIPLE})
set(CMAKE_C_STANDARD_INCLUDE_DIRECTORIES ${NORVEK_CROSS_SYSROOT}/usr/include/${NORVEK_CROSS_TRIPLE})

# Test programs run under qemu-user: -L gives the target's loader and libc,
# LD_LIBRARY_PATH the unpacked libcrypto.
set(CMAKE_CROSSCOMPILING_EMULATOR
  ${NORVEK_CROSS_QEMU} -L /usr/${NORVEK_CROSS_TRIPLE}
  -E LD_LIBRARY_PATH=${NORVEK_CROSS_LIBDIR})
