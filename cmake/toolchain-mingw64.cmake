# Cross build of the launcher as x86-64 Windows code, for measuring only (QUENLOR_LAUNCHER64):
# where the kernel runs no 32-bit code, Wine runs these programs without an emulator.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TOOLCHAIN_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)
