# SPDX-License-Identifier: Apache-2.0
# IBM Z, a big-endian processor: cmake -S . -B build/s390x
# -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/s390x-linux-gnu.cmake
set(CMAKE_SYSTEM_PROCESSOR s390x)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
