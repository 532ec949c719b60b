# Cross-compiles for 64-bit Windows with MinGW-w64 (Debian: g++-mingw-w64-x86-64):
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DVANTOR_WERROR=ON
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

# libgcc, libstdc++ and winpthread linked in: the .exe needs no DLLs.
set(triple x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/cross_toolchain.cmake)
set(CMAKE_RC_COMPILER ${triple}-windres)
