# SPDX-License-Identifier: Apache-2.0
# Compiler options shared by every target: warnings, numeric fidelity and sanitizers.

option(QUORVANTA_WERROR "Treat compiler warnings as errors" OFF)
set(QUORVANTA_SANITIZERS "" CACHE STRING
    "Comma-separated sanitizers to build with, e.g. address,undefined or thread")

# -Wconversion catches silent narrowing (double to float, 64 to 32 bits), which here changes
# results; -Wshadow a local that hides another.
add_compile_options(-Wall -Wextra -Wpedantic -Wshadow -Wconversion)
# A record built without one of its fields (a field added later and missed where records are
# made) must not compile in any build, with or without QUORVANTA_WERROR.
add_compile_options(-Werror=missing-field-initializers)
if(QUORVANTA_WERROR)
    add_compile_options(-Werror)
endif()

# Results must not depend on whether the compiler fuses multiply-adds (it does by default on
# Arm, and clang does within expressions everywhere), and fast-math reorderings are never allowed.
add_compile_options(-ffp-contract=off -fno-fast-math)

if(QUORVANTA_SANITIZERS)
    set(_sanitize_flags -fsanitize=${QUORVANTA_SANITIZERS} -fno-omit-frame-pointer
                        -fno-sanitize-recover=all)
    if(QUORVANTA_SANITIZERS MATCHES "undefined")
        # Out-of-range float-to-integer conversions are undefined behaviour; gcc leaves this
        # check out of the "undefined" group.
        list(APPEND _sanitize_flags -fsanitize=float-cast-overflow)
    endif()
    add_compile_options(${_sanitize_flags})
    add_link_options(${_sanitize_flags})
    if(CMAKE_C_COMPILER_ID STREQUAL "Clang")
        # C hosts of the library still need the C++ parts of clang's sanitizer runtimes.
        add_link_options("$<$<LINK_LANGUAGE:C>:-fsanitize-link-c++-runtime>"
                         "$<$<LINK_LANGUAGE:C>:-lstdc++>")
    endif()
endif()
