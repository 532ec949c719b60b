# Cross-compiles a static 32-bit i686 Linux build (Debian: g++-i686-linux-gnu):
#   cmake -S . -B build-i686 -DCMAKE_TOOLCHAIN_FILE=cmake/i686-linux-gnu.cmake -DBUILD_TESTING=OFF
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(triple i686-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/cross_toolchain.cmake)
