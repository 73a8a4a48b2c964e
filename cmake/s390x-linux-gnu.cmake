# Cross-building for Linux on s390x with Debian's cross compiler; the tests run under qemu-user.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR s390x)

set(CMAKE_C_COMPILER s390x-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER s390x-linux-gnu-g++)

set(CMAKE_FIND_ROOT_PATH /usr/s390x-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

find_program(MIRNOD_QEMU qemu-s390x NO_CMAKE_FIND_ROOT_PATH)
if(MIRNOD_QEMU)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${MIRNOD_QEMU} -L /usr/s390x-linux-gnu)
endif()
