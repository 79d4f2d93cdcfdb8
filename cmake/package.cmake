# Installing and packaging: the shared library, its public headers, the
# z418kt command, the Python module, a CMake package (find_package(z418kt
# CONFIG) gives the target z418kt::z418kt) and a pkg-config file (z418kt).
# `make package` builds the Debian packages from debian/, which split this
# same set among them.
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

# What an installed system gets besides the binaries: the z418kt-http
# service, its configuration, the man pages and the bash completion.
set(Z418KT_CONF_FILE ${CMAKE_INSTALL_FULL_SYSCONFDIR}/z418kt/z418kt.conf)
set(Z418KT_TOKEN_FILE ${CMAKE_INSTALL_FULL_SYSCONFDIR}/z418kt/token)
set(Z418KT_FULL_BINARY ${CMAKE_INSTALL_FULL_BINDIR}/z418kt)
# Under /usr they go where Debian keeps them (/etc, /lib/systemd); under
# another prefix they stay inside it, so `cmake --install --prefix` never
# writes outside.
# The choice follows the prefix at every configure (a cached default would
# keep the folder of the prefix the tree was first configured with).
if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  set(Z418KT_UNIT_DIR /lib/systemd/system)
  set(_conf_dir /etc/z418kt)
else()
  set(Z418KT_UNIT_DIR lib/systemd/system)
  set(_conf_dir ${CMAKE_INSTALL_SYSCONFDIR}/z418kt)
endif()
set(Z418KT_SYSTEMD_UNIT_DIR "" CACHE STRING "Where the systemd unit goes (empty: by the prefix)")
if(Z418KT_SYSTEMD_UNIT_DIR)
  set(Z418KT_UNIT_DIR ${Z418KT_SYSTEMD_UNIT_DIR})
endif()
configure_file(dist/z418kt-http.service.in ${CMAKE_BINARY_DIR}/z418kt-http.service @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/z418kt-http.service DESTINATION ${Z418KT_UNIT_DIR})
install(FILES dist/z418kt.conf DESTINATION ${_conf_dir})
install(FILES src/cli/z418kt.bash-completion DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
        RENAME z418kt)

# Man pages from their markdown beside the command's code, through pandoc.
# Without pandoc the build goes on without them, unless they are required
# (the Debian packages require them).
option(Z418KT_MAN_PAGES_REQUIRED "Fail when pandoc is missing instead of skipping the man pages" OFF)
find_program(PANDOC pandoc)
if(PANDOC)
  set(_pages)
  foreach(_page z418kt.1 z418kt.conf.5)
    string(REGEX MATCH "[0-9]$" _section ${_page})
    set(_source ${CMAKE_SOURCE_DIR}/src/cli/man/${_page}.md)
    add_custom_command(
      OUTPUT ${CMAKE_BINARY_DIR}/man/${_page}
      COMMAND ${PANDOC} -s -f markdown -t man -M "footer=z418kt ${PROJECT_VERSION}"
              -o ${CMAKE_BINARY_DIR}/man/${_page} ${_source}
      DEPENDS ${_source})
    list(APPEND _pages ${CMAKE_BINARY_DIR}/man/${_page})
    install(FILES ${CMAKE_BINARY_DIR}/man/${_page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${_section})
  endforeach()
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/man)
  add_custom_target(z418kt_man ALL DEPENDS ${_pages})
elseif(Z418KT_MAN_PAGES_REQUIRED)
  message(FATAL_ERROR "pandoc is needed for the man pages (apt-get install pandoc)")
else()
  message(STATUS "pandoc not found: the man pages are not built")
endif()
