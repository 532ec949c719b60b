# Cross-compiles a static, big-endian s390x Linux build (Debian: g++-s390x-linux-gnu),
# which runs here under qemu-s390x (Debian: qemu-user):
#   cmake -S . -B build-s390x -DCMAKE_TOOLCHAIN_FILE=cmake/s390x-linux-gnu.cmake -DBUILD_TESTING=OFF
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR s390x)

set(triple s390x-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/cross_toolchain.cmake)
