# Linux on aarch64, cross-built; see linux-cross.cmake.
set(MIRNOD_CROSS_ARCH aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
