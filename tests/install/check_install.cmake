# SPDX-License-Identifier: Apache-2.0
# Installs a build tree into a scratch prefix and uses the result as other projects would: the
# CMake package, the pkg-config file and, when built, the Python module.
#
# cmake -DBUILD_DIR=... -DWORK_DIR=... -DCONSUMER_DIR=... -DGENERATOR=... -DC_COMPILER=...
#       -DPKG_CONFIG=... -DNM=... -DOBJDUMP=... -DFFT_BACKEND=... -DLIBDIR=... -DDOCDIR=...
#       -DVERSION=...
#       [-DPYTHON=... -DPYTHON_INSTALL_DIR=... -DPYTHON_MODULE=...] -P check_install.cmake

function(run)
    execute_process(COMMAND ${ARGN} COMMAND_ERROR_IS_FATAL ANY)
endfunction()

function(require_file path)
    if(NOT EXISTS ${path})
        message(FATAL_ERROR "not installed: ${path}")
    endif()
endfunction()

set(prefix ${WORK_DIR}/prefix)
set(libdir ${prefix}/${LIBDIR})
file(REMOVE_RECURSE ${WORK_DIR})
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})

# The library keeps its symbol table: binding generators read the interface metadata from it.
execute_process(COMMAND ${NM} ${libdir}/libquorvanta_core.so
                OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)
if(NOT symbols MATCHES "UNIFFI_META_NAMESPACE_QUORVANTA_CORE")
    message(FATAL_ERROR "the installed library has lost its interface metadata symbols")
endif()

# The licence travels with the library, and with the default transform nothing it links is under
# a licence that would bind a closed-source app (FFTW is GPL).
require_file(${prefix}/${DOCDIR}/LICENSE)
file(STRINGS ${libdir}/pkgconfig/quorvanta_core.pc pc_license REGEX "^License: ")
if(NOT pc_license STREQUAL "License: Apache-2.0")
    message(FATAL_ERROR "the pkg-config file names no licence: '${pc_license}'")
endif()
execute_process(COMMAND ${OBJDUMP} -p ${libdir}/libquorvanta_core.so
                OUTPUT_VARIABLE headers COMMAND_ERROR_IS_FATAL ANY)
if(FFT_BACKEND STREQUAL "builtin" AND headers MATCHES "NEEDED +[^\n]*fftw")
    message(FATAL_ERROR "the library links FFTW:\n${headers}")
endif()

# A consumer project finds the package in the prefix and links the imported target. Its build
# tree records the library's directory as the executable's run path.
set(consumer_build ${WORK_DIR}/consumer)
run(${CMAKE_COMMAND} -S ${CONSUMER_DIR} -B ${consumer_build} -G ${GENERATOR}
    -DCMAKE_C_COMPILER=${C_COMPILER} -DCMAKE_PREFIX_PATH=${prefix}
    -DQUORVANTA_VERSION=${VERSION})
file(STRINGS ${consumer_build}/CMakeCache.txt package_dir REGEX "^quorvanta_core_DIR:")
if(NOT package_dir STREQUAL "quorvanta_core_DIR:PATH=${libdir}/cmake/quorvanta_core")
    message(FATAL_ERROR "the consumer found another package: ${package_dir}")
endif()
run(${CMAKE_COMMAND} --build ${consumer_build})
run(${consumer_build}/quorvanta_consumer)

# The same program built with the flags pkg-config gives for the installed tree, recording the
# library's folder as docs/c-abi.md says, so that it runs without LD_LIBRARY_PATH.
function(pkg_config output)
    execute_process(COMMAND ${CMAKE_COMMAND} -E env PKG_CONFIG_PATH=${libdir}/pkgconfig
                            ${PKG_CONFIG} ${ARGN} quorvanta_core
                    OUTPUT_VARIABLE value OUTPUT_STRIP_TRAILING_WHITESPACE
                    COMMAND_ERROR_IS_FATAL ANY)
    set(${output} ${value} PARENT_SCOPE)
endfunction()
pkg_config(pkg_config_flags --cflags --libs)
pkg_config(pkg_config_libdir --variable=libdir)
separate_arguments(pkg_config_flags UNIX_COMMAND ${pkg_config_flags})
run(${C_COMPILER} -std=c11 -Wall -Wextra -Wpedantic -Werror ${CONSUMER_DIR}/consumer.c
    ${pkg_config_flags} -Wl,-rpath,${pkg_config_libdir} -o ${WORK_DIR}/pkg_config_consumer)
run(${CMAKE_COMMAND} -E env --unset=LD_LIBRARY_PATH ${WORK_DIR}/pkg_config_consumer)

# The Python module and its stub-only package, imported by a fresh interpreter from the prefix.
if(PYTHON)
    set(site ${prefix}/${PYTHON_INSTALL_DIR})
    foreach(file IN ITEMS ${PYTHON_MODULE} quorvanta_core-stubs/__init__.pyi
                          quorvanta_core-stubs/py.typed)
        require_file(${site}/${file})
    endforeach()
    run(${CMAKE_COMMAND} -E env PYTHONPATH=${site} PYTHONDONTWRITEBYTECODE=1
        ${PYTHON} -s -c [[
import sys
from pathlib import Path

import quorvanta_core

assert Path(quorvanta_core.__file__).parent == Path(sys.argv[1]), quorvanta_core.__file__
assert quorvanta_core.get_vital_info("rr").id == "respiratory_rate"
]] ${site}
        WORKING_DIRECTORY ${WORK_DIR})
endif()
