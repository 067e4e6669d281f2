# SPDX-License-Identifier: Apache-2.0
# Cross builds for Linux on another processor with Debian's cross compilers, included by the
# toolchain file of each processor, which sets CMAKE_SYSTEM_PROCESSOR first. Programs of the build
# (tests, and the tools the build itself runs) run under qemu-user; libraries come from Debian's
# multiarch packages of that processor in /usr/lib/<triplet>; headers are shared with the host in
# /usr/include.
set(CMAKE_SYSTEM_NAME Linux)
set(_triplet ${CMAKE_SYSTEM_PROCESSOR}-linux-gnu)
set(CMAKE_LIBRARY_ARCHITECTURE ${_triplet})
set(CMAKE_C_COMPILER ${_triplet}-gcc)
set(CMAKE_CXX_COMPILER ${_triplet}-g++)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-${CMAKE_SYSTEM_PROCESSOR};-L;/usr/${_triplet})
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/${_triplet}/pkgconfig:/usr/share/pkgconfig)
