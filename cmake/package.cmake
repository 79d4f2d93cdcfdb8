# Installing and packaging: the shared library, its public headers, the
# z418kt command, the Python module, a CMake package (find_package(z418kt
# CONFIG) gives the target z418kt::z418kt) and a pkg-config file (z418kt).
# `make package` turns the same set into a Debian package.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(Z418KT_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/z418kt)
set(Z418KT_PYTHON_DIR lib/python3/dist-packages
    CACHE STRING "Where the Python module goes, relative to the install prefix")

target_compile_features(z418kt08 INTERFACE cxx_std_17)
install(TARGETS z418kt08 EXPORT z418ktTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(DIRECTORY include/z418kt DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(TARGETS z418kt RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES python/z418kt.py DESTINATION ${Z418KT_PYTHON_DIR})
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})

install(EXPORT z418ktTargets NAMESPACE z418kt:: DESTINATION ${Z418KT_CMAKE_DIR})
configure_package_config_file(cmake/z418ktConfig.cmake.in
  ${CMAKE_BINARY_DIR}/z418ktConfig.cmake INSTALL_DESTINATION ${Z418KT_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/z418ktConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/z418ktConfig.cmake ${CMAKE_BINARY_DIR}/z418ktConfigVersion.cmake
        DESTINATION ${Z418KT_CMAKE_DIR})

# The .pc file finds the prefix from its own place, so the installed tree
# can be moved (or packaged under another prefix) as a whole.
file(RELATIVE_PATH Z418KT_PC_TO_PREFIX ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig
     ${CMAKE_INSTALL_PREFIX})
configure_file(cmake/z418kt.pc.in ${CMAKE_BINARY_DIR}/z418kt.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/z418kt.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME z418kt)
set(CPACK_PACKAGE_VENDOR "z418kt")
set(CPACK_PACKAGE_CONTACT "z418kt maintainers <z418kt@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Coleta (pickup request) component: C++ and C library, z418kt command, Python module")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_STRIP_FILES ON)
# Depends from the libraries the binaries link; shlibs and the ldconfig
# trigger so programs find libz418kt08.so.1 right after dpkg -i.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "python3, odbc-postgresql")
include(CPack)
