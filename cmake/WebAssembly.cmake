# SPDX-License-Identifier: Apache-2.0
# The WebAssembly build (emcmake cmake -S . -B build/wasm): the core and its JavaScript door, no C
# interface, no Python module. C++ exceptions are WebAssembly exceptions, so that a session's
# fault poisons it and errors reach JavaScript as errors instead of aborting the module.
add_compile_options(-fwasm-exceptions)
add_link_options(-fwasm-exceptions)
# -O2 in a Release build: measured, -O3 is no faster and a few KB larger, and -Os, a third smaller,
# runs a session eight times slower.
set(CMAKE_C_FLAGS_RELEASE "-O2 -DNDEBUG")
set(CMAKE_CXX_FLAGS_RELEASE "-O2 -DNDEBUG")
# 128-bit SIMD (every current browser and Node 16 on): the transform's vector loops and the
# compiler's own vectorisation use it. Its float lanes are IEEE like scalar code, without fusing.
add_compile_options(-msimd128)
add_link_options(-msimd128)

# nlohmann-json, header-only, is the host's copy, seen through a folder of its own so that no other
# host header can shadow the toolchain's.
set(_host_headers ${CMAKE_BINARY_DIR}/host_headers)
file(MAKE_DIRECTORY ${_host_headers})
file(CREATE_LINK /usr/include/nlohmann ${_host_headers}/nlohmann SYMBOLIC)
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
target_include_directories(nlohmann_json::nlohmann_json SYSTEM INTERFACE ${_host_headers})

