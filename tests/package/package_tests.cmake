# The package as a user gets it: the build installed into a prefix of its own,
# then programs built and run against that prefix (CMake, pkg-config, C with
# dlopen, Python), its public face, man pages, completion and unit checked;
# and the Debian packages built and installed.
enable_language(C)
# It goes under a root of its own (DESTDIR), so a tree laid out for /usr and /etc
# never writes outside it.
set(_pkg_dir ${CMAKE_BINARY_DIR}/package-test)
set(_pkg_root ${_pkg_dir}/root)
set(_pkg_prefix ${_pkg_root}${CMAKE_INSTALL_PREFIX})
if(IS_ABSOLUTE "${Z418KT_UNIT_DIR}")
  set(_pkg_unit_dir ${_pkg_root}${Z418KT_UNIT_DIR})
else()
  set(_pkg_unit_dir ${_pkg_prefix}/${Z418KT_UNIT_DIR})
endif()
add_test(NAME package_install
         COMMAND sh -c "rm -rf '${_pkg_root}' && DESTDIR='${_pkg_root}' '${CMAKE_COMMAND}' --install '${CMAKE_BINARY_DIR}' >/dev/null")
set_tests_properties(package_install PROPERTIES FIXTURES_SETUP z418kt_installed TIMEOUT 120)

# Programs built against a sanitized library carry the same sanitizers.
set(_pkg_sanitize "")
if(Z418KT_SANITIZE)
  set(_pkg_sanitize "-fsanitize=address,undefined -fno-omit-frame-pointer")
endif()
foreach(_test public-interface cmake-consumer pkg-config-consumer c-dlopen python man-completion
              systemd-unit)
  string(REPLACE "-" "_" _name "package_${_test}")
  add_test(NAME ${_name} COMMAND ${CMAKE_SOURCE_DIR}/tests/package/package_test.sh ${_test})
  set_tests_properties(${_name} PROPERTIES
    FIXTURES_REQUIRED z418kt_installed TIMEOUT 300 SKIP_RETURN_CODE 77
    ENVIRONMENT "PREFIX=${_pkg_prefix};UNITDIR=${_pkg_unit_dir};LIBDIR=${CMAKE_INSTALL_LIBDIR};PYDIR=${Z418KT_PYTHON_DIR};BUILD=${CMAKE_BINARY_DIR};SOURCE=${CMAKE_SOURCE_DIR}/tests/package;WORK=${_pkg_dir}/${_test};CXX=${CMAKE_CXX_COMPILER};CC=${CMAKE_C_COMPILER};SANITIZE=${_pkg_sanitize}")
endforeach()

# The Debian packages: made (into BUILD/packages) from this tree when it is laid
# out for /usr, else compiled for them; lintian, used from a throwaway root, and
# installed and purged when run as root.
add_test(NAME package_debian COMMAND ${CMAKE_SOURCE_DIR}/tests/package/debian_test.sh)
set_tests_properties(package_debian PROPERTIES TIMEOUT 3600 SKIP_RETURN_CODE 77
  ENVIRONMENT "BUILD=${CMAKE_BINARY_DIR};PREFIX=${CMAKE_INSTALL_PREFIX};SOURCE=${CMAKE_SOURCE_DIR}/tests/package;WORK=${_pkg_dir}/debian;CXX=${CMAKE_CXX_COMPILER};SANITIZE=${_pkg_sanitize}")
