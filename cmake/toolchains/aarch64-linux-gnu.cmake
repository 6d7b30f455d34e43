# arm64 with Debian's g++-aarch64-linux-gnu. "-cpu max" makes qemu emulate
# the AES and SHA-1 crypto extensions, so the hardware paths run too.
set(NORVEK_CROSS_TRIPLE aarch64-linux-gnu)
set(NORVEK_CROSS_PROCESSOR aarch64)
set(NORVEK_CROSS_QEMU qemu-aarch64 -cpu max)
include(${CMAKE_CURRENT_LIST_DIR}/cross_common.cmake)
