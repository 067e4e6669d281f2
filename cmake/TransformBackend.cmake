# SPDX-License-Identifier: Apache-2.0
# The transform behind the spectrum: the library's own (builtin, the default) or FFTW. FFTW, whose
# licence is the GPL, never enters the library unless asked for; test and benchmark builds use it
# where it is installed, as a second opinion and a yardstick.
set(QUORVANTA_FFT builtin CACHE STRING "Transform backend of the library: builtin or fftw")
set_property(CACHE QUORVANTA_FFT PROPERTY STRINGS builtin fftw)
if(NOT QUORVANTA_FFT MATCHES "^(builtin|fftw)$")
    message(FATAL_ERROR "QUORVANTA_FFT must be builtin or fftw, not '${QUORVANTA_FFT}'")
endif()

# The web build cannot link FFTW; the host's pkg-config would find the host's.
find_package(PkgConfig QUIET)
if(PkgConfig_FOUND AND NOT EMSCRIPTEN)
    pkg_check_modules(FFTW3F QUIET IMPORTED_TARGET GLOBAL fftw3f)
endif()
if(QUORVANTA_FFT STREQUAL "fftw" AND NOT FFTW3F_FOUND)
    message(FATAL_ERROR "QUORVANTA_FFT=fftw needs FFTW3 in single precision (pkg-config fftw3f)")
endif()
