# s390x (big-endian) with Debian's g++-s390x-linux-gnu.
set(NORVEK_CROSS_TRIPLE s390x-linux-gnu)
set(NORVEK_CROSS_PROCESSOR s390x)
set(NORVEK_CROSS_QEMU qemu-s390x)
include(${CMAKE_CURRENT_LIST_DIR}/cross_common.cmake)
