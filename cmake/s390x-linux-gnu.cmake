# Linux on s390x, cross-built; see linux-cross.cmake.
set(MIRNOD_CROSS_ARCH s390x)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
