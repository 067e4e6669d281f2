# SPDX-License-Identifier: Apache-2.0
# What other projects use to find the installed library: a CMake package giving the imported
# target quorvanta_core::quorvanta_core, and a pkg-config file. The library's own install rule
# (src/ffi) puts it into the export set quorvanta_core_targets.
include(CMakePackageConfigHelpers)

set(_package_dir ${CMAKE_INSTALL_LIBDIR}/cmake/quorvanta_core)
install(EXPORT quorvanta_core_targets
        NAMESPACE quorvanta_core::
        FILE quorvanta_coreTargets.cmake
        DESTINATION ${_package_dir})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/quorvanta_coreConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/quorvanta_coreConfig.cmake
                              INSTALL_DESTINATION ${_package_dir})
# The soname changes with the major version, so only the same major version is compatible.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/quorvanta_coreConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/quorvanta_coreConfig.cmake
              ${PROJECT_BINARY_DIR}/quorvanta_coreConfigVersion.cmake
        DESTINATION ${_package_dir})

# The pkg-config file finds the prefix from its own location, so the installed tree can move
# (and `cmake --install --prefix` may choose another prefix than the configured one).
set(QUORVANTA_PC_PREFIX ${CMAKE_INSTALL_PREFIX})
cmake_path(RELATIVE_PATH QUORVANTA_PC_PREFIX BASE_DIRECTORY ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig)
foreach(_dir IN ITEMS LIBDIR INCLUDEDIR)
    if(IS_ABSOLUTE "${CMAKE_INSTALL_${_dir}}")
        set(QUORVANTA_PC_${_dir} ${CMAKE_INSTALL_${_dir}})
    else()
        set(QUORVANTA_PC_${_dir} "\${prefix}/${CMAKE_INSTALL_${_dir}}")
    endif()
endforeach()
configure_file(${CMAKE_CURRENT_LIST_DIR}/quorvanta_core.pc.in
               ${PROJECT_BINARY_DIR}/quorvanta_core.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/quorvanta_core.pc
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR})
